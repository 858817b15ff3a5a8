#!/usr/bin/env bash
# Fails when an executable imports a function that the named Windows lacks.
# Each imported name is compiled as an address against the toolchain's headers
# set to that version, where a newer function is an undeclared name; the few
# XP functions those headers do not guard are named here. For Windows 98 the
# wide-character functions it implements are listed (the others are stubs that
# fail there), and the PE subsystem version must be 4.x; the same check stands
# for NT 4.0, whose COMCTL32 as installed is 4.00: only its functions may be
# imported (a later one makes the loader refuse the whole program).
# Usage: check-winver.sh 2000|98 OBJDUMP EXE CXX
set -euo pipefail
target=$1 objdump=$2 exe=$3 cxx=$4
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
case $target in
  2000) name="Windows 2000"
        defines=(-D_WIN32_WINNT=0x0500 -DWINVER=0x0500 -D_WIN32_IE=0x0500 -DNTDDI_VERSION=0x05000000) ;;
  98)   name="Windows 98"
        defines=(-D_WIN32_WINNT=0x0400 -DWINVER=0x0400 -D_WIN32_WINDOWS=0x0410 -D_WIN32_IE=0x0401) ;;
  *)    echo "usage: check-winver.sh 2000|98 OBJDUMP EXE CXX"; exit 2 ;;
esac

# Functions of XP and later that the headers declare for older systems anyway.
unguarded='^(AddVectoredExceptionHandler|RemoveVectoredExceptionHandler|AddVectoredContinueHandler|RemoveVectoredContinueHandler)$'
# The C runtime's start-up entry points, which no header declares; each is in
# the msvcrt.dll of Windows 98 and 2000.
startup='^(__getmainargs|__wgetmainargs|__set_app_type|__setusermatherr|__p__fmode|__p__commode|__p___argv|__p___argc|__p__acmdln|__initenv|__argc|__argv|_amsg_exit|_initterm|_cexit|_onexit|__dllonexit|_iob|__C_specific_handler|_lock|_unlock|__lconv_init|__mb_cur_max|_errno|_setjmp3|_commode|_fmode)$'
# The wide-character functions Windows 95, 98 and ME implement themselves.
wide98='^(EnumResourceLanguagesW|EnumResourceNamesW|EnumResourceTypesW|ExtTextOutW|FindResourceW|FindResourceExW|GetCharWidthW|GetCommandLineW|GetTextExtentPoint32W|GetTextExtentPointW|lstrlenW|MessageBoxExW|MessageBoxW|MultiByteToWideChar|TextOutW|WideCharToMultiByte)$'
# COMCTL32 4.00's functions (Windows 95 and NT 4.0 as installed); 4.70 added
# InitCommonControlsEx, ImageList_Copy, _TrackMouseEvent and the rest.
comctl400='^(CreateMappedBitmap|CreatePropertySheetPage|CreatePropertySheetPageA|CreatePropertySheetPageW|CreateStatusWindow|CreateStatusWindowA|CreateStatusWindowW|CreateToolbar|CreateToolbarEx|CreateUpDownControl|DestroyPropertySheetPage|DrawInsert|DrawStatusText|DrawStatusTextA|DrawStatusTextW|GetEffectiveClientRect|ImageList_Add|ImageList_AddIcon|ImageList_AddMasked|ImageList_BeginDrag|ImageList_Create|ImageList_Destroy|ImageList_DragEnter|ImageList_DragLeave|ImageList_DragMove|ImageList_DragShowNolock|ImageList_Draw|ImageList_DrawEx|ImageList_EndDrag|ImageList_GetBkColor|ImageList_GetDragImage|ImageList_GetIcon|ImageList_GetIconSize|ImageList_GetImageCount|ImageList_GetImageInfo|ImageList_LoadImage|ImageList_LoadImageA|ImageList_LoadImageW|ImageList_Merge|ImageList_Read|ImageList_Remove|ImageList_Replace|ImageList_ReplaceIcon|ImageList_SetBkColor|ImageList_SetDragCursorImage|ImageList_SetIconSize|ImageList_SetOverlayImage|ImageList_Write|InitCommonControls|LBItemFromPt|MakeDragList|MenuHelp|PropertySheet|PropertySheetA|PropertySheetW|ShowHideMenuCtl)$'

"$objdump" -p "$exe" | awk '
  /DLL Name:/ { dll = tolower($3); next }
  /^$/ { dll = "" }
  dll != "" && /^\t[0-9a-f]+\t *[0-9]+ +[A-Za-z_][A-Za-z0-9_@]*$/ { print dll, $NF }' > "$work/imports"
[ -s "$work/imports" ] || { echo "no imports read from $exe"; exit 1; }

bad=0
if [ "$target" = 98 ]; then
  major=$("$objdump" -p "$exe" | awk '/^MajorSubsystemVersion/ { print $2 }')
  if [ "$major" != 4 ]; then echo "SUBSYSTEM version $major.x, not 4.x"; bad=1; fi
fi
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
  if [[ $target == 98 && $dll == comctl32.dll && ! $fn =~ $comctl400 ]]; then
    echo "NEWER  $dll $fn (not in COMCTL32 4.00 of NT 4.0 and Windows 95)"; bad=1
  fi
  if [[ $target == 98 && $dll != msvcrt.dll && $fn == *W && ! $fn =~ $wide98 ]]; then
    echo "WIDE   $dll $fn (a stub that fails on Windows 98)"; bad=1
  fi
  echo "  take(reinterpret_cast<const void*>(&$fn));" >> "$work/probe.cpp"
done < "$work/imports"
echo '}' >> "$work/probe.cpp"

if ! LC_ALL=C "$cxx" -fsyntax-only -fpermissive -w "${defines[@]}" "$work/probe.cpp" 2> "$work/errors"; then
  grep -o "'[A-Za-z0-9_]*' was not declared" "$work/errors" | sed "s/^'\(.*\)' was not declared/NEWER  \1/" | sort -u
  grep -q 'was not declared' "$work/errors" || cat "$work/errors"
  bad=1
fi
echo "$(wc -l < "$work/imports") imported functions checked against $name"
exit $bad
