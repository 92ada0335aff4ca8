#!/usr/bin/env bash
# Builds what the Windows build needs and Debian does not ship: Qt and googletest for
# MinGW-w64, from Debian's own sources, into a cache outside the source tree. A later run with
# the same Qt version, stage and options only checks the stamps.
#
#   scripts/windows_toolchain.sh [core|widgets]
#
# core (the default): QtCore, what vistrel_core and its tests link.
# widgets: also QtGui, QtWidgets and the Windows platform plugin, for the whole program.
# The cache is $VISTREL_MINGW_CACHE, by default ~/.cache/vistrel-mingw; the build files in
# cmake/windows-cross.cmake find it the same way.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

stage="${1:-core}"
cache="${VISTREL_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vistrel-mingw}"
jobs="${VISTREL_MINGW_JOBS:-2}"
toolchain="$VISTREL_ROOT/cmake/mingw-w64.cmake"

vistrel_install "${VISTREL_WINDOWS_PACKAGES[@]}"
mkdir -p "$cache"

# Qt features this program never uses stay off: they are most of Qt's build time. The widgets
# stage keeps what the dialogs draw with and nothing for OpenGL, printing or databases.
qt_options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_xml=OFF -DFEATURE_testlib=OFF
    -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF -DFEATURE_icu=OFF
    -DFEATURE_opengl=OFF -DFEATURE_glib=OFF -DFEATURE_zstd=OFF -DFEATURE_system_zlib=OFF
    -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF
)
case "$stage" in
    core) qt_options+=(-DFEATURE_gui=OFF -DFEATURE_widgets=OFF) ;;
    widgets)
        # With OpenGL off, the Windows plugin still asks the dynamic OpenGL loader whether it is
        # a software one (qwindowswindow.cpp); without that loader it answers no by itself.
        qt_options+=(-DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_vulkan=OFF -DFEATURE_dynamicgl=OFF
                     -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF
                     -DFEATURE_system_harfbuzz=OFF -DFEATURE_sql=OFF)
        ;;
    *) echo "windows_toolchain: unknown stage '$stage' (core or widgets)" >&2; exit 2 ;;
esac

# What patch_qt_source changes in Qt's source (below), part of the stamp.
qt_source_patch="wintab-optional-1"
# The Qt version must be the host tools' (moc, rcc come from Debian's qt6-base-dev-tools).
qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
compiler_version=$(x86_64-w64-mingw32-g++-posix -dumpversion)
key=$(printf '%s\n' "$qt_version" "$compiler_version" "$stage" "${qt_options[@]}" "$qt_source_patch" \
      "$(cat "$toolchain")" | sha256sum | cut -c1-16)
qt_prefix="$cache/qt6"
qt_stamp="$cache/qt6.stamp"

