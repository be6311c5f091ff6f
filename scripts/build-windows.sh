#!/usr/bin/env bash
# Cross-builds the 32-bit Windows program into build-win32/ with Debian's
# mingw-w64 compilers, and with --test runs its tests under Wine.
#
#   scripts/build-windows.sh [--test]
#
# Leaves build-win32/Tolvane-<version>-win32.zip: the two programs, a README
# for Windows users and the licences of the libraries linked into them.
#
# Installs what is missing (scripts/install-windows-deps.sh), then builds the
# libraries Debian does not package for mingw into build-win32/deps/:
# libjpeg-turbo from Debian's own source package (the version the Linux build
# uses, with its 6b interface) and GoogleTest from Debian's googletest sources.
# They are built once and kept; a later run reuses them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

run_tests=0
for argument in "$@"; do
  case "$argument" in
    --test) run_tests=1 ;;
    *) echo "usage: scripts/build-windows.sh [--test]" >&2; exit 2 ;;
  esac
done

./scripts/install-windows-deps.sh

build=$root/build-win32
deps=$build/deps
prefix=$deps/prefix
toolchain=$root/cmake/mingw-w64-i686.cmake
jobs=${TOLVANE_JOBS:-$(nproc)}
mkdir -p "$deps"

# What a cached library was built from: its version and the toolchain file.
stamp_of() {
  echo "$1 $(sha256sum "$toolchain" | cut -d' ' -f1)"
}
is_built() {
  [[ -f "$prefix/.$1" && "$(cat "$prefix/.$1")" == "$2" ]]
}

