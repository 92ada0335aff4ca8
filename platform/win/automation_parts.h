#pragma once

#include "platform/window_system.h"

#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

// One element of another program's window as UI Automation shows it.
class AutomationElement {
public:
    enum class Property {
        Name,        // QString
        ClassName,   // QString
        Value,       // QString, an editable element's content
        ProcessId,   // quint32
        IsOffscreen, // bool
        IsEnabled,   // bool
    };
    virtual ~AutomationElement() = default;
    // The property's current value, or nothing when the element has gone or did not answer in
    // time.
    virtual std::optional<QVariant> Read(Property property) = 0;
};

// The part of UI Automation the address bar search needs.
class AutomationTree {
public:
    virtual ~AutomationTree() = default;
    // The edit fields inside the top-level window that UI Automation finds with the accessible
    // name or the class name given (either may be empty: it then matches nothing), in the tree's
    // order; none where UI Automation cannot say.
    virtual std::vector<std::unique_ptr<AutomationElement>>
    FindEdits(WindowHandle window, const QString& name, const QString& className) = 0;
};

// A browser's address bar inside its top-level window, found through UI Automation where the
// browser has no window of its own for it (today's Chromium), and shown to the capture as a child
// window: with the class name the recognition gives, and its content as its text. Its handle
// stays valid until the next listing; handles carry bit 62 and not bit 63, which no window
// handle (a 32-bit value, sign-extended) has.
class AddressBarParts {
public:
    AddressBarParts(AutomationTree& tree, BrowserRecognition browsers);

    static constexpr WindowHandle kHandleTag = WindowHandle{1} << 62;
    static constexpr WindowHandle kTagMask = WindowHandle{3} << 62;
    static bool IsPartHandle(WindowHandle handle) { return (handle & kTagMask) == kHandleTag; }

    // Forgets the parts listed before, then lists the window's address bar (at most one): the
    // first edit field, in the tree's order, named as the recognition says, or of its view class.
    void List(WindowHandle window, const std::function<void(WindowHandle)>& callback);

    bool Exists(WindowHandle handle);
    quint32 ProcessId(WindowHandle handle);
    bool IsVisible(WindowHandle handle);
    bool IsEnabled(WindowHandle handle);
    // The content; one that does not answer gives what it last gave, as a window text does.
    QString Text(WindowHandle handle);
    QString ClassName(WindowHandle handle);

private:
    struct Listed {
        WindowHandle handle = 0;
        std::unique_ptr<AutomationElement> element;
        QString lastText;
    };
    Listed* Find(WindowHandle handle);
    AutomationElement* ElementOf(WindowHandle handle);
    bool IsAddressBar(AutomationElement& element) const;

    AutomationTree& m_tree;
    BrowserRecognition m_browsers;
    WindowHandle m_serial = 0;
    std::vector<Listed> m_listed;
};

} // namespace platform
