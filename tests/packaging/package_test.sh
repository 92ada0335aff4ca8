#!/usr/bin/env bash
# Builds the Debian package as `cmake --build build --target package` does, into a temporary
# folder, and reads it with dpkg-deb: the control fields, Depends worked out from the shared
# libraries, the files (the install list under /usr, owned by root, the program stripped). Then
# installs it with dpkg into an empty private root and purges it again, which must leave nothing.
#
#   package_test.sh BUILD_DIR EXPECTED_LIST VERSION [MODULE_PATH...]
set -u
build=$1 list=$2 version=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# --- What the README's install path needs: every tool present, and brought by the packages
# scripts/setup.sh installs or by the base system (Essential or required), so that the package
# also builds on a fresh machine and not only on one that has the tool from elsewhere.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/common.sh"
dpkg-query -W -f='${db:Status-Status} ${Package} ${Essential} ${Priority}|${Pre-Depends}, ${Depends}\n' \
    >"$work/installed" || fail "dpkg-query"
# The dependency closure over the installed packages; an alternative counts when installed.
awk -v roots="${VISTREL_BUILD_PACKAGES[*]} ${VISTREL_TEST_PACKAGES[*]}" '
    $1 != "installed" { next }
    {
        split($0, halves, "|"); split(halves[1], head, " ")
        name = head[2]; installed[name] = 1; deps[name] = halves[2]
        if (head[3] == "yes" || head[4] == "required") base[name] = 1
    }
    END {
        n = split(roots, queue, " ")
        for (name in base) queue[++n] = name
        for (i = 1; i <= n; i++) {
            name = queue[i]; sub(/:.*/, "", name)
            if (name in seen) continue
            seen[name] = 1; print name
            count = split(deps[name], parts, /[,|]/)
            for (k = 1; k <= count; k++) {
                dep = parts[k]; gsub(/\([^)]*\)|\[[^]]*\]|<[^>]*>/, "", dep); gsub(/[ \t]/, "", dep)
                sub(/:.*/, "", dep)
                if (dep != "" && (dep in installed)) queue[++n] = dep
            }
        }
    }' "$work/installed" | LC_ALL=C sort -u >"$work/provided"
for tool in cmake cpack dpkg-shlibdeps dpkg-deb file objdump strip apt-get; do
    path=$(command -v "$tool") || fail "the install path needs '$tool', which is not installed"
    owner=$(dpkg -S "$(realpath "$path")" 2>/dev/null || dpkg -S "$path" 2>/dev/null) ||
        fail "'$tool' ($path) comes from no Debian package"
    owner=${owner%%:*}
    grep -qxF "$owner" "$work/provided" ||
        fail "'$tool' comes from package $owner, which scripts/common.sh does not install"
done

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack"; }
arch=$(dpkg --print-architecture)
deb=$work/out/vistrel_${version}_$arch.deb
[ -f "$deb" ] || { ls -l "$work/out" >&2; fail "no vistrel_${version}_$arch.deb"; }

# --- Control fields.
field() { dpkg-deb --field "$deb" "$1"; }
dpkg-deb --info "$deb" >"$work/info" || fail "dpkg-deb --info"
[ "$(field Package)" = vistrel ] || fail "Package '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version '$(field Version)'"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture '$(field Architecture)'"
[ "$(field Section)" = video ] || fail "Section '$(field Section)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
grep -q '^  Vistrel plays the live channels' "$work/info" || fail "no long description"
# Maintainer scripts: none, or for a package with modules the ldconfig call that CPack adds.
dpkg-deb -e "$deb" "$work/control" || fail "dpkg-deb -e"
for script in preinst postinst prerm postrm; do
    [ -f "$work/control/$script" ] || continue
    grep -vxE '#!/bin/sh|set -e|if \[ "\$1" = "(configure|remove)" \]; then|[[:space:]]*ldconfig|fi|' \
        "$work/control/$script" && fail "$script does more than ldconfig"
done
grep -qE '^ +[0-9]+ bytes, +[0-9]+ lines +md5sums' "$work/info" || fail "no md5sums"

# Depends: the libraries the program links, as dpkg-shlibdeps gives them (with the lowest
# version their symbols need, where the library says), the web engine's helper process, which
# the program starts without linking it, and libcurl and libatspi, which it loads when needed.
depends=$(field Depends)
for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6webenginewidgets6 \
    libqt6webenginecore6 libqt6webchannel6 libcurl4 libx11-6 libxcb1 libatspi2.0-0 \
    libglib2.0-0 libqt6webenginecore6-bin; do
    package=${package//+/\\+} package=${package//./\\.}
    grep -qE "(^|, )$package( \(>= [^)]+\))?(,|$)" <<<"$depends" ||
        fail "Depends lacks $package: $depends"
done
for package in libc6 libqt6core6 libqt6widgets6 libcurl4 libatspi2.0-0; do
    grep -qE "(^|, )$package \(>= [0-9][^)]*\)" <<<"$depends" ||
        fail "Depends has no version for $package: $depends"
done
[ "$(field Recommends)" = fonts-noto-cjk ] || fail "Recommends '$(field Recommends)'"

# --- Contents: the install list under /usr, all owned by root.
dpkg-deb --contents "$deb" >"$work/contents" || fail "dpkg-deb --contents"
{ sed 's|^|usr/|' "$list"; [ $# -gt 0 ] && printf 'usr/%s\n' "$@"; } | LC_ALL=C sort >"$work/expected"
awk '$1 !~ /^d/ {sub(/^\.\//, "", $6); print $6}' "$work/contents" | LC_ALL=C sort >"$work/files"
diff -u "$work/expected" "$work/files" || fail "package files differ from $list"
awk '$2 != "root/root" {bad = 1; print} END {exit bad}' "$work/contents" || fail "files not root's"
grep -q '^-rwxr-xr-x .* \./usr/bin/vistrel$' "$work/contents" || fail "usr/bin/vistrel mode"

dpkg-deb -x "$deb" "$work/x" || fail "dpkg-deb -x"
readelf -S "$work/x/usr/bin/vistrel" | grep -q '\.debug_info' && fail "program not stripped"

# --- Install into an empty private root and purge: nothing of the package may stay.
admin=$work/admin inst=$work/inst
mkdir -p "$admin/updates" "$admin/info" "$admin/triggers" "$inst"
touch "$admin/status" "$admin/available"
private_dpkg() { dpkg --admindir="$admin" --instdir="$inst" --force-not-root --force-depends "$@"; }
private_dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -i"; }
[ -x "$inst/usr/bin/vistrel" ] || fail "not installed"
[ "$(dpkg-query --admindir="$admin" -W -f='${Status}' vistrel)" = "install ok installed" ] ||
    fail "dpkg does not list it as installed"
private_dpkg --purge vistrel >>"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "purge"; }
left=$(find "$inst" -mindepth 1 ! -type d)
[ -z "$left" ] || fail "left after purge: $left"
[ -z "$(find "$inst" -mindepth 1 -type d)" ] || fail "folders left after purge"
echo "package: passed"
