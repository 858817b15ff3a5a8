#!/usr/bin/env bash
# The Windows 2000 check must be able to fail: the POSIX-threads runtime of the
# same compiler imports XP and Vista functions even for a small program, which
# the win32-threads runtime does not.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
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
if "$here/check-win2000.sh" i686-w64-mingw32-objdump "$work/posix.exe" i686-w64-mingw32-g++-win32 >/dev/null; then
  echo "control: the check passed a POSIX-threads build"; exit 1
fi
"$here/check-win2000.sh" i686-w64-mingw32-objdump "$work/win32.exe" i686-w64-mingw32-g++-win32 >/dev/null ||
  { echo "control: the check failed a win32-threads build"; exit 1; }
echo "control: the check fails a POSIX-threads build and passes a win32-threads one"
