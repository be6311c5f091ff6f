#!/usr/bin/env bash
# Checks that the Windows program converts like the Linux one: every file of
# the peer suites, and a few generated inputs large enough to be reduced, goes
# through `tolvane-cli convert` and `tolvane-cli raster` in both builds, and
# the standard output, standard error, exit status and every file written
# must match byte for byte.
#
# The TIFF reader differs between the two (libtiff on Linux, the system's
# codec on Windows); the files where that shows are listed below with what
# differs. A difference anywhere else fails the check, and so does a listed
# file that no longer differs (the list must stay true).
#
#   tests/windows/cross_check.sh LINUX_CLI WINDOWS_CLI_EXE [TESTDATA]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
linux_cli=$(realpath "$1")
windows_cli=$(realpath "$2")
testdata=${3:-$root/../shared/testdata}

# name (folder_file, as flattened below) -> what differs and why
declare -A known=(
  [tiff_logluv-3c-16b.tiff]="LogLuv is not decoded by the system codec: the read fails"
  [tiff_minisblack-2c-8b-alpha.tiff]="grey with alpha is not decoded by the system codec"
  [tiff_ojpeg_chewey_subsamp21_multi_strip.tiff]="old-style JPEG in TIFF is not decoded by the system codec"
  [tiff_ojpeg_single_strip_no_rowsperstrip.tiff]="old-style JPEG in TIFF is not decoded by the system codec"
  [tiff_ojpeg_zackthecat_subsamp22_single_strip.tiff]="old-style JPEG in TIFF is not decoded by the system codec"
  [tiff_quad-tile.jpg.tiff]="JPEG-compressed tiles are not decoded by the system codec"
  [tiff_webp_lossless_rgba_alpha_fully_opaque.tif]="WebP in TIFF is not decoded by the system codec"
  [tiff_minisblack-1c-16b.tiff]="16-bit big-endian grey: Wine's codec keeps the low byte of each sample"
  [tiff_rgb-3c-16b.tiff]="16-bit big-endian RGB: Wine's codec keeps the low byte of each sample"
  [tiff_32bpp-None.tiff]="unassociated alpha: the system codec premultiplies with its own rounding (25 bytes, by 1)"
)

work=$(mktemp -d)
trap 'rm -rf "$work"; "$root/scripts/wine-run.sh" --stop-server >/dev/null 2>&1 || true' EXIT
mkdir -p "$work/in" "$work/linux" "$work/windows"

