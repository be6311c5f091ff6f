#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test;
# then the same under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
jobs=$(nproc)

echo "== Release build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTOLVANE_WERROR=ON
cmake --build build -j "$jobs"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")

echo "== AddressSanitizer and UndefinedBehaviorSanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVANE_WERROR=ON \
  -DTOLVANE_SANITIZE=ON -DTOLVANE_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
(cd build-asan && QT_QPA_PLATFORM=offscreen \
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j "$jobs")

echo "== Fuzzing, a few seconds a target"
./fuzz/run.sh 5
