#pragma once

#include <QString>

// Every constant by which the program addresses or recognises the streaming service.
// Nothing else in the program may spell out the service's names, markers or addresses.
namespace endpoints {

// The service domain, searched for in addresses: lower case, no scheme, no "www.".
inline const QString kServiceDomain = QStringLiteral("tevora.tv");
// The service's web host.
inline const QString kWebHost = QStringLiteral("www.tevora.tv");

// A typed channel page address contains this scheme marker and the service domain.
inline const QString kPageSchemeMarker = QStringLiteral("http:");
// A captured channel page address holds the domain followed by "/" and is longer than this.
inline const QString kCapturedPageMarker = kServiceDomain + QLatin1Char('/');
inline constexpr int kCapturedPageMinLength = 22; // strictly longer than this

// Chrome's address bar drops the scheme; a text beginning with this gets kChromeSchemePrefix.
inline const QString kChromeAddressStart = QStringLiteral("www.");
inline const QString kChromeSchemePrefix = QStringLiteral("http://");

// Agent text sent with every page request.
inline const QString kHttpAgent = QStringLiteral("HTTP Get Tevora Application ver-1.00");

// A channel page holds its stream id in the 7 characters after the first kStreamIdKey.
inline const QString kStreamIdKey = QStringLiteral("cid=");
inline constexpr int kStreamIdLength = 7;

// The page title lies between these markers.
inline const QString kTitleStart = QStringLiteral("<title>");
inline const QString kTitleEnd = QStringLiteral("</title>");
// Title prefixes, matched in an upper-cased copy of the title: the channel name follows
// kTitlePrefixBrand up to kTitlePrefixBrandStop, or kTitlePrefixDomain() up to ".".
inline const QString kTitlePrefixBrand = QStringLiteral("TEVORA:");
inline const QString kTitlePrefixBrandStop = QStringLiteral(": ");
inline const QString kTitlePrefixDomain = kServiceDomain.toUpper() + QLatin1Char(':');
inline const QString kTitlePrefixDomainStop = QStringLiteral(".");

// Embed mark-up: a tag marker and the key after which the stream id stands.
inline const QString kObjectTag = QStringLiteral("<object");
inline const QString kObjectKey = QStringLiteral("cid=");
inline const QString kIframeTag = QStringLiteral("<iframe");
inline const QString kIframeKey = QStringLiteral("socialstream/");
inline const QString kEmbedTag = QStringLiteral("<embed");
inline const QString kEmbedKey = QStringLiteral("channelId=");

// The viewer movie for a stream id is this prefix followed by the id. After "embed" comes
// "?", not "&": the service expects it so.
inline const QString kViewerMovieUrlPrefix =
    QStringLiteral("http://") + kWebHost +
    QStringLiteral("/flash/viewer.swf?brand=embed?v3=1&cid=");
// The player's built-in location, replaced by the control panel's before the viewer asks.
inline const QString kPlayerInitialLocation = QStringLiteral("http://") + kWebHost;
// The viewer announces it is ready with a request containing this text.
inline const QString kViewerReadyCall = QStringLiteral("tevora.flash.viewer.null.ready");

} // namespace endpoints
