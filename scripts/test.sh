#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UBSan, and runs all tests;
# then cross-builds for Windows and runs the Windows tests under Wine (scripts/test-windows.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-test
"$root/scripts/setup.sh" "$build" -DVIGIE_SANITIZE=ON
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
(cd "$build" && ctest --output-on-failure --timeout 600 -j2) || status=$?
# The Windows tests drive the Linux build's K7 simulator.
"$root/scripts/test-windows.sh" "$build/bin" || status=$?
exit "$status"
