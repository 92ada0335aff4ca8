// The one call in progress and its answer, as both viewer controls keep them.
#include "player/flash_call.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

TEST(FlashCallDelivery, TheAnswerIsTheLastOneSetDuringTheCall) {
    struct Case {
        const char* name;
        QStringList answers; // what the handlers set, in order
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"none", {}, std::nullopt},
        {"one", {QStringLiteral("a")}, QStringLiteral("a")},
        {"several", {QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("b")},
        {"an empty one still answers", {QString()}, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FlashCallDelivery call;
        const auto answer = call.Deliver([&] {
            for (const QString& value : c.answers) {
                call.SetReturnValue(value);
            }
        });
        EXPECT_EQ(answer, c.expected);
        EXPECT_FALSE(call.InCall());
    }
}

TEST(FlashCallDelivery, NothingCarriesOverOrLeaksOutOfACall) {
    FlashCallDelivery call;
    call.SetReturnValue(QStringLiteral("before")); // outside a call: ignored
    EXPECT_EQ(call.Deliver([] {}), std::nullopt);
    EXPECT_EQ(call.Deliver([&] { call.SetReturnValue(QStringLiteral("x")); }), QStringLiteral("x"));
    EXPECT_EQ(call.Deliver([] {}), std::nullopt); // the last call's answer is not this one's
}

TEST(FlashCallDelivery, CallsDoNotNestAndAFailingHandlerLeavesNoAnswer) {
    FlashCallDelivery call;
    std::optional<QString> inner = QStringLiteral("unset");
    const auto outer = call.Deliver([&] {
        EXPECT_TRUE(call.InCall());
        inner = call.Deliver([&] { call.SetReturnValue(QStringLiteral("inner")); });
        call.SetReturnValue(QStringLiteral("outer"));
    });
    EXPECT_EQ(inner, std::nullopt);
    EXPECT_EQ(outer, QStringLiteral("outer"));

    const auto failed = call.Deliver([&] {
        call.SetReturnValue(QStringLiteral("half"));
        throw std::runtime_error("handler failed");
    });
    EXPECT_EQ(failed, std::nullopt);
    EXPECT_FALSE(call.InCall());
}

} // namespace
