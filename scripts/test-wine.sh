#!/usr/bin/env bash
# Runs the Windows tests in a fresh Wine prefix; called under xvfb-run.
set -euo pipefail
build=$1
. scripts/wine-env.sh "$build"
trap pendro_wine_cleanup EXIT
# The heap of the program, and of the copy of the unit tests that runs those
# creating and destroying its windows, is validated on every operation; Wine
# reports what it finds wrong.
ifeo='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Image File Execution Options'
for exe in Pendro.exe unit_tests_heap.exe; do
  "$WINE" reg add "$ifeo\\$exe" /v GlobalFlag /t REG_DWORD /d 0xB0 /f >/dev/null 2>&1
done
# The same programs get the page heap (tests/tools/guardheap.cpp): from the
# moment they load the simulated service every block ends at an unmapped page,
# so a write past it faults at once, at the instruction that makes it.
export PENDRO_GUARD_HEAP="Pendro.exe unit_tests_heap.exe"
export PENDRO_WINE_LOGS=$PWD/$build/wine-logs
rm -rf "$PENDRO_WINE_LOGS"
export PENDRO_SCREENSHOTS=${PENDRO_SCREENSHOTS:-$PWD/$build/screenshots}
mkdir -p "$PENDRO_SCREENSHOTS"
status=0
(cd "$build" && ctest --output-on-failure --timeout 900) || status=$?
# A page heap that never came up would pass every test unseen.
guarded=$(cat "$PENDRO_WINE_LOGS"/*.log 2>/dev/null | grep -c ':info:heap:guard active' || true)
echo "page heap active in $guarded program runs"
[ "$guarded" -gt 0 ] || { echo "the page heap was never active"; status=1; }
for f in "$PENDRO_SCREENSHOTS"/*.bmp; do
  [ -e "$f" ] || continue
  convert "$f" "${f%.bmp}.png" && rm -f "$f" && echo "screenshot: ${f%.bmp}.png"
done
exit $status
