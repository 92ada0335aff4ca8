#!/usr/bin/env bash
# Makes the Wine prefix of the whole-program tests of the Windows build, once: quiet (no Mono or
# Gecko installer), and with a CJK font standing in for the Japanese fonts that Windows has and
# Wine does not, so that Japanese texts show as text and not as boxes.
#   tests/support/wine_prefix.sh PREFIX
# Several tests may ask at once: one makes it, the others wait.
set -euo pipefail
prefix=$1
[ -f "$prefix/.vistrel-desktop-ready" ] && exit 0

export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.vistrel-desktop-ready" ] && exit 0

# The CJK font of the Debian package fonts-noto-cjk (or, without it, IPA Gothic), as fontconfig
# knows it: Wine lists fontconfig's fonts among its own.
face="" file=""
for candidate in "Noto Sans CJK JP" "IPAGothic"; do
    file=$(fc-match -f '%{file}' "$candidate:lang=ja" 2>/dev/null || true)
    if [ -n "$file" ] && fc-query -f '%{family}\n' "$file" 2>/dev/null | grep -q "$candidate"; then
        face=$candidate
        break
    fi
done
if [ -z "$face" ]; then
    echo "wine_prefix: no CJK font (install fonts-noto-cjk)" >&2
    exit 1
fi

wine wineboot --init >/dev/null 2>&1
wineserver -w

# Wine's replacements make the Windows names real families (listed, as Qt's font database
# lists them); the substitutes serve programs that ask GDI by name; the system link gives the
# Western UI fonts the CJK font's glyphs for the characters they lack.
reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
japanese=("MS UI Gothic" "MS Gothic" "MS PGothic" "Meiryo" "Meiryo UI" "Yu Gothic" "Yu Gothic UI")
{
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n'
    for name in "${japanese[@]}"; do
        printf '"%s"="%s"\n' "$name" "$face"
    done
    printf '\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\n'
    for name in "${japanese[@]}"; do
        printf '"%s"="%s"\n' "$name" "$face"
    done
    printf '\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\n'
    link="$(basename "$file"),$face"
    # REG_MULTI_SZ: the one entry and the list's end, as bytes.
    hex=$(printf '%s' "$link" | od -An -tx1 -v | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
    for name in "Tahoma" "Segoe UI" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" \
        "Arial"; do
        printf '"%s"=hex(7):%s,00,00\n' "$name" "$hex"
    done
} >"$reg"
wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1
wineserver -w
touch "$prefix/.vistrel-desktop-ready"
