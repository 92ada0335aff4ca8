#include "app/about_dlg.h"

#include "app/home_page.h"
#include "app/version_text.h"
#include "platform/desktop_services.h"
#include "platform/dialog_template.h"
#include "res/resources.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

QString MakeAboutVersionLine(const QString& versionText) {
    QString text = versionText;
    // Park "Ver.:" behind a marker, dash the dots, then bring it back.
    text.replace(QStringLiteral(".:"), QStringLiteral("??"));
    text.replace(QStringLiteral("."), QStringLiteral("-"));
    text.replace(QStringLiteral("??"), QStringLiteral(".:"));
    return QStringLiteral("Vistrel %1").arg(text);
}

void OnNMClickLink(QWidget* /*dialog*/) {
    platform::OpenUrl(kMakerHomePage);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {}

bool CAboutDlg::OnInitDialog() {
    platform::BuildDialog(this, GetDialogTemplate(IDD_ABOUTBOX));
    setWindowIcon(QIcon(IconResourcePath(IDR_MAINFRAME)));
    if (auto* ok = platform::FindControl<QPushButton>(this, 1)) {
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    }
    if (auto* link = platform::FindControl<QLabel>(this, 1005)) {
        connect(link, &QLabel::linkActivated, this, [this] { OnNMClickLink(this); });
    }
    m_strVersion = MakeAboutVersionLine(GetVersionText());
    if (auto* version = platform::FindControl<QLabel>(this, 1006)) {
        version->setText(m_strVersion);
    }
    return true;
}

int CAboutDlg::DoModal() {
    OnInitDialog();
    // Modal to the main window alone: the player goes on playing and can be used meanwhile.
    setWindowModality(parentWidget() != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    return exec();
}
