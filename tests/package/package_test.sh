#!/usr/bin/env bash
# Builds the Debian package from a build tree, unpacks it into a temporary root (no system
# install), checks what a desktop needs of it, then starts the unpacked program through its
# command on PATH and walks through its windows with the preloaded window probe.
#   package_test.sh BUILD_DIR WINDOW_PROBE
set -euo pipefail
build=$1
probe=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log" >&2; exit 1; }
debs=("$tmp"/out/vigie-k7_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: no single package in $tmp/out" >&2; exit 1; }
deb=${debs[0]}

# The control fields: dependencies found from the libraries, the version of the build.
version=$(grep -m1 '^CMAKE_PROJECT_VERSION:' "$build/CMakeCache.txt" | cut -d= -f2)
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6serialport6 libcurl4; do
    [[ $depends == *"$lib "* ]] || fail "Depends lacks $lib: $depends"
done
dpkg-deb -f "$deb" Description | grep -q 'usermod -aG dialout' || fail "the description lacks the dialout note"

root=$tmp/root
dpkg-deb -x "$deb" "$root"
for f in usr/lib/vigie-k7/vigie-k7 usr/lib/vigie-k7/UserGuide.rtf usr/lib/vigie-k7/M4Start.rtf \
         usr/share/doc/vigie-k7/copyright usr/share/doc/vigie-k7/changelog.gz \
         usr/share/man/man1/vigie-k7.1.gz; do
    [ -f "$root/$f" ] || fail "missing /$f"
done
# The command on PATH must lead to the real program folder, wherever the tree is unpacked.
[ "$(readlink -f "$root/usr/bin/vigie-k7")" = "$root/usr/lib/vigie-k7/vigie-k7" ] ||
    fail "/usr/bin/vigie-k7 does not lead to /usr/lib/vigie-k7/vigie-k7"

desktop=("$root"/usr/share/applications/*.desktop)
desktop-file-validate "${desktop[@]}" || fail "desktop entry rejected"
grep -qx 'Exec=vigie-k7' "${desktop[@]}" || fail "the desktop entry does not run vigie-k7"
grep -q '^Name\[fr\]=' "${desktop[@]}" || fail "the desktop entry has no French name"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >"$tmp/appstream.log" 2>&1 ||
    { cat "$tmp/appstream.log" >&2; fail "AppStream metadata rejected"; }
icon=$(sed -n 's/^Icon=//p' "${desktop[@]}")
for size in 16 22 24 32 48 64 128 256; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png
    file -b "$png" 2>/dev/null | grep -q "PNG image data, $size x $size," || fail "no ${size}x$size icon $icon"
done

# The program itself, from the unpacked tree. The probe is loaded before the sanitizer runtime.
mkdir -p "$tmp/config"
status=0
XDG_CONFIG_HOME=$tmp/config XDG_STATE_HOME=$tmp/state QT_QPA_PLATFORM=offscreen LD_PRELOAD=$probe \
    ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 \
    timeout 60 "$root/usr/bin/vigie-k7" >"$tmp/probe.log" 2>"$tmp/stderr.log" || status=$?
cat "$tmp/probe.log"
[ $status -eq 0 ] || { cat "$tmp/stderr.log" >&2; fail "the program ended with status $status"; }
expect() {
    grep -qF -- "$1" "$tmp/probe.log" || fail "the probe did not see: $1"
}
expect "program folder: $root/usr/lib/vigie-k7"
expect "start title: VIGIE K7 Téléchargement - Instructions"
expect "start text: Mise à jour de votre VIGIE K7"
expect "main title: VIGIE K7 Téléchargement (v$version)"
expect "help title: Help - User Guide"
expect "help text: Guide d'utilisation"
! grep -q 'Could Not Be Found' "$tmp/probe.log" || fail "a document was not found"
# Exit ran the shut-down, which keeps the settings.
[ -f "$tmp/config/vigie-k7/HD.ini" ] || fail "no settings written at exit"

[ $failures -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "package test passed: $(basename "$deb")"
