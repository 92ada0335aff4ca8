# Shared by setup.sh and test.sh: installs missing Debian packages, configures and builds.
# Sourced, not run.

VISTREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What building and running the program needs, and packaging it (CPack reads the shared
# libraries with `file`).
VISTREL_BUILD_PACKAGES=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-webengine-dev qt6-webchannel-dev libqt6webenginecore6-bin qt6-qpa-plugins
    libcurl4-openssl-dev libcpp-httplib-dev libx11-dev libxcb1-dev libatspi2.0-dev at-spi2-core
    qt6-wayland fonts-noto-cjk dbus dbus-x11 ca-certificates file
)
# What the tests need on top: test frameworks, the fuzzing compiler with its libFuzzer and
# sanitizer runtimes (not pulled in by clang without recommends), the format check and the tidy
# target, a private X desktop, a Wayland compositor and a real browser for the capture tests, and
# the desktop's validators, the manual reader and the Debian package tools (dpkg-shlibdeps) for
# the install and package tests.
VISTREL_TEST_PACKAGES=(
    libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-dev clang-format clang-tidy
    xvfb xauth openbox x11-utils xdotool wmctrl chromium weston curl imagemagick
    desktop-file-utils appstream dpkg-dev man-db groff-base
)

# What the Windows build and its tests need (scripts/windows_toolchain.sh): the MinGW-w64
# compilers, Wine to run the tests, the host's Qt tools, the sources of googletest and
# qt6-base (dpkg-dev unpacks the latter). npm, for the system web view's library, is installed by
# scripts/webview_package.sh only where no npm command is there: a Node.js from elsewhere brings
# its own and conflicts with Debian's package.
VISTREL_WINDOWS_PACKAGES=(
    g++-mingw-w64-x86-64-posix wine wine64 qt6-base-dev-tools googletest dpkg-dev xz-utils
    cmake ninja-build
)

vistrel_install() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed'; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        echo "vistrel: all ${#} packages present"
        return 0
    fi
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "vistrel: installing ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# vistrel_build PRESET: configures the build folder of a preset of CMakePresets.json (every
# time, so that an option changed there reaches a folder configured before), then builds it.
# A compiler launcher such as ccache is taken from CMAKE_CXX_COMPILER_LAUNCHER in the environment.
vistrel_build() {
    (cd "$VISTREL_ROOT" && cmake --preset "$1" && cmake --build --preset "$1")
}
