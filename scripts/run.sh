#!/usr/bin/env bash
# Installs what is missing, builds Kelvane Pendro! and starts it under Wine on
# the simulated remote-access service with three demo providers. Without a
# display it runs under Xvfb, dials the first demo provider to the end and
# writes screenshots, whose paths it prints.
#   bash scripts/run.sh --32   the shipped 32-bit exe instead, under 32-bit
#                              Wine in the 32-bit bed (always on Xvfb)
set -euo pipefail
# xvfb-run is never exec'd: as the first process of a PID namespace (a
# container's entry point) it would never hear Xvfb say it is ready.
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
if [ "${1:-}" = --32 ]; then
  bash scripts/bed32.sh --probe
  cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/win32 -j "$(nproc)" --target Pendro rasapi32 rassimctl
  bash scripts/bed32.sh >/dev/null
  demo=(scripts/bed32-run xvfb-run -a -s "-screen 0 1024x768x24" \
    env PENDRO_WINEARCH=win32 bash scripts/run-demo.sh build/win32 --screenshot)
  status=0; "${demo[@]}" || status=$?
  exit $status
fi
cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
# Only what the demo runs: the program, the simulated service and its control tool.
cmake --build build/win64 -j "$(nproc)" --target Pendro rasapi32 rassimctl

status=0
if [ -z "${DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1024x768x24" bash scripts/run-demo.sh build/win64 --screenshot || status=$?
else
  bash scripts/run-demo.sh build/win64 || status=$?
fi
exit $status