# deb-src lines for the suites of this release among the machine's own
# package sources, in one-line form for a private sources list.
source_lines() {
  local codename
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  {
    for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [[ -f "$list" ]] && sed -n -E 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' "$list"
    done
    for list in /etc/apt/sources.list.d/*.sources; do
      [[ -f "$list" ]] && awk '
        function flush() {
          if (types ~ /(^| )deb( |$)/ && enabled != "no")
            for (u = 1; u <= nu; u++) for (s = 1; s <= ns; s++)
              print "deb-src" (key != "" ? " [signed-by=" key "]" : "") " " uri[u] " " suite[s] " " components
          types = ""; enabled = ""; key = ""; components = ""; nu = 0; ns = 0
        }
        /^#/ { next }
        /^[[:space:]]*$/ { flush(); next }
        {
          field = $1; sub(/:$/, "", field); $1 = ""; sub(/^ +/, "")
          if (field == "Types") types = $0
          else if (field == "URIs") nu = split($0, uri, " ")
          else if (field == "Suites") ns = split($0, suite, " ")
          else if (field == "Components") components = $0
          else if (field == "Enabled") enabled = tolower($0)
          else if (field == "Signed-By" && $0 ~ /^\//) key = $0
        }
        END { flush() }' "$list"
    done
  } | awk -v codename="$codename" '$0 ~ (" " codename "(-[a-z]+)? ")' | sort -u
}

build_libjpeg_turbo() {
  local version
  version=$(dpkg-query -W -f='${Version}' libjpeg62-turbo-dev 2>/dev/null || true)
  local stamp
  stamp=$(stamp_of "libjpeg-turbo=${version:-candidate}")
  is_built libjpeg-turbo "$stamp" && return

  echo "== libjpeg-turbo ${version:-(newest)} for mingw, from Debian's source package"
  # The source package is fetched once per version.
  local sources=$deps/src/libjpeg-turbo
  if [[ ! -f "$sources/.version" || "$(cat "$sources/.version")" != "${version:-candidate}" ]]; then
    # A private sources list and list folder: the machine's apt setup stays as it is.
    local apt=$deps/apt
    rm -rf "$apt" "$sources"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$sources"
    source_lines >"$apt/sources.list"
    if [[ ! -s "$apt/sources.list" ]]; then
      echo "No Debian package source of this release found in the apt configuration" >&2
      exit 1
    fi
    local options=(-o "Dir::Etc::SourceList=$apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
      -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o APT::Sandbox::User=root)
    apt-get "${options[@]}" update -qq
    (cd "$sources" && apt-get "${options[@]}" source -qq "libjpeg-turbo${version:+=$version}")
    echo "${version:-candidate}" >"$sources/.version"
  fi
  rm -rf "$deps/build/libjpeg-turbo"
  local source
  source=$(find "$sources" -mindepth 1 -maxdepth 1 -type d | head -1)

  # The 6b interface, as the Linux build's libjpeg62-turbo; static, with its SIMD code.
  cmake -S "$source" -B "$deps/build/libjpeg-turbo" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_JPEG7=OFF -DWITH_JPEG8=OFF \
    -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON >/dev/null
  cmake --build "$deps/build/libjpeg-turbo" -j "$jobs" >/dev/null
  cmake --install "$deps/build/libjpeg-turbo" >/dev/null
  echo "$stamp" >"$prefix/.libjpeg-turbo"
}

build_googletest() {
  local version
  version=$(dpkg-query -W -f='${Version}' googletest)
  local stamp
  stamp=$(stamp_of "googletest=$version")
  is_built googletest "$stamp" && return

  echo "== GoogleTest $version for mingw, from Debian's googletest sources"
  rm -rf "$deps/build/googletest"
  cmake -S /usr/src/googletest -B "$deps/build/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=ON >/dev/null
  cmake --build "$deps/build/googletest" -j "$jobs" >/dev/null
  cmake --install "$deps/build/googletest" >/dev/null
  echo "$stamp" >"$prefix/.googletest"
}

build_libjpeg_turbo
build_googletest

echo "== Windows build (build-win32)"
# A changed toolchain file makes the compiler settings of the cache stale.
toolchain_stamp=$(stamp_of toolchain)
if [[ -f "$build/CMakeCache.txt" && "$(cat "$build/.toolchain" 2>/dev/null)" != "$toolchain_stamp" ]]; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DTOLVANE_WIN32_DEPS="$prefix" \
  -DCMAKE_BUILD_TYPE=Release -DTOLVANE_WERROR=ON -DTOLVANE_BUILD_APP=OFF \
  -DTOLVANE_BUILD_BENCH=OFF >/dev/null
echo "$toolchain_stamp" >"$build/.toolchain"
cmake --build "$build" -j "$jobs"

# The zip: what a Windows user unpacks and runs. Text files get CR LF.
package_zip() {
  local version name stage
  version=$(sed -n -E 's/^project\(Tolvane VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
  name=Tolvane-$version-win32
  stage=$build/package/$name
  rm -rf "$build/package" "$build"/Tolvane-*-win32.zip
  mkdir -p "$stage/licenses"
  cp "$build/bin/Tolvane.exe" "$build/bin/tolvane-cli.exe" "$stage/"
  with_crlf() { sed 's/\r*$/\r/' "$@"; }
  sed "s/@VERSION@/$version/" packaging/windows/README.txt | with_crlf >"$stage/README.txt"
  with_crlf "$prefix/share/doc/libjpeg-turbo/LICENSE.md" >"$stage/licenses/libjpeg-turbo.txt"
  with_crlf "$prefix/share/doc/libjpeg-turbo/README.ijg" >"$stage/licenses/libjpeg-turbo-ijg.txt"
  with_crlf /usr/share/doc/libz-mingw-w64/copyright >"$stage/licenses/zlib.txt"
  with_crlf /usr/share/doc/mingw-w64-i686-dev/copyright >"$stage/licenses/mingw-w64-runtime.txt"
  (cd "$build/package" && cmake -E tar cf "../$name.zip" --format=zip "$name")
  echo "== $build/$name.zip"
}
package_zip

if [[ $run_tests -eq 1 ]]; then
  echo "== Windows tests under Wine"
  ./scripts/wine-run.sh --prepare
  ./scripts/wine-run.sh --start-server
  trap './scripts/wine-run.sh --stop-server' EXIT
  (cd "$build" && ctest --output-on-failure -j "$jobs")
fi
