#!/usr/bin/env python3
"""Stamps a PE file with its commit's time and the checksum its bytes have.

Usage: pe-stamp.py EXE SOURCE_TREE

The linker writes the time of the link, so two builds of one commit differ.
The time is SOURCE_DATE_EPOCH where that is set, else the time of the commit
checked out in SOURCE_TREE; never zero, which some scanners take for a packed
file. The checksum is computed as Windows' CheckSumMappedFile does. The file
is rewritten only when a byte changes.
"""
import os
import struct
import subprocess
import sys


def commit_time(tree):
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    out = subprocess.run(["git", "-C", tree, "log", "-1", "--format=%ct"], capture_output=True, text=True)
    if out.returncode != 0 or not out.stdout.strip():
        sys.exit("pe-stamp: no commit time: build from a git checkout or set SOURCE_DATE_EPOCH")
    return int(out.stdout.strip())


def checksum(data, at):
    padded = data + b"\0" * (len(data) % 2)
    words = struct.unpack("<%dH" % (len(padded) // 2), padded)
    total = sum(words) - words[at // 2] - words[at // 2 + 1]
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main():
    exe, tree = sys.argv[1], sys.argv[2]
    with open(exe, "rb") as f:
        data = bytearray(f.read())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        sys.exit("pe-stamp: %s is not a PE file" % exe)
    stamp = commit_time(tree)
    if not 0 < stamp < 2**32:
        sys.exit("pe-stamp: commit time %d does not fit a PE time stamp" % stamp)
    struct.pack_into("<I", data, pe + 8, stamp)
    at = pe + 24 + 64  # the optional header's CheckSum, in PE32 and PE32+ alike
    struct.pack_into("<I", data, at, checksum(bytes(data), at))
    with open(exe, "rb") as f:
        if f.read() == data:
            return
    with open(exe, "r+b") as f:
        f.write(data)


if __name__ == "__main__":
    main()
