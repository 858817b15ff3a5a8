#!/usr/bin/env bash
# Runs every fuzzer longer than the test command does (default 10 minutes
# each): bash scripts/fuzz.sh [SECONDS]. New inputs stay in build/host/corpus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-600}
bash scripts/setup.sh
cmake -S tests/host -B build/host -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DFUZZ_SECONDS="$seconds" >/dev/null
cmake --build build/host -j "$(nproc)"
(cd build/host && ctest --output-on-failure -R '^fuzz_' --timeout $((seconds + 120)))
