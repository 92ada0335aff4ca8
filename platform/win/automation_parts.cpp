#include "platform/win/automation_parts.h"

#include <utility>

namespace platform {

AddressBarParts::AddressBarParts(AutomationTree& tree, BrowserRecognition browsers)
    : m_tree(tree), m_browsers(std::move(browsers)) {}

void AddressBarParts::List(WindowHandle window, const std::function<void(WindowHandle)>& callback) {
    m_listed.clear();
    if (m_browsers.addressBarClass.isEmpty() ||
        (m_browsers.addressBarName.isEmpty() && m_browsers.addressBarView.isEmpty())) {
        return;
    }
    auto edits = m_tree.FindEdits(window, m_browsers.addressBarName,
                                  QString::fromLatin1(m_browsers.addressBarView));
    for (auto& edit : edits) {
        // The search may have been wider than asked (a provider that ignores the condition):
        // what is reported is checked here.
        if (!edit || !IsAddressBar(*edit)) {
            continue;
        }
        // Serial numbers are never given twice, so a handle of an earlier listing names nothing.
        m_serial = (m_serial + 1) & ~kTagMask;
        const WindowHandle handle = kHandleTag | m_serial;
        m_listed.push_back({handle, std::move(edit), QString()});
        callback(handle);
        return;
    }
}

bool AddressBarParts::IsAddressBar(AutomationElement& element) const {
    if (!m_browsers.addressBarName.isEmpty()) {
        const auto name = element.Read(AutomationElement::Property::Name);
        if (name && name->toString() == m_browsers.addressBarName) {
            return true;
        }
    }
    if (!m_browsers.addressBarView.isEmpty()) {
        // Other languages name the bar otherwise; its view class tells it too.
        const auto view = element.Read(AutomationElement::Property::ClassName);
        return view && view->toString() == QString::fromLatin1(m_browsers.addressBarView);
    }
    return false;
}

AddressBarParts::Listed* AddressBarParts::Find(WindowHandle handle) {
    for (Listed& listed : m_listed) {
        if (listed.handle == handle) {
            return &listed;
        }
    }
    return nullptr;
}

AutomationElement* AddressBarParts::ElementOf(WindowHandle handle) {
    Listed* listed = Find(handle);
    return listed ? listed->element.get() : nullptr;
}

bool AddressBarParts::Exists(WindowHandle handle) {
    AutomationElement* element = ElementOf(handle);
    return element && element->Read(AutomationElement::Property::ProcessId).has_value();
}

quint32 AddressBarParts::ProcessId(WindowHandle handle) {
    AutomationElement* element = ElementOf(handle);
    const auto id = element ? element->Read(AutomationElement::Property::ProcessId) : std::nullopt;
    return id ? id->toUInt() : 0;
}

bool AddressBarParts::IsVisible(WindowHandle handle) {
    AutomationElement* element = ElementOf(handle);
    const auto offscreen =
        element ? element->Read(AutomationElement::Property::IsOffscreen) : std::nullopt;
    return offscreen && !offscreen->toBool();
}

bool AddressBarParts::IsEnabled(WindowHandle handle) {
    AutomationElement* element = ElementOf(handle);
    const auto enabled =
        element ? element->Read(AutomationElement::Property::IsEnabled) : std::nullopt;
    return enabled && enabled->toBool();
}

QString AddressBarParts::Text(WindowHandle handle) {
    Listed* listed = Find(handle);
    if (!listed) {
        return {};
    }
    if (const auto value = listed->element->Read(AutomationElement::Property::Value)) {
        listed->lastText = value->toString().left(WindowSystem::kMaxWindowText);
    }
    return listed->lastText;
}

QString AddressBarParts::ClassName(WindowHandle handle) {
    return Find(handle) ? m_browsers.addressBarClass : QString();
}

} // namespace platform
