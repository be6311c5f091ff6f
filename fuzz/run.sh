#!/usr/bin/env bash
# fuzz/run.sh SECONDS: builds the libFuzzer targets with clang under ASan and
# UBSan, seeds them from the peer suites and from small generated files, and
# runs each for SECONDS. Fails on any crash, leak, sanitizer report, timeout
# or running out of memory. TOLVANE_FUZZ_JOBS=2 runs two targets at a time.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=build-fuzz
testdata=${TOLVANE_TESTDATA_DIR:-$(pwd)/../shared/testdata}

./scripts/install-deps.sh clang libfuzzer-14-dev libclang-rt-14-dev

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTOLVANE_FUZZ=ON -DTOLVANE_WERROR=ON -DTOLVANE_BUILD_APP=OFF -DTOLVANE_BUILD_TESTS=OFF \
  -DTOLVANE_BUILD_BENCH=OFF >/dev/null
if ! nice cmake --build "$build" -j "$(nproc)" >"$build/build.log" 2>&1; then
  tail -n 40 "$build/build.log"
  exit 1
fi

# Seeds: the peer suites by extension, and the generated files. They live in
# the build folder, never in the repository.
seeds="$build/seeds"
rm -rf "$seeds"
mkdir -p "$seeds"/{bmp,png,jpeg,tiff,convert}
"$build/bin/make_seeds" "$seeds"
copy_seeds() {  # extension-pattern target
  local pattern=$1 target=$2
  if [[ -d "$testdata" ]]; then
    find "$testdata" -type f -iregex ".*\.\($pattern\)" -size -1024k -exec cp -t "$seeds/$target" {} + 2>/dev/null || true
  fi
}
copy_seeds 'bmp\|dib' bmp
copy_seeds 'png' png
copy_seeds 'jpg\|jpeg' jpeg
copy_seeds 'tif\|tiff' tiff
# The whole conversion takes one byte for the format (its place in the format table) before the file.
"$build/bin/make_seeds" --convert "$seeds"

# One target: its corpus persists in the build folder, so a later run goes on
# from what an earlier one found.
run_target() {  # target
  local target=$1 corpus="$build/corpus/$1" log="$build/fuzz_$1.log"
  mkdir -p "$corpus"
  if ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
     UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
     nice "$build/bin/fuzz_$target" "$corpus" "$seeds/$target" \
       -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=1048576 \
       -print_final_stats=1 -artifact_prefix="$build/fuzz_$target-" >"$log" 2>&1; then
    local done_line units
    done_line=$(grep -E '^#[0-9]+.*DONE' "$log" | tail -n 1)
    units=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
    echo "fuzz_$target: $units runs in $seconds s; ${done_line#*DONE   }; corpus $(ls "$corpus" | wc -l) files"
  else
    echo "fuzz_$target FAILED; see $log"
    tail -n 40 "$log"
    return 1
  fi
}

# TOLVANE_FUZZ_JOBS targets run side by side (default 1).
jobs=${TOLVANE_FUZZ_JOBS:-1}
status=0
pids=()
for target in bmp png jpeg tiff convert; do
  echo "== fuzz_$target for $seconds s"
  run_target "$target" &
  pids+=($!)
  if (( ${#pids[@]} >= jobs )); then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit $status
