#include "player/flash_properties.h"
#include "tests/support/qt_print.h"

#include <gtest/gtest.h>

namespace {

TEST(FlashProperties, PlayerDefaultsInTheControlsOrder) {
    const FlashProperties properties = FlashProperties::PlayerDefaults();
    const QStringList names = {"FlashVars",
                               "Movie",
                               "Src",
                               "WMode",
                               "Play",
                               "Loop",
                               "Quality",
                               "SAlign",
                               "Menu",
                               "Base",
                               "AllowScriptAccess",
                               "Scale",
                               "DeviceFont",
                               "EmbedMovie",
                               "BGColor",
                               "SWRemote",
                               "MovieData",
                               "InlineData",
                               "SeamlessTabbing",
                               "Profile",
                               "ProfileAddress",
                               "ProfilePort",
                               "AllowNetworking",
                               "AllowFullScreen"};
    ASSERT_EQ(properties.Items().size(), names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        EXPECT_EQ(properties.Items()[i].first, names[i]) << i;
    }
    const std::pair<const char*, const char*> values[] = {{"WMode", "Window"},
                                                          {"Play", "-1"},
                                                          {"Loop", "-1"},
                                                          {"Quality", "High"},
                                                          {"Menu", "-1"},
                                                          {"Scale", "ShowAll"},
                                                          {"DeviceFont", "0"},
                                                          {"EmbedMovie", "0"},
                                                          {"SeamlessTabbing", "1"},
                                                          {"Profile", "0"},
                                                          {"ProfilePort", "0"},
                                                          {"AllowNetworking", "all"},
                                                          {"AllowFullScreen", "false"},
                                                          {"Movie", ""},
                                                          {"AllowScriptAccess", ""},
                                                          {"BGColor", ""}};
    for (const auto& [name, value] : values) {
        EXPECT_EQ(properties.Value(QString::fromLatin1(name)), QString::fromLatin1(value)) << name;
    }
}

TEST(FlashProperties, NamesMatchInAnyCaseAndOnlyTheKnownOnesChange) {
    FlashProperties properties = FlashProperties::PlayerDefaults();
    EXPECT_EQ(properties.Value(QStringLiteral("wmode")), QStringLiteral("Window"));
    EXPECT_TRUE(properties.SetValue(QStringLiteral("bgcolor"), QStringLiteral("#102030")));
    EXPECT_EQ(properties.Value(QStringLiteral("BGColor")), QStringLiteral("#102030"));
    EXPECT_FALSE(properties.SetValue(QStringLiteral("Volume"), QStringLiteral("1")));
    EXPECT_EQ(properties.Items().size(), 24);
    EXPECT_EQ(properties.Value(QStringLiteral("Volume")), QString());
}

TEST(FlashProperties, Interpretations) {
    struct Case {
        const char* name;
        const char* value;
        bool flag;
    };
    const Case flags[] = {{"Play", "-1", true},     {"Play", "1", true},
                          {"Play", " TRUE ", true}, {"Play", "0", false},
                          {"Play", "", false},      {"Play", "false", false},
                          {"Play", "yes", false},   {"AllowFullScreen", "true", true}};
    for (const Case& c : flags) {
        FlashProperties properties = FlashProperties::PlayerDefaults();
        properties.SetValue(QString::fromLatin1(c.name), QString::fromLatin1(c.value));
        EXPECT_EQ(properties.Flag(QString::fromLatin1(c.name)), c.flag) << c.value;
    }

    const std::pair<const char*, const char*> scales[] = {
        {"ShowAll", "contain"}, {"", "contain"},     {"exactfit", "fill"},
        {"NoBorder", "cover"},  {"NoScale", "none"}, {"bogus", "contain"}};
    for (const auto& [scale, fit] : scales) {
        FlashProperties properties = FlashProperties::PlayerDefaults();
        properties.SetValue(QStringLiteral("Scale"), QString::fromLatin1(scale));
        EXPECT_EQ(properties.CssObjectFit(), QString::fromLatin1(fit)) << scale;
    }

    using N = FlashProperties::Networking;
    const std::pair<const char*, N> networking[] = {
        {"all", N::All}, {"", N::All}, {"Internal", N::Internal}, {"NONE", N::None}};
    for (const auto& [value, policy] : networking) {
        FlashProperties properties = FlashProperties::PlayerDefaults();
        properties.SetValue(QStringLiteral("AllowNetworking"), QString::fromLatin1(value));
        EXPECT_EQ(properties.NetworkingPolicy(), policy) << value;
    }

    const std::pair<const char*, bool> access[] = {
        {"", true}, {"always", true}, {"sameDomain", true}, {"Never", false}};
    for (const auto& [value, allowed] : access) {
        FlashProperties properties = FlashProperties::PlayerDefaults();
        properties.SetValue(QStringLiteral("AllowScriptAccess"), QString::fromLatin1(value));
        EXPECT_EQ(properties.ScriptAccessAllowed(), allowed) << value;
    }

    const std::pair<const char*, std::optional<quint32>> colours[] = {
        {"", std::nullopt},     {"#FF8000", 0xFF8000u},    {"00ff00", 0x00FF00u},
        {"#FFF", std::nullopt}, {"#GG0000", std::nullopt}, {"#1234567", std::nullopt}};
    for (const auto& [value, rgb] : colours) {
        FlashProperties properties = FlashProperties::PlayerDefaults();
        properties.SetValue(QStringLiteral("BGColor"), QString::fromLatin1(value));
        EXPECT_EQ(properties.BackgroundRgb(), rgb) << value;
    }
}

} // namespace