# Inputs, flattened into one folder so both programs see the same bare names.
if [[ -d "$testdata" ]]; then
  while IFS= read -r -d '' file; do
    relative=${file#"$testdata"/}
    cp "$file" "$work/in/${relative//\//_}"
  done < <(find "$testdata" -type f \( -iname '*.png' -o -iname '*.jpg' -o -iname '*.jpeg' \
    -o -iname '*.tif' -o -iname '*.tiff' -o -iname '*.bmp' \) -print0)
else
  echo "cross-check: no peer suites at $testdata; only generated inputs are checked"
fi

# A bitmap of 2100 x 1500 random pixels, reduced on both sides, and the same
# picture as a PNG, made by the Linux program's own writer.
. "$root/tests/windows/random_bitmap.sh"
random_bitmap 2100 1500 >"$work/in/generated_2100x1500.bmp"
"$linux_cli" raster "$work/in/generated_2100x1500.bmp" "$work/in/generated_2100x1500.png" >/dev/null

"$root/scripts/wine-run.sh" --start-server

# Runs one side over every input, one process per file and command, so that
# each file's output stands on its own.
run_side() {  # folder program...
  local folder=$1; shift
  cp "$work"/in/* "$folder/"
  (
    cd "$folder"
    for name in $(cd "$work/in" && ls); do
      status=0
      "$@" convert "$name" >"$name.convert.out" 2>"$name.convert.err" || status=$?
      echo "$status" >"$name.convert.status"
      status=0
      "$@" raster "$name" "$name.raster.png" >"$name.raster.out" 2>"$name.raster.err" || status=$?
      echo "$status" >"$name.raster.status"
    done
  )
}
run_side "$work/linux" "$linux_cli"
run_side "$work/windows" "$root/scripts/wine-run.sh" "$windows_cli"

# The rest of the command line's contract: usage, several files in one run
# (one of them failing, one not handled), and the preview at two resolutions.
command_lines=(
  "--help" "--version" "" "frobnicate" "raster generated_2100x1500.bmp"
  "convert -j 2 generated_2100x1500.bmp notes.txt broken.png generated_2100x1500.png"
  "preview generated_2100x1500.bmp box96.png"
  "preview generated_2100x1500.png box144.png --dpi 144"
)
printf 'not an image\n' >"$work/in/notes.txt"
head -c 100 "$work/in/generated_2100x1500.png" >"$work/in/broken.png"
for side in linux windows; do
  mkdir -p "$work/$side/cli"
  cp "$work/in/generated_2100x1500.bmp" "$work/in/generated_2100x1500.png" "$work/in/notes.txt" \
    "$work/in/broken.png" "$work/$side/cli/"
done
rm "$work/in/notes.txt" "$work/in/broken.png"
run_command_lines() {  # folder program...
  local folder=$1; shift
  (
    cd "$folder"
    for index in "${!command_lines[@]}"; do
      status=0
      # shellcheck disable=SC2086  # each line is split into its arguments
      "$@" ${command_lines[$index]} >"command$index.out" 2>"command$index.err" || status=$?
      echo "$status" >"command$index.status"
    done
  )
}
run_command_lines "$work/linux/cli" "$linux_cli"
run_command_lines "$work/windows/cli" "$root/scripts/wine-run.sh" "$windows_cli"

# Each input's results: every file the two runs made for it.
unexpected=0 same=0
declare -A differing=()
for name in $(cd "$work/in" && ls); do
  stem=${name%.*}
  results=$(cd "$work" && { ls -d linux/"$name".* linux/"$stem"_2048.* windows/"$name".* \
    windows/"$stem"_2048.* 2>/dev/null || true; } | sed 's|^[a-z]*/||' | sort -u)
  differs=""
  for result in $results; do
    if ! cmp -s "$work/linux/$result" "$work/windows/$result"; then
      differs+=" ${result#"$name"}"
    fi
  done
  if [[ -z "$differs" ]]; then
    same=$((same + 1))
    if [[ -n "${known[$name]:-}" ]]; then
      echo "cross-check: $name is listed as differing but now matches"
      unexpected=$((unexpected + 1))
    fi
  elif [[ -n "${known[$name]:-}" ]]; then
    differing[$name]=$differs
  else
    echo "cross-check: $name differs in:$differs"
    for result in $results; do
      if [[ $result == *.out || $result == *.err || $result == *.status ]] &&
         ! cmp -s "$work/linux/$result" "$work/windows/$result"; then
        diff <(cat "$work/linux/$result" 2>/dev/null) <(cat "$work/windows/$result" 2>/dev/null) |
          sed 's/^/    /' | head -6 || true
      fi
    done
    unexpected=$((unexpected + 1))
  fi
done

for result in $(cd "$work" && ls linux/cli windows/cli | grep -v ':$' | sort -u); do
  if ! cmp -s "$work/linux/cli/$result" "$work/windows/cli/$result"; then
    index=${result#command}; index=${index%%.*}
    echo "cross-check: the command line differs in $result (tolvane-cli ${command_lines[$index]:-})"
    diff "$work/linux/cli/$result" "$work/windows/cli/$result" 2>&1 | sed 's/^/    /' | head -6 || true
    unexpected=$((unexpected + 1))
  fi
done

total=$(cd "$work/in" && ls | wc -l)
echo "cross-check: $same of $total inputs identical on Windows and Linux;" \
  "${#command_lines[@]} other command lines checked"
for name in "${!differing[@]}"; do
  echo "  expected: $name (${known[$name]}) differs in:${differing[$name]}"
done
if [[ $unexpected -ne 0 ]]; then
  echo "cross-check: $unexpected unexpected" >&2
  exit 1
fi
