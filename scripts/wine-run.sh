#!/usr/bin/env bash
# Runs a program of the Windows build under Wine, in the 32-bit Wine prefix of
# build-win32/ (or $WINEPREFIX), quietly and without Mono or Gecko. The prefix
# is made on first use; --prepare only makes it.
#   scripts/wine-run.sh build-win32/bin/tolvane-cli.exe convert photo.jpg
#
# --start-server keeps one Wine server and the prefix's services running until
# --stop-server: a server that exits when its last program ends can take the
# next program down with it ("wine client error: recvmsg"). Started here, the
# server and the services (wineboot starts them) are no children of whatever
# runs the programs (ctest) and hold none of its pipes; started by the first
# test program instead, they would keep its output open and it would never
# seem to end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build-win32/wine}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  wineboot -i >/dev/null 2>&1
  # Tahoma has no Japanese characters: Wine, like Windows, links it to
  # MS UI Gothic for them, which the prefix finds in IPAGothic. (Wine then
  # draws the Latin letters of the linked text with IPAGothic as well.)
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v 'MS UI Gothic' /t REG_SZ /d IPAGothic /f >/dev/null 2>&1
  wineserver -w
fi
case "${1:-}" in
  --prepare) exit 0 ;;
  --start-server)
    # A server left running (say, by a run cut short) serves as well.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    exec wineboot </dev/null >/dev/null 2>&1
    ;;
  --stop-server) exec wineserver -k ;;
esac
exec wine "$@"
