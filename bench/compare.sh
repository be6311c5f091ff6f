#!/usr/bin/env bash
# Times Tolvane's conversion against libvips, ImageMagick and Pillow doing the
# same job on real pictures from Debian's packages, and against the floor (what
# the libraries alone cost, bench/floor.cpp). See "Comparing with other tools"
# in the README.
#
#   bench/compare.sh [--runs N] [--inputs LIST] [--out DIR] [--cache DIR] [--build DIR]
#
#   --runs N       measured runs of every tool per input, after one warm-up (5)
#   --inputs LIST  comma-separated subset of jpeg,png,adam7,bmp,tiff,jobs (all)
#   --cache DIR    where the packages and inputs are kept
#                  (${XDG_CACHE_HOME:-$HOME/.cache}/tolvane-compare)
#   --out DIR      where results.md, results.png and runs.csv go (CACHE/results)
#   --build DIR    the build folder holding bin/tolvane-cli (build)
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=5
inputs=jpeg,png,adam7,bmp,tiff,jobs
cache=${XDG_CACHE_HOME:-$HOME/.cache}/tolvane-compare
out=
build=$repo/build

die() { echo "compare: $*" >&2; exit 1; }

while [[ $# -gt 0 ]]; do
  case $1 in
    --runs) runs=${2:?--runs needs a number}; shift 2 ;;
    --inputs) inputs=${2:?--inputs needs a list}; shift 2 ;;
    --cache) cache=${2:?--cache needs a folder}; shift 2 ;;
    --out) out=${2:?--out needs a folder}; shift 2 ;;
    --build) build=${2:?--build needs a folder}; shift 2 ;;
    -h|--help) sed -n '2,15p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown argument: $1 (see --help)" ;;
  esac
