#include "player/viewer_containment.h"

#include <QHostAddress>
#include <QStringList>

namespace {

int DefaultPort(const QUrl& url) {
    return url.scheme() == QLatin1String("https") ? 443 : 80;
}

bool IsWebScheme(const QString& scheme) {
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

QString WithoutTrailingDots(QString name) {
    while (name.endsWith(QLatin1Char('.'))) {
        name.chop(1);
    }
    return name;
}

// Names the resolver and the engine take for this machine whatever any server says.
bool IsLocalHostName(const QString& name) {
    static const char* const kNames[] = {"localhost",     "localhost.localdomain",
                                         "localhost6",    "localhost6.localdomain6",
                                         "ip6-localhost", "ip6-loopback"};
    for (const char* local : kNames) {
        if (name == QLatin1String(local)) {
            return true;
        }
    }
    return name.endsWith(QLatin1String(".localhost"));
}

} // namespace

QString CanonicalHost(const QString& host) {
    QString name = host;
    if (name.size() >= 2 && name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']'))) {
        name = name.mid(1, name.size() - 2);
    }
    name = WithoutTrailingDots(name);
    // The URL parser lower-cases, maps international names to their ASCII form (full-width
    // dots included) and writes every IPv4 and IPv6 form in its one canonical spelling.
    QUrl url;
    url.setHost(name, QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty()) {
        return name.toLower();
    }
    return WithoutTrailingDots(url.host(QUrl::EncodeUnicode));
}

bool IsSameOrigin(const QUrl& a, const QUrl& b) {
    return !a.host().isEmpty() && a.scheme() == b.scheme() &&
           CanonicalHost(a.host()) == CanonicalHost(b.host()) &&
           a.port(DefaultPort(a)) == b.port(DefaultPort(b));
}

bool IsLocalNetworkHost(const QString& host) {
    const QString name = CanonicalHost(host);
    if (IsLocalHostName(name)) {
        return true;
    }
    QHostAddress address;
    if (name.isEmpty() || !address.setAddress(name)) {
        return false; // a name: its address is checked when the engine connects
    }
    bool isV4 = false;
    if (const quint32 v4 = address.toIPv4Address(&isV4); isV4) {
        address = QHostAddress(v4); // also an IPv4 address written as IPv6
    }
    static const char* const kLocalNetworks[] = {
        "0.0.0.0/8",      "10.0.0.0/8",    "100.64.0.0/10",  "127.0.0.0/8",
        "169.254.0.0/16", "172.16.0.0/12", "192.168.0.0/16", "::/128",
        "::1/128",        "fc00::/7",      "fe80::/10",
    };
    for (const char* network : kLocalNetworks) {
        if (address.isInSubnet(QHostAddress::parseSubnet(QLatin1String(network)))) {
            return true;
        }
    }
    return false;
}

bool ViewerContainment::AllowsRequest(const QUrl& url) const {
    const QString scheme = url.scheme();
    const bool inline_ = scheme == QLatin1String("data") || scheme == QLatin1String("blob");
    if (!IsWebScheme(scheme) && !inline_) {
        return false;
    }
    const bool sameOrigin = IsSameOrigin(url, movie);
    if (IsWebScheme(scheme) && !sameOrigin && IsLocalNetworkHost(url.host())) {
        return false;
    }
    return networking != FlashProperties::Networking::None || sameOrigin || inline_;
}

bool ViewerContainment::AllowsNavigation(const QUrl& url, NavigationKind kind,
                                         bool isMainFrame) const {
    if (!IsWebScheme(url.scheme()) && url != QUrl(QStringLiteral("about:blank"))) {
        return false;
    }
    if (isMainFrame && networking != FlashProperties::Networking::All) {
        return kind != NavigationKind::Other;
    }
    return true;
}

QString EngineFlagsWithAddressChecks(const QString& flags) {
    // From an insecure page (the viewer comes over plain http) no request, worker or navigation
    // reaches an address more private than the page's own; a proxied page counts as public.
    static const QStringList kFeatures = {
        QStringLiteral("BlockInsecurePrivateNetworkRequests"),
        QStringLiteral("BlockInsecurePrivateNetworkRequestsFromPrivate"),
        QStringLiteral("BlockInsecurePrivateNetworkRequestsFromUnknown"),
        QStringLiteral("BlockInsecurePrivateNetworkRequestsForNavigations"),
        QStringLiteral("PrivateNetworkAccessForWorkers"),
    };
    if (flags.contains(QLatin1String("PrivateNetwork"))) {
        return flags; // the user's word on these features stands
    }
    const QString features = kFeatures.join(QLatin1Char(','));
    // The engine takes the last --enable-features only: join the user's list.
    static const QString kSwitch = QStringLiteral("--enable-features=");
    if (const qsizetype at = flags.lastIndexOf(kSwitch); at >= 0) {
        QString joined = flags;
        joined.insert(at + kSwitch.size(), features + QLatin1Char(','));
        return joined;
    }
    return (flags + QLatin1Char(' ') + kSwitch + features).trimmed();
}
