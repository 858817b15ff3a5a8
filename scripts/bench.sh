#!/usr/bin/env bash
# Builds the program and a baseline dialog program, times both under Wine on
# the simulated remote-access service, and writes build/bench/bench.md (a
# table) and build/bench/bench.png (a plot). Takes about four minutes.
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
cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win64 -j "$jobs" --target Pendro bench bench_baseline bench_baseline_imports rasapi32
cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
  -DPENDRO_BUILD_TESTS=OFF >/dev/null
cmake --build build/win32 -j "$jobs" --target Pendro bench_baseline

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

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -euo pipefail
  . scripts/wine-env.sh build/win64
  trap pendro_wine_cleanup EXIT
  "$WINE" build/win64/tests/bench.exe "Z:$PWD/build/win64/Pendro.exe" \
    "Z:$PWD/build/win64/bench_baseline.exe" "Z:$PWD/build/win64/tests/bench_baseline_imports.exe" \
    "Z:$1/samples.txt" $2
' bench "$out" "${quick:+quick}"

/usr/bin/python3 scripts/bench_report.py "$out"  # Debian's, which has matplotlib
echo "table: $out/bench.md"
echo "plot:  $out/bench.png"
