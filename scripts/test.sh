#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the Windows
# tests under Wine in a fresh prefix on a virtual display, the native host
# tests with sanitizers and fuzzers, and the import-table checks. The Windows
# suite runs twice: the 64-bit build under 64-bit Wine on this machine, and the
# shipped 32-bit build under 32-bit Wine in the 32-bit bed (scripts/bed32.sh),
# where this machine can execute 32-bit code at all.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win64 -j "$jobs"
cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 -j "$jobs"
cmake -S tests/host -B build/host -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DFUZZ_SECONDS=15 >/dev/null
cmake --build build/host -j "$jobs"

echo "== 32-bit executable: import table, Windows 98 and 2000 functions only, size"
scripts/check-imports.sh i686-w64-mingw32-objdump build/win32/Pendro.exe
scripts/check-winver.sh 98 i686-w64-mingw32-objdump build/win32/Pendro.exe i686-w64-mingw32-g++-win32
scripts/check-winver.sh 2000 i686-w64-mingw32-objdump build/win32/Pendro.exe i686-w64-mingw32-g++-win32
scripts/check-winver.sh 2000 x86_64-w64-mingw32-objdump build/win64/Pendro.exe x86_64-w64-mingw32-g++-win32
scripts/check-winver-control.sh
size=$(stat -c %s build/win32/Pendro.exe)
echo "Pendro.exe (32-bit): $size bytes"
[ "$size" -le 90112 ] || { echo "Pendro.exe is over 88 KB"; exit 1; }

echo "== reproducible build and the release zip"
scripts/check-release.sh

echo "== host tests (AddressSanitizer, UndefinedBehaviorSanitizer, fuzzers)"
(cd build/host && ctest --output-on-failure)

screen=(-a -s "-screen 0 1280x1024x24")
status=0
echo "== Windows tests, 64-bit build, under 64-bit Wine"
xvfb-run "${screen[@]}" bash scripts/test-wine.sh build/win64 || status=1

echo "== Windows tests, 32-bit build (the one shipped), under 32-bit Wine in the 32-bit bed"
if bash scripts/bed32.sh --probe; then
  bash scripts/bed32.sh >/dev/null
  scripts/bed32-run xvfb-run "${screen[@]}" env PENDRO_WINEARCH=win32 bash scripts/test-wine.sh build/win32 || status=1
else
  echo "NOT RUN: the 32-bit suite needs a machine that executes 32-bit code; it was built, not run"
fi
exit $status
