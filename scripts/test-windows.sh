#!/usr/bin/env bash
# Cross-builds the program and its tests for 64-bit Windows into build-win (warnings are errors)
# and runs the tests under Wine through CTest, in a throwaway Wine prefix.
#   scripts/test-windows.sh [HOST_TOOLS_DIR]
# HOST_TOOLS_DIR is the Linux build's bin folder, whose K7 simulator the Windows serial tests
# drive (default: build-test/bin, which scripts/test.sh builds first).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-win
host_tools=$(realpath -m "${1:-$root/build-test/bin}")
host_python=/usr/bin/python3

# The cross compilers, and Wine: wine64 runs the tests, the small wine package puts `wine` on PATH;
# wixl writes the installer, osslsigncode signs (the signing test), openssl makes its certificate.
# libxfixes3 lets the window tests read the pointer off the display.
# msitools' msiinfo reads the installer's summary; locales makes the French locale that a window
# test runs the program in (Wine takes the language of its system texts from it).
"$root/scripts/install-packages.sh" mingw-w64 wine64 wine wixl msitools osslsigncode openssl \
    libxfixes3 locales
if ! locale -a 2>/dev/null | grep -qix 'fr_FR\.utf-\?8'; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" sed -i 's/^# *\(fr_FR\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -qx 'fr_FR.UTF-8 UTF-8' /etc/locale.gen ||
        echo 'fr_FR.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    "${sudo_cmd[@]}" locale-gen >/dev/null
fi
[ -x "$host_tools/k7sim" ] ||
    echo "warning: no K7 simulator in $host_tools; build the Linux side first (scripts/test.sh)" >&2

# A fresh prefix for this run only, removed with its wineserver whatever happens.
export WINEPREFIX
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/vigie-wine.XXXXXX")
export WINEDEBUG=-all
# No Mono or Gecko installer prompts: the tests need neither .NET nor the HTML engine; no menu
# entries of the host's desktop for Windows shortcuts.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
cleanup() {
    wineserver --kill >/dev/null 2>&1 || true
    wineserver --wait >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

SECONDS=0
# One Wine server for the whole run, started before anything else in the prefix. Left to itself
# the server ends as soon as no Windows program runs, which happens between two tests; a test
# starting while it shuts down loses its server ("recvmsg: Connection reset by peer"), and one
# starting just after gets a second server whose process numbers repeat the first one's. The
# server's own output (a dump of its objects when it is stopped) is not the tests'.
wineserver --persistent >/dev/null 2>&1
wine wineboot --init >/dev/null 2>&1
prefix_s=$SECONDS

SECONDS=0
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache
    -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" "${launcher[@]}" \
    -DVIGIE_HOST_TOOLS_DIR="$host_tools" -DVIGIE_HOST_PYTHON="$host_python" >/dev/null
cmake --build "$build"
build_s=$SECONDS

SECONDS=0
status=0
(cd "$build" && ctest --output-on-failure --timeout 600 -j2) || status=$?
echo "Windows tests: prefix ${prefix_s} s, build ${build_s} s, tests ${SECONDS} s"
exit "$status"