# Options of apt-get for the private source list, made on first use.
apt_source_opts=()
private_apt_sources() {
    local src="$cache/src"
    apt_source_opts=(-o "Dir::Etc::sourcelist=$src/sources.list" -o Dir::Etc::sourceparts=-
                     -o "Dir::State::Lists=$src/lists" -o "Dir::Cache::archives=$src/archives"
                     -o APT::Get::List-Cleanup=0)
    if [ -f "$src/lists.updated" ]; then
        return 0
    fi
    mkdir -p "$src/lists/partial" "$src/archives/partial"
    # A private list with a deb-src line for the system's own mirror: the system's apt
    # configuration stays as it is.
    local mirror
    mirror=$(grep -hoE '^(URIs:|deb) +https?://[^ ]+' /etc/apt/sources.list /etc/apt/sources.list.d/*.sources \
             /etc/apt/sources.list.d/*.list 2>/dev/null | grep -v security | head -n1 | awk '{print $NF}' || true)
    mirror="${mirror:-http://deb.debian.org/debian}"
    local codename
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $codename main" \
        > "$src/sources.list"
    apt-get "${apt_source_opts[@]}" update -qq
    touch "$src/lists.updated"
}

fetch_qt_source() {
    local src="$cache/src"
    if [ -f "$src/$qt_version.unpacked" ]; then
        return 0
    fi
    private_apt_sources
    rm -rf "$src"/qt6-base*
    # The host tools' version; if the mirror has moved on, its current one of the same release.
    (cd "$src" && { apt-get "${apt_source_opts[@]}" source -qq "qt6-base=$qt_version" ||
                    apt-get "${apt_source_opts[@]}" source -qq qt6-base; })
    local dir
    dir=$(find "$src" -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)
    [ -n "$dir" ] || { echo "windows_toolchain: no qt6-base source unpacked" >&2; exit 1; }
    ln -sfn "$dir" "$src/qtbase"
    touch "$src/$qt_version.unpacked"
}

# Debian's source leaves out the tablet library's header (src/3rdparty/wintab), which only the
# Windows plugin's tablet support includes: without it the plugin builds without that support
# (pens still work through the system's pointer messages). Applied once to the unpacked source.
patch_qt_source() {
    local dir="$cache/src/qtbase/src/plugins/platforms/windows"
    if [ -f "$cache/src/qtbase/src/3rdparty/wintab/wintab.h" ] ||
       grep -q QT_WINDOWS_HAVE_WINTAB "$dir/qwindowscontext.cpp"; then
        return 0
    fi
    sed -i 's/^#if QT_CONFIG(tabletevent)$/#if QT_CONFIG(tabletevent) \&\& defined(QT_WINDOWS_HAVE_WINTAB)/' \
        "$dir/qwindowscontext.cpp"
    sed -i '/#  include "qwindowstabletsupport.h"/d' "$dir/qwindowspointerhandler.cpp"
    # The Direct2D plugin builds the same files.
    sed -i 's|CONDITION QT_FEATURE_tabletevent$|CONDITION QT_FEATURE_tabletevent AND EXISTS ${QtBase_SOURCE_DIR}/src/3rdparty/wintab/wintab.h\n    DEFINES QT_WINDOWS_HAVE_WINTAB|' \
        "$dir/CMakeLists.txt" "$dir/../direct2d/CMakeLists.txt"
}

build_qt() {
    if [ -f "$qt_stamp" ] && [ "$(cat "$qt_stamp")" = "$key" ]; then
        echo "windows_toolchain: Qt for MinGW ($stage) is in $qt_prefix"
        return 0
    fi
    fetch_qt_source
    patch_qt_source
    local build="$cache/qt6-build"
    rm -rf "$build" "$qt_prefix" "$qt_stamp"
    local start=$SECONDS
    cmake -S "$cache/src/qtbase" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$qt_prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        "${qt_options[@]}"
    nice -n 10 cmake --build "$build" -j "$jobs"
    cmake --install "$build"
    rm -rf "$build"
    echo "$key" > "$qt_stamp"
    echo "windows_toolchain: Qt for MinGW ($stage) built in $((SECONDS - start)) s"
}

build_gtest() {
    local prefix="$cache/gtest" stamp="$cache/gtest.stamp"
    local gkey
    gkey=$(printf '%s\n' "$(dpkg-query -W -f='${Version}' googletest)" "$compiler_version" \
           "$(cat "$toolchain")" | sha256sum | cut -c1-16)
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$gkey" ]; then
        echo "windows_toolchain: googletest for MinGW is in $prefix"
        return 0
    fi
    local build="$cache/gtest-build"
    rm -rf "$build" "$prefix" "$stamp"
    cmake -S /usr/src/googletest -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -Dgtest_disable_pthreads=OFF
    nice -n 10 cmake --build "$build" -j "$jobs"
    cmake --install "$build"
    rm -rf "$build"
    echo "$gkey" > "$stamp"
}

# cpp-httplib for the tests' loopback server: Debian's source has the header-only form.
fetch_httplib() {
    local prefix="$cache/httplib" src="$cache/src"
    local version
    version=$(dpkg-query -W -f='${Version}' libcpp-httplib-dev 2>/dev/null || echo any)
    if [ -f "$cache/httplib.stamp" ] && [ "$(cat "$cache/httplib.stamp")" = "$version" ]; then
        echo "windows_toolchain: cpp-httplib for MinGW is in $prefix"
        return 0
    fi
    private_apt_sources
    rm -rf "$src"/cpp-httplib* "$prefix"
    (cd "$src" && { apt-get "${apt_source_opts[@]}" source -qq "cpp-httplib=${version}" ||
                    apt-get "${apt_source_opts[@]}" source -qq cpp-httplib; })
    local dir
    dir=$(find "$src" -maxdepth 1 -type d -name 'cpp-httplib-*' | head -n1)
    [ -f "$dir/httplib.h" ] || { echo "windows_toolchain: no httplib.h in cpp-httplib's source" >&2; exit 1; }
    mkdir -p "$prefix/include"
    cp "$dir/httplib.h" "$prefix/include/"
    echo "$version" > "$cache/httplib.stamp"
}

build_gtest
fetch_httplib
# The system web view's library for the Windows player module, from npm.
bash "$VISTREL_ROOT/scripts/webview_package.sh"
build_qt
