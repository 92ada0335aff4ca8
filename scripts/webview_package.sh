#!/usr/bin/env bash
# Puts the system web view's library for the Windows player module into the MinGW cache:
# webview.dll (a C interface over Microsoft Edge WebView2), WebView2Loader.dll, which it links,
# and the package's licence text, which goes with the DLLs wherever they are handed out. They
# come from the npm registry's package "webview" of one fixed version, checked against the
# registry's integrity value before anything is unpacked. A later run with the same version and
# integrity only checks the stamp.
#
#   scripts/webview_package.sh
#
# The cache is $VISTREL_MINGW_CACHE, by default ~/.cache/vistrel-mingw; the files land in its
# folder webview/ (bin/ the DLLs, LICENSE.webview.txt the licence).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

package=webview
version=1.1.0
# The registry's own digest of that tarball (npm view webview@1.1.0 dist.integrity).
integrity="sha512-9wYyizAuFoJjHqSnUR7rxND/WIbG1RBHMhYU5c8nWnQQUs1U8J5jpHR4lGn/qgQ1jt/XXQGXnm9U53WJcNMEng=="

cache="${VISTREL_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vistrel-mingw}"
dest="$cache/webview"
stamp="$cache/webview.stamp"
key="$package@$version $integrity"

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key" ] && [ -f "$dest/bin/webview.dll" ] &&
   [ -f "$dest/bin/WebView2Loader.dll" ] && [ -f "$dest/LICENSE.webview.txt" ]; then
    echo "webview_package: $package $version is in $dest"
    exit 0
fi

command -v npm >/dev/null || vistrel_install npm

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# npm pack fetches the tarball only (no install scripts run, no dependencies come along). It
# trusts the system's certificates, as apt and curl do (Node's own list lacks any authority a
# site adds, such as a proxy's), and says why it fails.
if [ -f /etc/ssl/certs/ca-certificates.crt ]; then
    export npm_config_cafile=/etc/ssl/certs/ca-certificates.crt
fi
(cd "$work" && npm pack --loglevel=error "$package@$version" >/dev/null)
tarball="$work/$package-$version.tgz"
[ -f "$tarball" ] || { echo "webview_package: npm pack gave no $tarball" >&2; exit 1; }

# Node comes with npm: its digest in the registry's own form, "<algorithm>-<base64>".
actual=$(node -e 'const [alg, file] = process.argv.slice(1);
    const digest = require("crypto").createHash(alg).update(require("fs").readFileSync(file));
    process.stdout.write(alg + "-" + digest.digest("base64"));' "${integrity%%-*}" "$tarball")
if [ "$actual" != "$integrity" ]; then
    echo "webview_package: $package $version does not match its integrity value" >&2
    exit 1
fi

tar -xzf "$tarball" -C "$work" package/LICENSE package/bin/windows-amd64/webview.dll \
    package/bin/windows-amd64/WebView2Loader.dll
rm -rf "$dest" "$stamp"
mkdir -p "$dest/bin"
cp "$work/package/bin/windows-amd64/webview.dll" "$work/package/bin/windows-amd64/WebView2Loader.dll" \
   "$dest/bin/"
{
    echo "webview.dll and WebView2Loader.dll come from the npm package $package $version,"
    echo "which is published under the MIT licence. Its licence text follows as the package has it."
    echo
    tr -d '\r' <"$work/package/LICENSE"
} >"$dest/LICENSE.webview.txt"
echo "$key" >"$stamp"
echo "webview_package: $package $version put in $dest"
