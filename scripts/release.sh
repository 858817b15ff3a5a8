#!/usr/bin/env bash
# Writes dist/Pendro-1.0-win32.zip: the 32-bit Pendro.exe, built (or reused)
# exactly as the test command builds it, the user guide in English and German
# as Notepad reads them on Windows 98 to 11 (code page 1252, CRLF), and
# SHA256SUMS. The zip is made the same from the same commit anywhere: fixed
# order, times (the commit's) and attributes. Prints its SHA-256.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh >/dev/null
cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 -j "$(nproc)" --target pendro_stamp >/dev/null
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
mkdir -p dist
python3 - build/win32/Pendro.exe docs/guide dist/Pendro-1.0-win32.zip <<'PY'
import hashlib, os, sys, time, zipfile
exe, guide, out = sys.argv[1:]
files = [("Pendro.exe", open(exe, "rb").read())]
for name in ("README.txt", "LIESMICH.txt"):
    text = open(os.path.join(guide, name), encoding="utf-8").read()
    lines = text.split("\n")
    long = [i + 1 for i, line in enumerate(lines) if len(line) > 79]
    if long:
        sys.exit("release: %s: lines over 79 columns: %s" % (name, long))
    files.append((name, "\r\n".join(lines).encode("cp1252")))
sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name) for name, data in files)
files.append(("SHA256SUMS", sums.encode("ascii")))
stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]  # zip times start in 1980
tmp = out + ".part"
with zipfile.ZipFile(tmp, "w") as z:
    for name, data in files:
        info = zipfile.ZipInfo(name, stamp)
        info.create_system = 0  # MS-DOS: no owner or mode of this machine
        info.external_attr = 0x20  # archive
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, data, compresslevel=9)
os.replace(tmp, out)
PY
sha256sum dist/Pendro-1.0-win32.zip
