#!/usr/bin/env bash
# Fails when an executable imports a function that Windows 2000 does not have.
# Each imported name is compiled as an address against the toolchain's headers
# set to Windows 2000, where a newer function is an undeclared name; the few
# XP functions those headers do not guard are named here.
# Usage: check-win2000.sh OBJDUMP EXE CXX
set -euo pipefail
objdump=$1 exe=$2 cxx=$3
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT

# Functions of XP and later that the headers declare for Windows 2000 anyway.
unguarded='^(AddVectoredExceptionHandler|RemoveVectoredExceptionHandler|AddVectoredContinueHandler|RemoveVectoredContinueHandler)$'
# The C runtime's start-up entry points, which no header declares; each is in
# the msvcrt.dll of Windows 2000.
startup='^(__getmainargs|__wgetmainargs|__set_app_type|__setusermatherr|__p__fmode|__p__commode|__p___argv|__p___argc|__p__acmdln|__initenv|__argc|__argv|_amsg_exit|_initterm|_cexit|_onexit|__dllonexit|_iob|__C_specific_handler|_lock|_unlock|__lconv_init|__mb_cur_max|_errno|_setjmp3|_commode|_fmode)$'

"$objdump" -p "$exe" | awk '
  /DLL Name:/ { dll = tolower($3); next }
  /^$/ { dll = "" }
  dll != "" && /^\t[0-9a-f]+\t *[0-9]+ +[A-Za-z_][A-Za-z0-9_@]*$/ { print dll, $NF }' > "$work/imports"
[ -s "$work/imports" ] || { echo "no imports read from $exe"; exit 1; }

bad=0
{
  echo '#include <windows.h>'
  for h in wincrypt.h commctrl.h shlobj.h shellapi.h objbase.h ole2.h stdio.h stdlib.h string.h mbstring.h ctype.h \
           signal.h process.h io.h locale.h setjmp.h time.h wchar.h errno.h; do
    echo "#include <$h>"
  done
  echo 'void take(const void*);'
  echo 'void all() {'
} > "$work/probe.cpp"
while read -r dll fn; do
  if [[ $fn =~ $unguarded ]]; then echo "NEWER  $dll $fn"; bad=1; continue; fi
  if [[ $dll == msvcrt.dll && $fn =~ $startup ]]; then continue; fi
  echo "  take(reinterpret_cast<const void*>(&$fn));" >> "$work/probe.cpp"
done < "$work/imports"
echo '}' >> "$work/probe.cpp"

if ! LC_ALL=C "$cxx" -fsyntax-only -fpermissive -w -D_WIN32_WINNT=0x0500 -DWINVER=0x0500 -D_WIN32_IE=0x0500 \
     -DNTDDI_VERSION=0x05000000 "$work/probe.cpp" 2> "$work/errors"; then
  grep -o "'[A-Za-z0-9_]*' was not declared" "$work/errors" | sed "s/^'\(.*\)' was not declared/NEWER  \1/" | sort -u
  grep -q 'was not declared' "$work/errors" || cat "$work/errors"
  bad=1
fi
echo "$(wc -l < "$work/imports") imported functions checked against Windows 2000"
exit $bad
