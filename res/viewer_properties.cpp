#include "res/viewer_properties.h"

const QList<std::pair<QString, QString>>& PlayerViewerProperties() {
    static const QList<std::pair<QString, QString>> properties = {
        {QStringLiteral("FlashVars"), {}},
        {QStringLiteral("Movie"), {}},
        {QStringLiteral("Src"), {}},
        {QStringLiteral("WMode"), QStringLiteral("Window")},
        {QStringLiteral("Play"), QStringLiteral("-1")},
        {QStringLiteral("Loop"), QStringLiteral("-1")},
        {QStringLiteral("Quality"), QStringLiteral("High")},
        {QStringLiteral("SAlign"), {}},
        {QStringLiteral("Menu"), QStringLiteral("-1")},
        {QStringLiteral("Base"), {}},
        {QStringLiteral("AllowScriptAccess"), {}},
        {QStringLiteral("Scale"), QStringLiteral("ShowAll")},
        {QStringLiteral("DeviceFont"), QStringLiteral("0")},
        {QStringLiteral("EmbedMovie"), QStringLiteral("0")},
        {QStringLiteral("BGColor"), {}},
        {QStringLiteral("SWRemote"), {}},
        {QStringLiteral("MovieData"), {}},
        {QStringLiteral("InlineData"), {}},
        {QStringLiteral("SeamlessTabbing"), QStringLiteral("1")},
        {QStringLiteral("Profile"), QStringLiteral("0")},
        {QStringLiteral("ProfileAddress"), {}},
        {QStringLiteral("ProfilePort"), QStringLiteral("0")},
        {QStringLiteral("AllowNetworking"), QStringLiteral("all")},
        {QStringLiteral("AllowFullScreen"), QStringLiteral("false")},
    };
    return properties;
}
