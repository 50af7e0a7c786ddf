#!/usr/bin/env bash
# Builds the Debian package (without sanitizers, in build-package/), checks it with lintian and
# prints its path. Installs what is missing first, like scripts/setup.sh.
#   scripts/package.sh [extra cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-package

# dpkg-dev gives the build flags below; lintian is only needed here, not to build or test.
"$root/scripts/install-packages.sh" dpkg-dev lintian

# Debian's hardening flags, as its own packages are built with.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
"$root/scripts/setup.sh" "$build" -DVIGIE_TESTS=OFF -DVIGIE_SANITIZE=OFF \
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" "$@" >&2

rm -f "$build"/vigie-k7_*.deb
(cd "$build" && cpack -G DEB >&2)
deb=$(ls "$build"/vigie-k7_*.deb)
lintian --fail-on error --tag-display-limit 0 "$deb" >&2
echo "$deb"
