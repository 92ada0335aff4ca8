#pragma once

// Stand-ins for the process-wide services, each in force for as long as it lives.

#include "discovery/channel_page_lookup.h"
#include "platform/debug_output.h"
#include "platform/services.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <utility>

namespace testsupport {

// Takes the debug output instead of standard error: appends every text to `texts`, or drops
// them all when given no list.
class RecordingDebugOutput final : public platform::DebugOutputService {
public:
    explicit RecordingDebugOutput(QStringList* texts = nullptr) : m_texts(texts), m_use(*this) {}
    void Write(const QString& text) override {
        if (m_texts != nullptr) {
            *m_texts << text;
        }
    }

private:
    QStringList* m_texts;
    platform::ScopedService<platform::DebugOutputService> m_use;
};

// Channel pages answered by a function of the test's instead of the network.
class ScriptedPageLookup final : public PageLookupService {
public:
    using Answer = std::function<bool(const QString& url, QString& streamId, QString& title)>;
    explicit ScriptedPageLookup(Answer answer) : m_answer(std::move(answer)), m_use(*this) {}
    bool GetStreamIDFromURL(QString url, QString& streamId, QString& title) override {
        return m_answer(url, streamId, title);
    }

private:
    Answer m_answer;
    platform::ScopedService<PageLookupService> m_use;
};

} // namespace testsupport
