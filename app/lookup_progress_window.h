#pragma once

#include "discovery/lookup_progress.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>

class QLabel;

// What the main window does while a channel page is fetched. The fetch turns the event loop, so
// the windows repaint and the main window takes its close request (close box, Alt+F4, an ending
// signal); but the user's input does not reach the main window and its panels, as it could not
// while the fetch held the program, so no second lookup or other change starts meanwhile.
// Escape cancels. After kShowAfterMs a small window names the page being fetched and offers
// "Cancel"; a cancelled fetch fails as an unreachable page does, but the panel shows no message
// for it (the user called it off).
class LookupProgressWindow final : public QObject, public LookupProgressService {
    Q_OBJECT
public:
    static constexpr int kShowAfterMs = 500;

    explicit LookupProgressWindow(QWidget* mainWindow);
    ~LookupProgressWindow() override;

    void LookupBegan(const QString& url) override;
    void LookupEnded() override;

    // The window that names the page, null until it was first needed.
    QDialog* Window() const { return m_window; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowWindow();

    QPointer<QWidget> m_mainWindow;
    QPointer<QDialog> m_window;
    QLabel* m_label = nullptr;
    QTimer m_showTimer;
    QString m_url;
    bool m_running = false;
};
