#!/usr/bin/env bash
# Reads the desktop links that the end-to-end tests kept with lnkinfo, an
# independent reader of the link format, and compares target, arguments and
# working directory with what the tests expected.
set -euo pipefail
list=${1:?expectations file}
[ -s "$list" ] || { echo "no links were recorded"; exit 1; }
fail=0 n=0
while IFS=$'\x1f' read -r copy target args workdir; do
  n=$((n + 1))
  info=$(lnkinfo "$copy")
  field() { printf '%s\n' "$info" | sed -n "s/^\t$1[[:space:]]*: //p" | head -1; }
  for check in "Local path|$target" "Command line arguments|$args" "Working directory|$workdir"; do
    name=${check%%|*} want=${check#*|}
    got=$(field "$name")
    if [ "$got" != "$want" ]; then echo "BAD  $copy: $name is '$got', expected '$want'"; fail=1; fi
  done
  [ $fail -eq 0 ] && echo "ok   $copy: $target $args"
done < "$list"
echo "$n links read"
exit $fail