done
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "--runs must be a whole number of at least 1, not '$runs'"
declare -A file=([jpeg]=photo.jpg [png]=artwork.png [adam7]=artwork-adam7.png [bmp]=photo.bmp [tiff]=photo.tif)
declare -A wants=()
IFS=, read -r -a wanted <<<"$inputs"
[[ ${#wanted[@]} -gt 0 ]] || die "--inputs names no input"
for name in "${wanted[@]}"; do
  [[ -n ${file[$name]:-} || $name == jobs ]] || die "unknown input '$name' (choose from jpeg,png,adam7,bmp,tiff,jobs)"
  wants[$name]=1
done
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
out=${out:-$cache/results}
[[ $build = /* ]] || build=$PWD/$build
# Tolvane names its output without the suffix when the path already has it.
[[ $cache != *_2048* ]] || die "the cache folder's path must not contain _2048: $cache"
case $cache/ in "$repo"/*) die "the cache folder must lie outside the repository: $cache" ;; esac

# ---- the peers -------------------------------------------------------------

"$repo/scripts/install-deps.sh" libvips-tools imagemagick python3-pil \
  || die "could not install the peers (libvips-tools, imagemagick, python3-pil)"

# ImageMagick by the binary's own name, so that no other 'convert' on PATH
# stands in for it.
magick=
for candidate in /usr/bin/convert-im6.q16 /usr/bin/magick /usr/bin/convert; do
  if [[ -x $candidate ]]; then magick=$candidate; break; fi
done
[[ -n $magick ]] || die "ImageMagick's convert is not installed"
command -v vips >/dev/null || die "vips is not installed (package libvips-tools)"
/usr/bin/python3 -c 'import PIL' 2>/dev/null || die "Pillow is not installed (package python3-pil)"

# ---- the program and the floor ------------------------------------------------

if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOLVANE_BUILD_APP=OFF >/dev/null
fi
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
[[ $build_type == Release ]] || echo "compare: warning: $build is a '$build_type' build, not Release" >&2
cmake --build "$build" -j"$(nproc)" --target tolvane-cli tolvane_floor >/dev/null \
  || die "building tolvane-cli and tolvane_floor in $build failed"
cli=$build/bin/tolvane-cli
floor=$build/bin/tolvane_floor

# ---- the inputs ------------------------------------------------------------

debs=$cache/debs
mkdir -p "$debs" "$cache/inputs"

# fetch PACKAGE: the package's files, unpacked under $cache/extract/PACKAGE.
fetch() {
  local package=$1 target=$cache/extract/$1
  if [[ ! -f $target/.complete ]]; then
    if ! compgen -G "$debs/${package}_*.deb" >/dev/null; then
      echo "Fetching the Debian package $package"
      if ! (cd "$debs" && apt-get download -q "$package" 2>/dev/null); then
        # The package lists may be missing or stale; refresh them once.
        if [[ $(id -u) -eq 0 ]]; then apt-get update -qq || true; fi
        (cd "$debs" && apt-get download -q "$package") \
          || die "cannot fetch the Debian package $package with apt-get download (is it in the apt sources, and is a mirror reachable?)"
      fi
    fi
    rm -rf "$target"
    mkdir -p "$target"
    local deb
    deb=$(compgen -G "$debs/${package}_*.deb" | sort | tail -n 1)
    dpkg -x "$deb" "$target" || die "cannot unpack $deb"
    touch "$target/.complete"
  fi
}

# pick PACKAGE PATTERN NAME: copies the one file of PACKAGE whose path matches
# PATTERN to inputs/NAME.
pick() {
  local package=$1 pattern=$2 name=$3 found
  [[ -f $cache/inputs/$name ]] && return 0
  fetch "$package"
  found=$(find "$cache/extract/$package" -path "$pattern" -type f | sort | head -n 1)
  [[ -n $found ]] || die "the package $package no longer holds $pattern"
  cp "$found" "$cache/inputs/$name.part"
  mv "$cache/inputs/$name.part" "$cache/inputs/$name"
}

# derive SOURCE NAME PREFIX ARGS...: inputs/NAME made from inputs/SOURCE by
# ImageMagick with ARGS, written through its coder PREFIX (such as BMP3:).
derive() {
  local source=$cache/inputs/$1 target=$cache/inputs/$2 prefix=$3
  shift 3
  [[ -f $target && $target -nt $source ]] && return 0
  echo "Making $(basename "$target") from $(basename "$source")"
  local part=$cache/inputs/part-${target##*/}
  "$magick" "$source" "$@" "$prefix$part" || die "ImageMagick could not make $(basename "$target")"
  mv "$part" "$target"
}

# The photograph: 5640 x 3172, baseline JPEG. The artwork: 5120 x 2880, 8-bit
# RGB without alpha (the other PNG wallpapers of that size carry alpha).
if [[ -n ${wants[jpeg]:-}${wants[bmp]:-}${wants[tiff]:-} ]]; then
  pick mate-backgrounds '*/Elephants_5640x3172.jpg' photo.jpg
fi
if [[ -n ${wants[png]:-}${wants[adam7]:-} ]]; then
  pick plasma-workspace-wallpapers '*/Altai/contents/images/5120x2880.png' artwork.png
fi
# BMP and TIFF hold the photograph's pixels, as a camera's or a scanner's
# uncompressed output would; the Adam7 PNG holds the artwork's, so that it
# differs from the plain PNG input by its interlacing only.
[[ -z ${wants[bmp]:-} ]] || derive photo.jpg photo.bmp BMP3: -type TrueColor
[[ -z ${wants[tiff]:-} ]] || derive photo.jpg photo.tif TIFF: -compress LZW
[[ -z ${wants[adam7]:-} ]] || derive artwork.png artwork-adam7.png PNG24: -strip -interlace PNG

# The set for several conversions at once: the large JPEG photographs of
# both packages, baseline and progressive.
jobs=()
if [[ -n ${wants[jobs]:-} ]]; then
  pick mate-backgrounds '*/Elephants_5640x3172.jpg' photo.jpg
  pick mate-backgrounds '*/Elephants_3840x2160.jpg' jobs-elephants.jpg
  for wallpaper in Flow/contents/images Flow/contents/images_dark Honeywave/contents/images \
                   Shell/contents/images SafeLanding/contents/images Volna/contents/images; do
    name=jobs-${wallpaper//\//-}.jpg
    pick plasma-workspace-wallpapers "*/$wallpaper/5120x2880.jpg" "$name"
    jobs+=("$cache/inputs/$name")
  done
  jobs+=("$cache/inputs/photo.jpg" "$cache/inputs/jobs-elephants.jpg")
fi

selected=()
for name in "${wanted[@]}"; do
  [[ $name == jobs ]] || selected+=("$name=$name=$cache/inputs/${file[$name]}")
done

# ---- the runs ------------------------------------------------------------------

exec /usr/bin/python3 "$repo/bench/compare_run.py" --runs "$runs" --out "$out" \
  --scratch "$cache/scratch" --cli "$cli" --floor "$floor" --vips "$(command -v vips)" \
  --magick "$magick" --python /usr/bin/python3 --repo "$repo" --jobs "${jobs[@]}" -- "${selected[@]}"
