#pragma once

// A UI Automation tree of the test's, for the Windows window system's address bar parts.
#include "platform/win/automation_parts.h"

#include <QHash>
#include <QList>
#include <memory>
#include <vector>

namespace testsupport {

// An element whose properties the test sets; an absent property, or any of a gone element's,
// does not answer.
class FakeAutomationElement final : public platform::AutomationElement {
public:
    explicit FakeAutomationElement(QHash<Property, QVariant> properties)
        : m_properties(std::move(properties)) {}
    std::optional<QVariant> Read(Property property) override {
        if (gone || !m_properties.contains(property)) {
            return std::nullopt;
        }
        return m_properties.value(property);
    }
    void Set(Property property, const QVariant& value) { m_properties.insert(property, value); }
    bool gone = false;

private:
    QHash<Property, QVariant> m_properties;
};

// Gives the same edit fields for every window, and records what it was asked.
class FakeAutomationTree final : public platform::AutomationTree {
public:
    using Property = platform::AutomationElement::Property;
    struct Edit {
        QString name; // a null text: the name does not answer
        QString className;
        QString value;
    };
    struct Question {
        platform::WindowHandle window;
        QString name;
        QString className;
    };

    std::vector<std::unique_ptr<platform::AutomationElement>>
    FindEdits(platform::WindowHandle window, const QString& name,
              const QString& className) override {
        asked.append({window, name, className});
        std::vector<std::unique_ptr<platform::AutomationElement>> found;
        for (const Edit& edit : std::as_const(edits)) {
            QHash<Property, QVariant> properties{{Property::ClassName, edit.className},
                                                 {Property::Value, edit.value},
                                                 {Property::ProcessId, processId},
                                                 {Property::IsOffscreen, false},
                                                 {Property::IsEnabled, true}};
            if (!edit.name.isNull()) {
                properties.insert(Property::Name, edit.name);
            }
            auto element = std::make_unique<FakeAutomationElement>(properties);
            last.push_back(element.get());
            found.push_back(std::move(element));
        }
        return found;
    }

    QList<Edit> edits;
    quint32 processId = 42;
    QList<Question> asked;
    std::vector<FakeAutomationElement*> last; // the elements given, owned by whoever took them
};

} // namespace testsupport
