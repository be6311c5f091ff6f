#!/usr/bin/env bash
# Runs a GoogleTest program of the Windows build under Wine on an X server of
# its own (Xvfb), in a Wine desktop of its own, and passes its result on.
#
#   tests/app_win32/run_on_own_display.sh PROGRAM.exe [ARGUMENTS...]
#
# The Wine desktop is a window of that X server, so the programs on it draw
# there whichever display the Wine server's own desktop has (none, when it was
# started by scripts/wine-run.sh --start-server). Wine's explorer does not pass
# the program's exit status on; the result is read from GoogleTest's report.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
program=$1
shift

work=$(mktemp -d)
xvfb=
cleanup() {
  if [[ -n "$xvfb" ]]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number once it takes clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 200); do
  [[ -s "$work/display" ]] && break
  kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
[[ -s "$work/display" ]] || { echo "Xvfb gave no display within 20 seconds" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")

report=$work/report.xml
# The output goes through a file: Wine's desktop process, started by the
# program, would otherwise hold the caller's pipes open after it ends.
"$root/scripts/wine-run.sh" explorer "/desktop=tolvane-test-$$,1024x768" "$program" \
  "--gtest_output=xml:Z:$report" "$@" >"$work/output" 2>&1 </dev/null || true
cat "$work/output"
if [[ ! -s "$report" ]]; then
  echo "$(basename "$program") wrote no report: it did not run to its end" >&2
  exit 1
fi
# The report's first element sums up the run.
summary=$(grep -m1 '<testsuites' "$report")
if [[ "$summary" != *' failures="0"'* || "$summary" != *' errors="0"'* ]]; then
  exit 1
fi
