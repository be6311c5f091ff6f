#!/usr/bin/env bash
# Fails unless a Windows executable imports only DLLs that come with Windows:
# everything else is linked in, so the program needs no DLL beside it.
#
#   tests/app_win32/check_imports.sh OBJDUMP PROGRAM.exe
set -euo pipefail
objdump=$1
program=$2
system_dlls=" advapi32 comctl32 comdlg32 gdi32 kernel32 msvcrt ole32 oleaut32 shell32 shlwapi \
user32 uxtheme windowscodecs "
status=0
while read -r dll; do
  name=${dll,,}
  if [[ "$system_dlls" != *" ${name%.dll} "* ]]; then
    echo "$(basename "$program") imports $dll, which Windows does not bring" >&2
    status=1
  fi
done < <("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
exit $status
