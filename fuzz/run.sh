#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each for a bounded time,
# starting from the seeds in fuzz/corpus/<target>/. Exits non-zero on any finding and
# keeps the input that caused it in fuzz/findings/.
#
#   TERVANE_FUZZ_SECONDS   seconds per target (default 30)
#   TERVANE_FUZZ_TARGETS   targets to run (default: all of them)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${TERVANE_FUZZ_SECONDS:-30}
targets=${TERVANE_FUZZ_TARGETS:-"leading_value dms_angle kml_number mark_document region_catalogue"}
build=build-fuzz
findings=fuzz/findings

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTERVANE_BUILD_FUZZ=ON -DTERVANE_BUILD_GUI=OFF -DTERVANE_BUILD_TESTS=OFF -DTERVANE_WERROR=ON >/dev/null
build_targets=()
for t in $targets; do build_targets+=("fuzz_$t"); done
cmake --build "$build" --parallel "$(nproc)" --target "${build_targets[@]}"

mkdir -p "$findings"
status=0
for t in $targets; do
  # New inputs go to the first folder, under build-fuzz/; the committed seeds stay as they are.
  work="$build/corpus/$t"
  mkdir -p "$work"
  log="$build/$t.log"
  echo "== fuzz $t for ${seconds}s"
  if "$build/bin/fuzz_$t" "$work" "fuzz/corpus/$t" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/$t-" >"$log" 2>&1; then
    grep -E "^(#[0-9]+.*DONE|stat::number_of_executed_units)" "$log" | tail -n 1 || true
  else
    status=1
    tail -n 40 "$log"
    cat <<MSG
** fuzz $t found a fault; the input is in $findings/ (log: $log). Reproduce it with
     $build/bin/fuzz_$t $findings/$t-<file>
   and shrink it with -minimize_crash=1 -runs=10000 added. Then mend the fault and pin it
   in tests/core/ (the test file of the module at fault): paste the bytes into a test case
   (xxd -i helps with binary ones), say what the case pins, and check it fails before the fix.
MSG
  fi
done
exit $status
