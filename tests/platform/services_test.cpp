#include "discovery/http_get.h"
#include "platform/debug_output.h"
#include "platform/services.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

using platform::DebugOutputService;
using platform::ScopedService;
using platform::Services;

class Recorder final : public DebugOutputService {
public:
    void Write(const QString& text) override { texts << text; }
    QStringList texts;
};

// Scopes nest: each one, when it goes, puts back the service that was in force before it, not
// the program's own.
TEST(Services, ScopesNestAndEachPutsBackThePreviousOne) {
    DebugOutputService& own = Services<DebugOutputService>::Get();
    Recorder outer;
    Recorder inner;
    {
        const ScopedService<DebugOutputService> useOuter(outer);
        platform::OutputDebugStringW(QStringLiteral("1"));
        {
            const ScopedService<DebugOutputService> useInner(inner);
            platform::OutputDebugStringW(QStringLiteral("2"));
        }
        platform::OutputDebugStringW(QStringLiteral("3"));
    }
    // Each report is written as one line.
    EXPECT_EQ(outer.texts, (QStringList{"1\n", "3\n"}));
    EXPECT_EQ(inner.texts, QStringList{"2\n"});
    EXPECT_EQ(&Services<DebugOutputService>::Get(), &own);
}

TEST(Services, InstallReturnsThePreviousAndNullptrBringsBackTheOwn) {
    DebugOutputService& own = Services<DebugOutputService>::Get();
    Recorder first;
    Recorder second;
    EXPECT_EQ(Services<DebugOutputService>::Install(&first), nullptr);
    EXPECT_EQ(Services<DebugOutputService>::Install(&second), &first);
    EXPECT_EQ(&Services<DebugOutputService>::Get(), &second);
    EXPECT_EQ(Services<DebugOutputService>::Install(nullptr), &second);
    EXPECT_EQ(&Services<DebugOutputService>::Get(), &own);
}

// A value held as a service: the program's own limits until a test installs others.
TEST(Services, PlainValuesAreHeldTheSameWay) {
    const HttpLimits defaults;
    EXPECT_EQ(Services<HttpLimits>::Get().maxPageBytes, defaults.maxPageBytes);
    HttpLimits low;
    low.maxPageBytes = 10;
    {
        const ScopedService<HttpLimits> use(low);
        EXPECT_EQ(Services<HttpLimits>::Get().maxPageBytes, 10);
    }
    EXPECT_EQ(Services<HttpLimits>::Get().maxPageBytes, defaults.maxPageBytes);
}

} // namespace
