#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test;
# then the same under AddressSanitizer and UndefinedBehaviorSanitizer, a brief
# fuzz run, and last the Windows program, cross-built and tested under Wine.
#
#   ./test.sh [--no-windows]    # --no-windows: skip the Windows part (local use)
set -euo pipefail
cd "$(dirname "$0")"

windows=1
for argument in "$@"; do
  case "$argument" in
    --no-windows) windows=0 ;;
    *) echo "usage: ./test.sh [--no-windows]" >&2; exit 2 ;;
  esac
done
minutes() { printf '%d min %02d s' $((SECONDS / 60)) $((SECONDS % 60)); }

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
echo "== Linux part passed after $(minutes)"

if [[ $windows -eq 1 ]]; then
  SECONDS=0
  ./scripts/build-windows.sh --test
  echo "== Windows and Linux programs, output against output"
  tests/windows/cross_check.sh build/bin/tolvane-cli build-win32/bin/tolvane-cli.exe
  echo "== The zip, unpacked into a fresh Wine prefix"
  tests/windows/zip_check.sh build-win32/Tolvane-*-win32.zip build/bin/tolvane-cli \
    build-win32/bin/win32_window_tests.exe
  echo "== Windows part passed after $(minutes)"
fi
