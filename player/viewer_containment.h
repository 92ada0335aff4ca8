#pragma once

#include "player/flash_properties.h"

#include <QString>
#include <QUrl>

// What the viewer may reach, decided without a web engine or a widget, so that every rule can be
// tested alone. Hosts are compared in one canonical form: the engine and the resolver treat
// "LOCALHOST.", "127.1", "0x7f.1" and "2130706433" as the host they stand for, and so do these
// decisions.

// The canonical form of a host name: lower case, without trailing dots or the brackets of an
// IPv6 address, international names in their ASCII (IDNA) form, and IPv4 addresses written in
// any of the forms a URL accepts (fewer parts, octal, hexadecimal, one number) as four decimal
// parts. A name that is no valid host comes back lower-cased with its dots taken off.
QString CanonicalHost(const QString& host);

// Whether two addresses have one origin: scheme, canonical host and port (the scheme's own when
// none).
bool IsSameOrigin(const QUrl& a, const QUrl& b);

// Whether a host names this machine or a local network by itself: "localhost" and its
// subdomains, or an address that is loopback, link-local, private-use, shared, unique-local or
// unspecified (IPv4 or IPv6, also an IPv4 address written as IPv6), in any spelling
// CanonicalHost accepts. A name that only resolves to such an address is not known here: the
// engine's own address checks (EngineFlagsWithAddressChecks) refuse the connection.
bool IsLocalNetworkHost(const QString& host);

// The viewer's policy for one movie.
struct ViewerContainment {
    enum class NavigationKind { Typed, Redirect, Reload, Other };

    FlashProperties::Networking networking = FlashProperties::Networking::All;
    QUrl movie;

    // Whether the viewer may fetch `url`: only the web's schemes; never this machine or its local
    // networks by name or address, except the movie's own origin; with AllowNetworking "none"
    // nothing off the movie's origin but inline data. What goes through the proxy is not asked
    // about the proxy itself: the engine reaches it by configuration.
    bool AllowsRequest(const QUrl& url) const;
    // Whether the viewer may go to `url`: no scheme but the web's (and about:blank); with
    // AllowNetworking "internal" or "none" the main frame goes only where the host sent it.
    bool AllowsNavigation(const QUrl& url, NavigationKind kind, bool isMainFrame) const;
};

// The web engine's flags with Chromium's own checks of the address a connection reaches: a
// page that came from the internet (or through a proxy) may not reach this machine or a private
// network, a page from a private network not this machine, whatever name leads there; the check
// is made on the connected address, so a name that changes its answer between two look-ups gains
// nothing. Flags that already name these features, to turn them on or off, are kept as they are.
QString EngineFlagsWithAddressChecks(const QString& flags);
