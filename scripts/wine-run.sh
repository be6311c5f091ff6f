#!/usr/bin/env bash
# Runs a program of the Windows build under Wine, in the 32-bit Wine prefix of
# build-win32/ (or $WINEPREFIX), quietly and without Mono or Gecko. The prefix
# is made on first use; --prepare only makes it.
#   scripts/wine-run.sh build-win32/bin/tolvane-cli.exe convert photo.jpg
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build-win32/wine}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi
[[ "${1:-}" == "--prepare" ]] && exit 0
exec wine "$@"
