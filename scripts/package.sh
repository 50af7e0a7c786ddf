#!/usr/bin/env bash
# Builds the Debian package (without sanitizers, in build-package/), checks it with lintian and
# prints its path. Installs what is missing first, like scripts/setup.sh.
#   scripts/package.sh [extra cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-package

"$root/scripts/setup.sh" "$build" -DVIGIE_TESTS=OFF -DVIGIE_SANITIZE=OFF "$@" >&2

# lintian is only needed here, not to build or test the program.
if ! dpkg-query -W -f='${Status}' lintian 2>/dev/null | grep -q 'install ok installed'; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    echo "Installing: lintian" >&2
    "${sudo_cmd[@]}" apt-get update -qq >&2
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        lintian >/dev/null
fi

rm -f "$build"/vigie-k7_*.deb
(cd "$build" && cpack -G DEB >&2)
deb=$(ls "$build"/vigie-k7_*.deb)
lintian --fail-on error --no-tag-display-limit "$deb" >&2
echo "$deb"
