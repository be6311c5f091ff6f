#!/usr/bin/env bash
# Installs the Debian packages the Windows cross build and its tests under Wine
# need, when missing, besides the Linux build's: the 32-bit mingw-w64 compilers
# (posix threads), zlib for mingw, nasm for libjpeg-turbo's SIMD code,
# GoogleTest's sources, dpkg-dev to unpack a source package, a 32-bit Wine
# with its fonts (Tahoma among them), and Xvfb for the window's tests.
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  dpkg-dev nasm
  g++-mingw-w64-i686-posix libz-mingw-w64-dev
  googletest
  wine wine32:i386 wine64 fonts-wine fonts-ipafont-gothic
  xvfb
)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  if [[ $(id -u) -eq 0 ]]; then
    dpkg --add-architecture i386
  else
    sudo dpkg --add-architecture i386
  fi
fi
./install-deps.sh "${packages[@]}"
