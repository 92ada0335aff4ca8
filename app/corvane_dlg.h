#pragma once

#include "platform/composition.h"
#include "selection/control_dlg.h"

#include <QDialog>
#include <QIcon>

class QEventLoop;
class QMenu;

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
    QMenu* SystemMenu() const { return m_pSysMenu; }

    // What runs the about box; tests replace it to see it asked for without a modal loop.
    static void SetAboutBoxRunner(std::function<void(QWidget* parent)> runner);

    CControlDlg m_controlDlg;
    qint32 m_bComposition = 0;
    platform::Margins m_margins;
    QIcon m_hIcon;

    static constexpr int SC_MINIMIZE = 0xF020;
    static constexpr int SC_CLOSE = 0xF060;

public slots:
    void accept() override; // the OK command (Enter) does nothing
    void reject() override; // close box, Alt+F4, Escape
    void done(int result) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildSystemMenu();

    QMenu* m_pSysMenu = nullptr;
    platform::CompositionWatcher* m_pWatcher = nullptr;
    QEventLoop* m_pRunLoop = nullptr;
    bool m_bEnded = false;
    bool m_bWindowCreated = false;
    bool m_bDestroyed = false;
};
