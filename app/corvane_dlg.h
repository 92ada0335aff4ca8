#pragma once

#include "discovery/lookup_progress.h"
#include "platform/composition.h"
#include "platform/services.h"
#include "selection/control_dlg.h"

#include <QDialog>
#include <QIcon>
#include <memory>
#include <optional>

class LookupProgressWindow;
class QEventLoop;
class QMenu;

// Runs the about box over a window. The program's own shows it modally; tests install one that
// records the request without a modal loop.
class AboutBoxService {
public:
    virtual ~AboutBoxService() = default;
    virtual void RunAboutBox(QWidget* parent) = 0;
};

template <> AboutBoxService& platform::Services<AboutBoxService>::Own();

// The distances from each edge of `window`'s client area to `child`'s outer rectangle, in screen
// pixels. Negative where the child reaches past the client area.
void ComputeFrameMargins(const QWidget* window, const QWidget* child, platform::Margins& margins);

// The main window: a fixed-size dialog holding the control panel (and through it the history
// panel) under a strip of translucent frame, with the "Powered By" link and the About item.
// Enter never closes it; Escape and the close box end the program.
class CCorvaneDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDCANCEL = 2;

    explicit CCorvaneDlg(QWidget* parent = nullptr);
    ~CCorvaneDlg() override;

    // Builds the window from its template and runs OnInitDialog (DoModal does it first).
    bool Create();
    bool OnInitDialog();
    // Runs the window until it ends (IDCANCEL: close box, Alt+F4, Escape, an ending signal);
    // then the window and its panels are destroyed and both files saved. The run blocks only
    // the window's owner, and it has none: the player, a window of its own, stays usable.
    int DoModal();
    // The control panel's teardown first, then the window's own. Only the first call acts.
    bool DestroyWindow();

    // Window-menu commands: ids 16-31 open the about box; minimise and close as usual.
    void OnSysCommand(int id);
    void OnCompositionChanged();
    void OnNMClickLink();
    // The window menu, as the main window offers it (right click, Alt+Space).
    QMenu* SystemMenu() const { return m_sysMenu; }

    CControlDlg m_controlDlg;
    qint32 m_bComposition = 0;
    platform::Margins m_margins;
    QIcon m_hIcon;

    static constexpr int SC_MINIMIZE = 0xF020;
    static constexpr int SC_CLOSE = 0xF060;

public slots:
    void accept() override; // the OK command (Enter) does nothing
    // Close box, Alt+F4, Escape, an ending signal; also while a page is fetched, whose fetch
    // then fails at once so that the run ends without waiting for it.
    void reject() override;
    void done(int result) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildSystemMenu();

    QMenu* m_sysMenu = nullptr;
    // While the window lives, page fetches hold its input back and can be cancelled.
    std::unique_ptr<LookupProgressWindow> m_lookupProgress;
    std::optional<platform::ScopedService<LookupProgressService>> m_useLookupProgress;
    platform::CompositionWatcher* m_watcher = nullptr;
    QEventLoop* m_runLoop = nullptr;
    bool m_ended = false;
    bool m_windowCreated = false;
    bool m_destroyed = false;
};
