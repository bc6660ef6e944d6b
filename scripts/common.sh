# Shared by scripts/run and scripts/test: installs what the build needs from
# Debian's packages (only what is missing) and configures a build folder.
set -euo pipefail

OSTREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Build tools, Qt 6, the test and benchmark frameworks, the USB and HID
# libraries the program binds at run time and the headers it and its simulator
# are built against, libjpeg for the socket pictures, the tools our codec tests
# and benchmarks compare with, avrdude whose part database the AVR records are
# checked against, clang with libFuzzer for the fuzz programs, Qt's own
# Chinese words for its standard buttons and file dialogs, what the
# screenshots need, and what builds and checks the Debian package (icons
# rendered from SVG, lintian, the desktop entry and AppStream validators,
# strace for the installed-program test, debootstrap for trying the package in
# a fresh system), /usr/bin/time for the memory bound of ostrel-cli, the
# production database's client libraries with the
# PostgreSQL server the tests start for themselves, and the Windows build:
# mingw-w64 with zlib, GoogleTest's sources, and Wine to run its tests;
# the line server's HTTP and JSON libraries and the chart script its board
# serves, with Chromium driven headless to test that board).
OSTREL_PACKAGES=(
    build-essential cmake ninja-build pkg-config ccache clang-format
    qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libusb-0.1-4 libusb-dev libjpeg62-turbo-dev libudev-dev
    libhidapi-hidraw0 libhidapi-dev
    zlib1g-dev libssl-dev
    binutils srecord avrdude flashrom
    clang-14 libclang-rt-14-dev
    xvfb xauth fonts-noto-cjk qt6-qpa-plugins qt6-translations-l10n imagemagick
    dpkg-dev fakeroot lintian desktop-file-utils appstream librsvg2-bin file strace debootstrap
    bash-completion  # its pkg-config file says where ostrel-cli's completion goes
    time
    libsqlite3-dev libpq-dev postgresql-15
    libcpp-httplib-dev nlohmann-json3-dev libjs-chart.js  # the line server and its board
    chromium chromium-driver python3-selenium  # the board's test in a headless browser
    g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest wine64
)

ensure_packages() {
    local missing=()
    for p in "${OSTREL_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo=sudo
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# configure_build DIR [cmake options...]
configure_build() {
    local dir=$1
    shift
    cmake -S "$OSTREL_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
}

build_jobs() { nproc 2>/dev/null || echo 2; }
