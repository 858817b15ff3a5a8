#!/usr/bin/env bash
# The import checks must be able to fail. Windows 2000: the POSIX-threads
# runtime of the same compiler imports XP and Vista functions even for a small
# program, which the win32-threads runtime does not. Windows 98: a program that
# loads its texts with LoadStringW, a stub there, against one that uses
# LoadStringA; and one that imports InitCommonControlsEx, which COMCTL32 4.00
# lacks, against one that imports InitCommonControls.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
cxx=i686-w64-mingw32-g++-win32 objdump=i686-w64-mingw32-objdump
cat > "$work/probe.cpp" <<'CPP'
#include <stdexcept>
int main(int argc, char**)
{
    try {
        if (argc > 5) throw std::runtime_error("x");
    } catch (const std::exception&) {
        return 1;
    }
    return 0;
}
CPP
for flavour in posix win32; do
  i686-w64-mingw32-g++-$flavour -static -O2 "$work/probe.cpp" -o "$work/$flavour.exe"
done
if "$here/check-winver.sh" 2000 $objdump "$work/posix.exe" $cxx >/dev/null; then
  echo "control: the Windows 2000 check passed a POSIX-threads build"; exit 1
fi
"$here/check-winver.sh" 2000 $objdump "$work/win32.exe" $cxx >/dev/null ||
  { echo "control: the Windows 2000 check failed a win32-threads build"; exit 1; }

for kind in "A char" "W wchar_t"; do
  set -- $kind
  cat > "$work/text$1.cpp" <<CPP
#include <windows.h>
int WINAPI WinMain(HINSTANCE i, HINSTANCE, LPSTR, int)
{
    $2 text[64];
    return LoadString$1(i, 1, text, 64);
}
CPP
  $cxx -static -O2 -mwindows "$work/text$1.cpp" -o "$work/text$1.exe"
done
if "$here/check-winver.sh" 98 $objdump "$work/textW.exe" $cxx >/dev/null; then
  echo "control: the Windows 98 check passed a program importing LoadStringW"; exit 1
fi
"$here/check-winver.sh" 98 $objdump "$work/textA.exe" $cxx >/dev/null ||
  { echo "control: the Windows 98 check failed a program importing LoadStringA"; exit 1; }
for kind in "Ex INITCOMMONCONTROLSEX c = {sizeof c, ICC_WIN95_CLASSES}; return InitCommonControlsEx(&c);" \
            "Plain InitCommonControls(); return 0;"; do
  set -- $kind
  name=$1; shift
  printf '#include <windows.h>\n#include <commctrl.h>\nint WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { %s }\n' \
    "$*" > "$work/cc$name.cpp"
  $cxx -static -O2 -mwindows -D_WIN32_IE=0x0500 "$work/cc$name.cpp" -o "$work/cc$name.exe" -lcomctl32
done
if "$here/check-winver.sh" 98 $objdump "$work/ccEx.exe" $cxx >/dev/null; then
  echo "control: the Windows 98 check passed a program importing InitCommonControlsEx"; exit 1
fi
"$here/check-winver.sh" 98 $objdump "$work/ccPlain.exe" $cxx >/dev/null ||
  { echo "control: the Windows 98 check failed a program importing InitCommonControls"; exit 1; }
echo "control: the Windows 2000 check fails a POSIX-threads build and passes a win32-threads one;" \
  "the Windows 98 check fails LoadStringW and passes LoadStringA, fails InitCommonControlsEx and passes InitCommonControls"
