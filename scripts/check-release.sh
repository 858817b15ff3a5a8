#!/usr/bin/env bash
# What a user downloads is what the tests ran, and anyone gets it again:
# builds both exes once more from a copy of the tree under a path with a
# blank, in another time zone, umask and locale, and compares every byte with
# the build the tests ran; then checks the zip of scripts/release.sh: its exe
# is that one, SHA256SUMS holds, and the two guides are code page 1252, CRLF,
# every line under 80 columns.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
work=$(mktemp -d "/tmp/pendro release.XXXXXX")
trap 'rm -rf "$work"' EXIT
copy="$work/another tree"
mkdir -p "$copy"
git ls-files -z --cached --others --exclude-standard | tar --null --ignore-failed-read -T - -cf - | tar -xf - -C "$copy"
status=0
for arch in win32 win64; do
  toolchain=$([ $arch = win32 ] && echo mingw-i686 || echo mingw-x86_64)
  (cd "$copy" && umask 077 && export TZ=UTC-14 LC_ALL=de_DE.UTF-8 &&
    cmake -S . -B "build/$arch" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/$toolchain.cmake -DCMAKE_BUILD_TYPE=Release \
      -DPENDRO_BUILD_TESTS=OFF >/dev/null &&
    cmake --build "build/$arch" -j "$(nproc)" --target pendro_stamp >/dev/null)
  if cmp "build/$arch/Pendro.exe" "$copy/build/$arch/Pendro.exe"; then
    echo "reproducible: build/$arch/Pendro.exe $(sha256sum <"build/$arch/Pendro.exe" | cut -c1-64)"
  else
    echo "NOT reproducible: build/$arch/Pendro.exe differs from the build of a copy of the tree"; status=1
  fi
  # Neither the folder nor the machine may show in the bytes.
  for leak in "$root" "$copy" "$(uname -n)"; do
    if [ ${#leak} -ge 6 ] && grep -qaF "$leak" "build/$arch/Pendro.exe"; then echo "build/$arch/Pendro.exe holds \"$leak\""; status=1; fi
  done
done
stamp=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(); print(struct.unpack_from("<I",d,struct.unpack_from("<I",d,60)[0]+8)[0])' build/win32/Pendro.exe)
[ "$stamp" = "$SOURCE_DATE_EPOCH" ] || { echo "PE time stamp $stamp is not the commit's $SOURCE_DATE_EPOCH"; status=1; }

bash scripts/release.sh
zip=dist/Pendro-1.0-win32.zip
unzip -tq "$zip"
unzip -q "$zip" -d "$work/unpacked"
cmp build/win32/Pendro.exe "$work/unpacked/Pendro.exe" || { echo "the zip's exe is not the tested one"; status=1; }
(cd "$work/unpacked" && sha256sum --quiet -c SHA256SUMS) || status=1
for f in README.txt LIESMICH.txt; do
  python3 - "$work/unpacked/$f" <<'PY' || status=1
import sys
data = open(sys.argv[1], "rb").read()
text = data.decode("cp1252")  # fails on bytes the code page has not
lines = text.split("\r\n")
assert lines[-1] == "", "%s does not end in CRLF" % sys.argv[1]
assert "\n" not in text.replace("\r\n", ""), "%s has a line end that is not CRLF" % sys.argv[1]
assert max(map(len, lines)) < 80, "%s has a line of 80 columns or more" % sys.argv[1]
assert any(c in text for c in "äöüß") or "README" in sys.argv[1], "%s lost its umlauts" % sys.argv[1]
PY
done
exit $status
