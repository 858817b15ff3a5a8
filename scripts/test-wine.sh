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
export PENDRO_WINE_LOGS=$PWD/$build/wine-logs
rm -rf "$PENDRO_WINE_LOGS"
export PENDRO_SCREENSHOTS=${PENDRO_SCREENSHOTS:-$PWD/$build/screenshots}
mkdir -p "$PENDRO_SCREENSHOTS"
status=0
(cd "$build" && ctest --output-on-failure --timeout 900) || status=$?
for f in "$PENDRO_SCREENSHOTS"/*.bmp; do
  [ -e "$f" ] || continue
  convert "$f" "${f%.bmp}.png" && rm -f "$f" && echo "screenshot: ${f%.bmp}.png"
done
exit $status
