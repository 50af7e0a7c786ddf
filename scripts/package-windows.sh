#!/usr/bin/env bash
# Cross-builds the Windows program (Release) and writes dist/vigie-k7-<version>-win64.zip: the
# program, its two documents and a short French README. A user unpacks it anywhere and runs
# vigie-k7.exe; nothing is installed. Installs the Debian packages it needs when they are missing.
#   scripts/package-windows.sh      (prints the zip's path)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-win-package

wanted=(mingw-w64 cmake ninja-build)
missing=()
for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}" >&2
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVIGIE_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" "${launcher[@]}" >/dev/null
cmake --build "$build" --target vigie_zip >&2

mkdir -p "$root/dist"
zip=$(ls "$build"/dist/vigie-k7-*-win64.zip)
cp "$zip" "$root/dist/"
echo "$root/dist/$(basename "$zip")"
