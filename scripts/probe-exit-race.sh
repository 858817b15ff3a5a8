#!/usr/bin/env bash
# Shows how Wine reports a heap that a killed thread left half-changed when a
# process ends (tests/tools/exit_race_probe.cpp), the one kind of heap report
# the tests set aside. Usage: bash scripts/probe-exit-race.sh [BUILD] [RUNS]
# (inside the 32-bit bed: PENDRO_WINEARCH=win32 ... build/win32).
set -euo pipefail
build=${1:-build/win64} runs=${2:-30}
. scripts/wine-env.sh "$build"
trap pendro_wine_cleanup EXIT
ifeo='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Image File Execution Options'
"$WINE" reg add "$ifeo\\exit_race_probe.exe" /v GlobalFlag /t REG_DWORD /d 0xB0 /f >/dev/null 2>&1
after=0 other=0
for _ in $(seq "$runs"); do
  log=$(WINEDEBUG=-all,err+heap,warn+sync,+pid "$WINE" "$build/tests/exit_race_probe.exe" 2>&1 || true)
  counts=$(awk -f scripts/heap-reports.awk <<<"$log")
  after=$((after + ${counts% *})) other=$((other + ${counts#* }))
done
echo "$runs runs: $after heap reports after Wine took a killed thread's lock (set aside by the tests), $other others"
