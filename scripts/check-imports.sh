#!/usr/bin/env bash
# Fails when an executable imports anything but the system's own DLLs: a stray
# runtime DLL (libstdc++, libgcc, winpthread) would not be on a user's machine.
set -euo pipefail
objdump=$1 exe=$2
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|msvcrt|shlwapi|uuid)\.dll$'
mapfile -t dlls < <("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
[ ${#dlls[@]} -gt 0 ] || { echo "no imports found in $exe"; exit 1; }
bad=0
for d in "${dlls[@]}"; do
  if [[ $d =~ $allowed ]]; then echo "ok   $d"; else echo "BAD  $d"; bad=1; fi
done
file "$exe"
exit $bad
