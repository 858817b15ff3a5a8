#!/usr/bin/env bash
# Builds the program and a baseline dialog program, times both under Wine on
# the simulated remote-access service, the 64-bit build here and the shipped
# 32-bit one in the 32-bit bed where this machine runs 32-bit code, and writes
# build/bench/bench.md (a table, a column for each) and build/bench/bench.png
# (a plot of both). Takes about four minutes for each build.
#   bash scripts/bench.sh           the full measurement
#   bash scripts/bench.sh --quick   a short pass that checks the bench works
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
quick=${1:-}

bash scripts/setup.sh
if ! dpkg-query -W -f='${Status}' python3-matplotlib 2>/dev/null | grep -q "install ok installed"; then
  SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends python3-matplotlib >/dev/null
fi

jobs=$(nproc)
targets=(Pendro bench bench_baseline bench_baseline_imports rasapi32 rassimctl)
cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win64 -j "$jobs" --target "${targets[@]}"
cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 -j "$jobs" --target "${targets[@]}"

out=$root/build/bench
rm -rf "$out"; mkdir -p "$out"
{
  echo "cpu $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n1)"
  echo "cores $(nproc)"
  echo "memory $(free -g | awk '/^Mem:/ {print $2}') GiB"
  echo "kernel $(uname -sr)"
  echo "wine $(/usr/lib/wine/wine64 --version 2>/dev/null || wine --version)"
  echo "os $(. /etc/os-release; echo "$PRETTY_NAME")"
} > "$out/machine.txt"
for arch in win32 win64; do
  exe=build/$arch/Pendro.exe
  objdump=$([ $arch = win32 ] && echo i686-w64-mingw32-objdump || echo x86_64-w64-mingw32-objdump)
  echo "size_$arch $(stat -c %s "$exe")" >> "$out/exe.txt"
  echo "baseline_size_$arch $(stat -c %s build/$arch/bench_baseline.exe)" >> "$out/exe.txt"
  echo "imports_$arch $("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')" >> "$out/exe.txt"
done

# The same measurement for each build: under 64-bit Wine here, and the
# shipped 32-bit exe under 32-bit Wine in the bed, where 32-bit code runs.
measure='
  set -euo pipefail
  build=$1 out=$2 mode=$3
  . scripts/wine-env.sh "$build"
  trap pendro_wine_cleanup EXIT
  "$WINE" "$build/tests/bench.exe" "Z:$PWD/$build/Pendro.exe" "Z:$PWD/$build/bench_baseline.exe" \
    "Z:$PWD/$build/tests/bench_baseline_imports.exe" "Z:$out" $mode
'
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "$measure" bench build/win64 "$out/samples.txt" "${quick:+quick}" || status=$?
[ $status -eq 0 ] || { echo "bench: the 64-bit measurement failed" >&2; exit $status; }
if bash scripts/bed32.sh --probe; then
  bash scripts/bed32.sh >/dev/null
  scripts/bed32-run xvfb-run -a -s "-screen 0 1280x1024x24" env PENDRO_WINEARCH=win32 \
    bash -c "$measure" bench build/win32 "$out/samples32.txt" "${quick:+quick}" || status=$?
  [ $status -eq 0 ] || { echo "bench: the 32-bit measurement failed" >&2; exit $status; }
else
  echo "not run on this machine (it refuses 32-bit code)" > "$out/win32-not-run.txt"
fi

/usr/bin/python3 scripts/bench_report.py "$out"  # Debian's, which has matplotlib
echo "table: $out/bench.md"
echo "plot:  $out/bench.png"
