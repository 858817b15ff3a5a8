#!/usr/bin/env bash
# The 32-bit bed's runner, on any machine: it enters a small root of this
# machine's own tools from a tree under /tmp whose path holds blanks, once to
# the end and once killed half-way; every time the command must see the tree,
# and afterwards nothing may stay mounted or running.
# Usage: bed32_runner_test.sh PATH/TO/scripts/bed32-run
set -euo pipefail
runner=$(realpath "$1")
[ "$(id -u)" -eq 0 ] || { echo "SKIPPED: the runner needs root for its namespaces"; exit 77; }

work=$(mktemp -d "/tmp/pendro runner test.XXXXXX")
root=$work/root
tree="$work/a clone/of the tree"
cleanup() { rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }

mkdir -p "$root"/{proc,sys,dev,tmp} "$tree/scripts" "$tree/sub dir"
for tool in /bin/bash /usr/bin/env /bin/sleep; do
  for f in "$tool" $(ldd "$tool" | grep -o '/[^ ]*'); do cp -L --parents "$f" "$root"; done
done
cp "$runner" "$tree/scripts/bed32-run"
# A runner that ignores PENDRO_BED_ROOT asks the bed's script: it gets the same root.
printf '#!/bin/sh\necho "%s"\n' "$root" >"$tree/scripts/bed32.sh"
echo "seen through the bind" >"$tree/marker"

left_behind() {
  findmnt -rn -o TARGET | grep -F "$work" && return 0
  pgrep -f "sleep 31415" && return 0
  return 1
}

# To the end: the command runs in the tree's folder, sees its files and a
# /tmp of its own, and its exit code comes back.
out=$(cd "$tree/sub dir" && PENDRO_BED_ROOT=$root "$tree/scripts/bed32-run" \
  bash -c 'echo "pwd=$PWD"; echo "marker=$(<../marker)"; echo "tmp=$(echo /tmp/*)"; exit 7') && rc=0 || rc=$?
echo "$out"
[ "$rc" -eq 7 ] || fail "exit code $rc, not the command's 7"
grep -qxF "pwd=$tree/sub dir" <<<"$out" || fail "the command did not run in the tree's folder"
grep -qxF "marker=seen through the bind" <<<"$out" || fail "the tree was not bound inside the root"
grep -qxF "tmp=/tmp/${work#/tmp/}" <<<"$out" || fail "/tmp inside is not fresh"
left_behind && fail "a mount or a process outlived the run"

# Killed half-way: the kernel drops the namespaces' mounts and processes.
(cd "$tree" && PENDRO_BED_ROOT=$root exec "$tree/scripts/bed32-run" sleep 31415) &
pid=$!
for _ in $(seq 100); do pgrep -f "sleep 31415" >/dev/null && break; sleep 0.1; done
pgrep -f "sleep 31415" >/dev/null || fail "the command did not start"
kill -KILL "$pid"
wait "$pid" 2>/dev/null || true
for _ in $(seq 50); do left_behind >/dev/null || break; sleep 0.1; done
left_behind && fail "a mount or a process outlived the killed run"
echo "PASSED: bed32-run from a tree under /tmp with blanks, to the end and killed"
