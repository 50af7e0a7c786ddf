#!/usr/bin/env bash
# Cross-builds the Windows program (Release) and writes, in dist/, what a Windows user downloads:
#   vigie-k7-<version>-win64.msi   the installer (per user, no administrator's rights needed)
#   vigie-k7-<version>-win64.zip   the program, its two documents and a short French README, for
#                                  those who cannot install anything
# With VIGIE_SIGN_PKCS12 (a certificate file, PKCS#12) and VIGIE_SIGN_PASSWORD set, the program
# and the installer are signed with osslsigncode. Installs the Debian packages it needs when they
# are missing.
#   scripts/package-windows.sh      (prints the paths of the two files)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-win-package

"$root/scripts/install-packages.sh" mingw-w64 cmake ninja-build wixl osslsigncode

if [ -n "${VIGIE_SIGN_PKCS12:-}" ]; then
    [ -r "$VIGIE_SIGN_PKCS12" ] || { echo "cannot read $VIGIE_SIGN_PKCS12" >&2; exit 1; }
    echo "Signing vigie-k7.exe and the installer with $VIGIE_SIGN_PKCS12." >&2
else
    echo "Not signing: VIGIE_SIGN_PKCS12 and VIGIE_SIGN_PASSWORD name no certificate." >&2
fi

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVIGIE_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" "${launcher[@]}" >/dev/null
# The packages are made again whatever the build kept, so that a signature follows the
# environment of this run.
rm -f "$build"/dist/vigie-k7-*-win64.*
cmake --build "$build" --target vigie_packages >&2

mkdir -p "$root/dist"
for file in "$build"/dist/vigie-k7-*-win64.msi "$build"/dist/vigie-k7-*-win64.zip; do
    cp "$file" "$root/dist/"
    echo "$root/dist/$(basename "$file")"
done
