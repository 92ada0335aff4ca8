#pragma once

#include <QDialog>
#include <QString>

// The version line of the about box: "Vistrel " and the version text with the version number's
// dots turned into dashes, while "Ver.:" keeps its own dot.
QString MakeAboutVersionLine(const QString& versionText);

// The about box: the icon, the version line, a notice and a link to the maker's home page.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // Builds the controls and fills the version line; DoModal does it before showing.
    bool OnInitDialog();
    int DoModal();
    void OnNMClickLink();

    QString m_strVersion;
};
