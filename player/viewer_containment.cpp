#include "player/viewer_containment.h"

#include <QStringList>
#include <array>
#include <optional>

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

using Address = std::array<quint8, 16>; // IPv4 as IPv4-mapped IPv6

std::optional<quint32> ParseIPv4(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4) {
        return std::nullopt;
    }
    quint32 value = 0;
    for (const QString& part : parts) {
        bool ok = false;
        const uint byte = part.toUInt(&ok, 10);
        if (!ok || byte > 255 || part.isEmpty() || part.size() > 3) {
            return std::nullopt;
        }
        value = (value << 8) | byte;
    }
    return value;
}

Address MappedIPv4(quint32 v4) {
    Address address{};
    address[10] = address[11] = 0xff;
    for (int i = 0; i < 4; ++i) {
        address[12 + i] = static_cast<quint8>(v4 >> (24 - 8 * i));
    }
    return address;
}

// An IPv6 address in any of its textual forms (with "::" and a dotted IPv4 tail).
std::optional<Address> ParseIPv6(const QString& text) {
    if (!text.contains(QLatin1Char(':'))) {
        return std::nullopt;
    }
    QList<quint16> head;
    QList<quint16> tail;
    bool compressed = false;
    const qsizetype gap = text.indexOf(QLatin1String("::"));
    if (gap >= 0 && text.indexOf(QLatin1String("::"), gap + 1) >= 0) {
        return std::nullopt;
    }
    const auto parseGroups = [](const QString& part, QList<quint16>& groups, bool last) {
        if (part.isEmpty()) {
            return true;
        }
        const QStringList items = part.split(QLatin1Char(':'));
        for (qsizetype i = 0; i < items.size(); ++i) {
            const QString& item = items[i];
            if (last && i == items.size() - 1 && item.contains(QLatin1Char('.'))) {
                const std::optional<quint32> v4 = ParseIPv4(item);
                if (!v4) {
                    return false;
                }
                groups << static_cast<quint16>(*v4 >> 16) << static_cast<quint16>(*v4 & 0xffff);
                continue;
            }
            bool ok = false;
            const uint group = item.toUInt(&ok, 16);
            if (!ok || item.isEmpty() || item.size() > 4 || group > 0xffff) {
                return false;
            }
            groups << static_cast<quint16>(group);
        }
        return true;
    };
    if (gap >= 0) {
        compressed = true;
        if (!parseGroups(text.left(gap), head, false) ||
            !parseGroups(text.mid(gap + 2), tail, true)) {
            return std::nullopt;
        }
    } else if (!parseGroups(text, head, true)) {
        return std::nullopt;
    }
    const qsizetype count = head.size() + tail.size();
    if (count > 8 || (!compressed && count != 8) || (compressed && count == 8)) {
        return std::nullopt;
    }
    QList<quint16> groups = head;
    groups.resize(8 - tail.size(), 0);
    groups << tail;
    Address address{};
    for (std::size_t i = 0; i < 8; ++i) {
        address[2 * i] = static_cast<quint8>(groups[static_cast<qsizetype>(i)] >> 8);
        address[2 * i + 1] = static_cast<quint8>(groups[static_cast<qsizetype>(i)] & 0xff);
    }
    return address;
}

bool InNetwork(const Address& address, const Address& network, int prefixBits) {
    for (int bit = 0; bit < prefixBits; ++bit) {
        const quint8 mask = static_cast<quint8>(0x80 >> (bit % 8));
        if ((address[bit / 8] & mask) != (network[bit / 8] & mask)) {
            return false;
        }
    }
    return true;
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
    std::optional<Address> address;
    if (const std::optional<quint32> v4 = ParseIPv4(name)) {
        address = MappedIPv4(*v4);
    } else {
        address = ParseIPv6(name);
    }
    if (!address) {
        return false; // a name: its address is checked when the engine connects
    }
    // IPv4 networks are written IPv4-mapped (96 more prefix bits), which also covers an IPv4
    // address written as IPv6.
    static const struct {
        const char* network;
        int bits;
    } kLocalNetworks[] = {
        {"::ffff:0.0.0.0", 96 + 8},
        {"::ffff:10.0.0.0", 96 + 8},
        {"::ffff:100.64.0.0", 96 + 10},
        {"::ffff:127.0.0.0", 96 + 8},
        {"::ffff:169.254.0.0", 96 + 16},
        {"::ffff:172.16.0.0", 96 + 12},
        {"::ffff:192.168.0.0", 96 + 16},
        {"::", 128},
        {"::1", 128},
        {"fc00::", 7},
        {"fe80::", 10},
    };
    for (const auto& local : kLocalNetworks) {
        if (InNetwork(*address, *ParseIPv6(QLatin1String(local.network)), local.bits)) {
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
