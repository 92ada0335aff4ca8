# Shared by the whole-program tests of the Windows build; sourced after e2e_lib.sh, on a private
# X desktop (run_with_desktop.sh). The Windows programs run under Wine in a prefix of the build
# folder's own, made once (wine_prefix.sh) with a CJK font linked for the Japanese texts; the
# probe (win_probe.exe) reads back what xdotool cannot see.

# wine_use PREFIX PROBE_EXE [DLL_DIR...]: the prefix to run in, made first if it is not there
# yet; the probe; the Linux folders where the programs' DLLs are (Qt's, the compiler's
# run-time). Sets what every Wine process of the test shares.
wine_use() {
    export WINEPREFIX=$1 WINEARCH=win64 WINEDEBUG=-all
    # No Mono or Gecko installer dialog; no debugger: a program that crashes ends.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    # Wine reads the command line and file names in the locale's encoding: UTF-8, so that
    # Japanese arguments arrive as they were written.
    export LC_ALL=C.UTF-8
    probe_exe=$2
    shift 2
    local path="" dir
    for dir in "$@"; do
        path+="${path:+;}Z:${dir//\//\\}"
    done
    export WINEPATH="$path"
    bash "$(dirname "${BASH_SOURCE[0]}")/wine_prefix.sh" "$WINEPREFIX" || fail "no Wine prefix"
    # Each test has its own desktop, so it has its own Wine server: Wine's clipboard and its
    # desktop window belong to the display of the server's first program.
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
}

# wine_end: ends every Windows process of the prefix (the library's cleanup calls it).
wine_end() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
}

# probe ARGUMENT...: runs win_probe.exe (see tests/tools/win_probe.cpp); its output, UTF-8.
probe() { wine "$probe_exe" "$@" 2>/dev/null; }

# probe_field LINE N: field N (1-based) of a window line of the probe: 1 hwnd, 2 pid,
# 3 visible, 4 topmost, 5 rectangle, 6 client area (x,y,w,h), 7 owner, 8 title.
probe_field() { cut -f "$2" <<<"$1"; }

# wine_proxy PORT: WinINet's proxy for the prefix, as Internet Options sets it. Loopback goes
# through it too: the stand-in serves every host from 127.0.0.1.
wine_proxy() {
    local key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
    wine reg add "$key" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null 2>&1 &&
        wine reg add "$key" /v ProxyServer /t REG_SZ /d "127.0.0.1:$1" /f >/dev/null 2>&1 &&
        wine reg add "$key" /v ProxyOverride /t REG_SZ /d "" /f >/dev/null 2>&1
}

# client_origin LINE: client_x and client_y from a probe line (the client area on the screen,
# which is the X screen's coordinates under Wine).
client_origin() {
    local area
    area=$(probe_field "$1" 6)
    IFS=, read -r client_x client_y client_w client_h <<<"$area"
}

# windows_titled TITLE EXE: how many visible top-level windows of the program have that title.
windows_titled() {
    probe windows --exe "$2" --title "$1" | awk -F'\t' '$3 == 1' | wc -l
}
