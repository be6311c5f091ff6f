#!/usr/bin/env bash
# Checks the zip a Windows user gets: unpacked into a folder of its own and
# started in a fresh Wine prefix, its Tolvane.exe opens the window, converts a
# dropped picture that needs reducing, and writes the same bytes as the Linux
# build does from the same file.
#
#   tests/windows/zip_check.sh ZIP LINUX_CLI WINDOW_TESTS_EXE
#
# The drop comes from the window tests' program and its hook
# (tests/app_win32), set beside the unpacked Tolvane.exe: the program under
# test is the zip's own.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
zip=$(realpath "$1")
linux_cli=$(realpath "$2")
window_tests=$(realpath "$3")

work=$(mktemp -d)
export WINEPREFIX=$work/prefix
cleanup() {
  "$root/scripts/wine-run.sh" --stop-server >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/unpacked" "$work/linux"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
folder=$(find "$work/unpacked" -mindepth 1 -maxdepth 1 -type d)
[[ -f "$folder/Tolvane.exe" && -f "$folder/tolvane-cli.exe" ]] ||
  { echo "zip-check: the zip holds no Tolvane.exe and tolvane-cli.exe" >&2; exit 1; }
cp "$window_tests" "$(dirname "$window_tests")/tolvane_test_hook.dll" "$folder/"

# A picture that is reduced: a random bitmap made into a PNG by the Linux
# program, so the drop exercises the PNG reader, the reduction and the writer.
. "$root/tests/windows/random_bitmap.sh"
random_bitmap 2400 1100 >"$work/linux/picture.bmp"
"$linux_cli" raster "$work/linux/picture.bmp" "$work/linux/picture.png" >/dev/null
mkdir -p "$work/dropped"
cp "$work/linux/picture.png" "$work/dropped/"
"$linux_cli" convert "$work/linux/picture.png" >/dev/null

echo "== zip-check: a fresh Wine prefix"
"$root/scripts/wine-run.sh" --prepare
"$root/scripts/wine-run.sh" --start-server
TOLVANE_DROP_FILE="Z:${work//\//\\}\\dropped\\picture.png" \
  "$root/tests/app_win32/run_on_own_display.sh" "$folder/$(basename "$window_tests")" \
  --gtest_filter=Win32Window.ConvertsTheFileNamedByTolvaneDropFile

if ! cmp "$work/linux/picture_2048.png" "$work/dropped/picture_2048.png"; then
  echo "zip-check: the unpacked program's output differs from the Linux build's" >&2
  exit 1
fi
echo "zip-check: the unpacked Tolvane.exe converted a drop, byte for byte as on Linux"
