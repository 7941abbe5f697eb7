#!/usr/bin/env bash
# Second command of the Quick start: set up, then build and run every test twice, once
# in a normal build and once with AddressSanitizer and UndefinedBehaviorSanitizer.
# Warnings are errors here.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
status=0

echo "== normal build"
bash scripts/build.sh build-test -DTERVANE_WERROR=ON
ctest --test-dir build-test --output-on-failure --timeout 300 -j "$(nproc)" || status=1

echo "== sanitizer build (address, undefined)"
bash scripts/build.sh build-asan -DTERVANE_WERROR=ON -DTERVANE_SANITIZE=address,undefined \
  -DCMAKE_BUILD_TYPE=Debug
# Leaks are reported, except in the tests that run the window's libraries (labels qt and
# install): Qt and fontconfig keep allocations for the life of the process.
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  ctest --test-dir build-asan --output-on-failure --timeout 600 -j "$(nproc)" -LE 'qt|install' || status=1
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
  ctest --test-dir build-asan --output-on-failure --timeout 600 -j "$(nproc)" -L 'qt|install' || status=1

if [ -f fuzz/run.sh ]; then
  echo "== fuzz targets"
  bash fuzz/run.sh || status=1
fi

exit $status
