#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UBSan, and runs all tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-test
"$root/scripts/setup.sh" "$build" -DVIGIE_SANITIZE=ON
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build"
ctest --output-on-failure --timeout 600 -j2
