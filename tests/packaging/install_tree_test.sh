#!/usr/bin/env bash
# Installs the build into a temporary prefix, as `cmake --install build --prefix DIR` does, and
# checks what arrived: exactly the listed files with their modes, icons of the size their folder
# names, no run path into the build tree, and desktop metadata that the desktop's own validators
# and the manual reader accept without a remark.
#
#   install_tree_test.sh BUILD_DIR EXPECTED_LIST APP_ID VERSION [MODULE_PATH...]
set -u
build=$1 list=$2 app_id=$3 version=$4
shift 4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
root=$work/root

cmake --install "$build" --prefix "$root" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install"; }

# --- The file list, modules included.
{ cat "$list"; [ $# -gt 0 ] && printf '%s\n' "$@"; } | LC_ALL=C sort >"$work/expected"
(cd "$root" && find . ! -type d -printf '%P\n' | LC_ALL=C sort) >"$work/actual"
diff -u "$work/expected" "$work/actual" || fail "installed files differ from $list"
[ -z "$(find "$root" -type d -empty)" ] || fail "empty folders installed"

# --- Modes: the program executable, everything else (modules too) plain readable files.
while read -r path; do
    mode=$(stat -c '%a' "$root/$path")
    case $path in
    bin/*) want=755 ;;
    *) want=644 ;;
    esac
    [ "$mode" = "$want" ] || fail "$path has mode $mode, not $want"
done <"$work/expected"

# --- Icons: the size their theme folder says, with transparency.
for icon in "$root"/share/icons/hicolor/*/apps/vistrel.png; do
    size=$(basename "$(dirname "$(dirname "$icon")")")
    got=$(identify -format '%wx%h %A' "$icon")
    [ "$got" = "$size True" ] || [ "$got" = "$size Blend" ] || fail "$icon is $got"
done

# --- The program's run path: only its own module folder, never the build tree.
runpath=$(readelf -d "$root/bin/vistrel" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]/\2/p')
if [ $# -gt 0 ]; then
    [ "$runpath" = "\$ORIGIN/../${1%/*}" ] || fail "run path '$runpath' does not lead to ${1%/*}"
else
    [ -z "$runpath" ] || fail "run path '$runpath' in an installed program without modules"
fi

# --- Desktop entry: valid, starts the installed program with addresses, shows the theme icon.
desktop=$root/share/applications/$app_id.desktop
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate remarks: $out"
entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Exec)" = "vistrel %U" ] || fail "Exec is '$(entry Exec)'"
[ -x "$root/bin/$(entry Exec | cut -d' ' -f1)" ] || fail "Exec names no installed program"
[ -f "$root/share/icons/hicolor/128x128/apps/$(entry Icon).png" ] || fail "Icon names no icon"
[ "$(entry Categories)" = "AudioVideo;Video;Player;" ] || fail "Categories '$(entry Categories)'"
# The toolkit names the windows' class after the application: "Vistrel".
[ "$(entry StartupWMClass)" = Vistrel ] || fail "StartupWMClass '$(entry StartupWMClass)'"
[ -n "$(entry 'Comment\[ja\]')" ] && [ -n "$(entry Comment)" ] || fail "Comment in both languages"

# --- AppStream metadata: valid even by the pedantic rules, for the desktop entry installed
# beside it and for this version.
metainfo=$root/share/metainfo/$app_id.metainfo.xml
out=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) || fail "appstreamcli: $out"
! grep -E '^[EWIP]: ' <<<"$out" || fail "appstreamcli remarks"
out=$(appstreamcli validate-tree --no-net "$root" 2>&1) || fail "appstreamcli validate-tree: $out"
! grep -E '^[EWIP]: ' <<<"$out" || fail "appstreamcli validate-tree remarks"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "metadata does not launch $app_id.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "no release $version"
grep -q '<screenshot type="default">' "$metainfo" || fail "no screenshot"
grep -q '<content_rating type="oars-1.1"' "$metainfo" || fail "no content rating"

# --- Manual page: renders without warnings and gives the switch and both files.
page=$root/share/man/man1/vistrel.1.gz
warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >"$work/page.txt") ||
    fail "man: $warnings"
[ -z "$warnings" ] || fail "manual page warnings: $warnings"
for text in -D537 Vistrel.ini History.ini .config/Vistrel "Vistrel $version"; do
    grep -qF -- "$text" "$work/page.txt" || fail "manual page lacks $text"
done
echo "install tree: passed"
