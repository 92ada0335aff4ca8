#!/usr/bin/env bash
# Makes the Windows folder to hand out from a build of the `windows` preset, and checks it: every
# DLL that a program or library in it imports is in the folder or is one of the system's (those
# that Wine, standing in for the system, has; the api-ms-win-* sets are the system's too).
#   scripts/windows_folder.sh [BUILD_DIR] FOLDER   (BUILD_DIR: build-windows-app)
#   scripts/windows_folder.sh --check FOLDER       (checks a folder made before)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
usage() {
    echo "usage: $0 [BUILD_DIR] FOLDER | --check FOLDER" >&2
    exit 2
}
check_only=false
build="$here/../build-windows-app"
if [ "${1:-}" = "--check" ]; then
    [ $# -eq 2 ] || usage
    check_only=true
    folder=$2
elif [ $# -eq 1 ]; then
    folder=$1
elif [ $# -eq 2 ]; then
    build=$1
    folder=$2
else
    usage
fi

if ! $check_only; then
    rm -rf "$folder"
    cmake --install "$build" --prefix "$folder" >/dev/null
fi

objdump=x86_64-w64-mingw32-objdump
system_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
[ -x "$(command -v $objdump)" ] || { echo "no $objdump" >&2; exit 2; }
[ -d "$system_dlls" ] || { echo "no Wine DLLs in $system_dlls to compare with" >&2; exit 2; }

[ -f "$folder/vistrel.exe" ] || { echo "FAIL: no vistrel.exe in $folder" >&2; exit 1; }
[ -f "$folder/platforms/qwindows.dll" ] || { echo "FAIL: no platforms/qwindows.dll" >&2; exit 1; }
# A GUI-subsystem program: no console window opens with it.
if ! $objdump -p "$folder/vistrel.exe" | grep -q "^Subsystem.*(Windows GUI)"; then
    echo "FAIL: vistrel.exe is not a program of the GUI subsystem" >&2
    exit 1
fi

status=0
# Every DLL import of every file, matched without regard to case as the system matches names.
while IFS= read -r -d '' file; do
    dir=$(dirname "$file")
    while IFS= read -r dll; do
        case "${dll,,}" in
        api-ms-win-* | ext-ms-*) continue ;;
        esac
        if [ -n "$(find "$folder" -maxdepth 1 -iname "$dll" -print -quit)" ] ||
            [ -n "$(find "$dir" -maxdepth 1 -iname "$dll" -print -quit)" ] ||
            [ -n "$(find "$system_dlls" -maxdepth 1 -iname "$dll" -print -quit)" ]; then
            continue
        fi
        echo "FAIL: ${file#"$folder"/} needs $dll, which is neither in the folder nor the system's" >&2
        status=1
    done < <($objdump -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
done < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
[ $status -eq 0 ] && echo "$folder: vistrel.exe and everything it loads is there"
exit $status
