#!/usr/bin/env bash
# Installs the Debian packages the Windows cross build and its tests under Wine need, when
# missing: the 32-bit mingw-w64 compilers (posix threads), zlib for mingw, nasm for
# libjpeg-turbo's SIMD code, GoogleTest's sources, and a 32-bit Wine.
set -euo pipefail

packages=(
  cmake make dpkg-dev nasm
  g++-mingw-w64-i686-posix libz-mingw-w64-dev
  googletest
  wine wine32:i386 wine64
)

if [[ $(id -u) -eq 0 ]]; then
  sudo=()
elif command -v sudo >/dev/null; then
  sudo=(sudo)
else
  sudo=(false)
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
fi
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
  --no-install-recommends "${missing[@]}"
