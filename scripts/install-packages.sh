#!/usr/bin/env bash
# Installs those of the named Debian packages that are missing (apt-get, as root or through sudo);
# does nothing when all are there.
#   scripts/install-packages.sh PACKAGE...
set -euo pipefail
missing=()
for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
((${#missing[@]})) || exit 0
echo "Installing: ${missing[*]}" >&2
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
# Another install on the machine holds dpkg's lock for a while: wait for it rather than fail.
wait_lock=(-o DPkg::Lock::Timeout=600)
"${sudo_cmd[@]}" apt-get "${wait_lock[@]}" update -qq >&2
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get "${wait_lock[@]}" install -y -qq \
    --no-install-recommends "${missing[@]}" >/dev/null
