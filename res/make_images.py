#!/usr/bin/env python3
"""Draws the promotional bitmap (116 x 30, 8 bpp) and the program icon
(32 x 32 and 16 x 16, each in 16 and 256 colours, and 48 x 48 in 16 colours)
as BMP and ICO files."""
import struct
import sys

GREY = (192, 192, 192)  # the colour the program draws transparent


def palette_256():
    pal = [(0, 0, 0)] * 256
    std16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
             (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
             (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
    pal[:16] = std16
    i = 16
    for r in range(6):
        for g in range(6):
            for b in range(6):
                pal[i] = (r * 51, g * 51, b * 51)
                i += 1
    for k in range(i, 256):
        v = (k - i) * 255 // max(1, 255 - i)
        pal[k] = (v, v, v)
    return pal


PAL256 = palette_256()
PAL16 = PAL256[:16]


def nearest(pal, rgb):
    return min(range(len(pal)), key=lambda i: sum((a - b) ** 2 for a, b in zip(pal[i], rgb)))


def logo(w, h, x, y):
    """The program's mark: a blue disc with a yellow wave, on transparent ground."""
    cx, cy, r = (w - 1) / 2, (h - 1) / 2, min(w, h) / 2 - 0.5
    d2 = (x - cx) ** 2 + (y - cy) ** 2
    if d2 > r * r:
        return None
    if d2 > (r - max(1, r / 8)) ** 2:
        return (0, 0, 128)
    fx = (x - cx) / r
    wave = cy + (r * 0.45) * __import__("math").sin(fx * 3.2)
    if abs(y - wave) <= max(0.8, r / 7):
        return (255, 255, 0)
    return (0, 102, 204)


def promo_pixel(x, y):
    icon = logo(30, 30, x, y) if x < 30 else None
    if x < 30:
        return icon or GREY
    # three bars of falling height, like a signal meter, then a band
    for i, top in enumerate((6, 12, 18)):
        if 36 + i * 9 <= x < 42 + i * 9 and top <= y < 26:
            return (0, 128, 0)
    if 66 <= x < 114 and 10 <= y < 20:
        return (0, 0, 128) if (x - 66) // 4 % 2 == 0 else (255, 255, 255)
    return GREY


def bmp_rows(w, h, bpp, indices):
    """Bottom-up rows padded to 4 bytes."""
    rows = []
    for y in range(h - 1, -1, -1):
        row = indices[y]
        if bpp == 8:
            data = bytes(row)
        elif bpp == 4:
            data = bytes((row[i] << 4) | (row[i + 1] if i + 1 < w else 0) for i in range(0, w, 2))
        else:  # 1 bpp mask
            data = bytes(sum(row[i + b] << (7 - b) for b in range(8) if i + b < w) for i in range(0, w, 8))
        rows.append(data + b"\0" * ((-len(data)) % 4))
    return b"".join(rows)


def write_bmp(path):
    w, h = 116, 30
    idx = [[nearest(PAL256, promo_pixel(x, y)) for x in range(w)] for y in range(h)]
    pixels = bmp_rows(w, h, 8, idx)
    # Still 8 bits per pixel, with only the palette entries it uses: the
    # program is to stay small.
    used = max(max(row) for row in idx) + 1
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PAL256[:used])
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(pixels), 2835, 2835, used, used)
    off = 14 + len(header) + len(pal)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", off + len(pixels), 0, 0, off))
        f.write(header + pal + pixels)


# The 16 colours of the 48-pixel image: the standard ones, with the mark's blue
# in place of teal, so that it looks as the 256-colour images do.
LOGO16 = PAL16[:6] + [(0, 102, 204)] + PAL16[7:]


def icon_image(size, bpp, pal=None):
    pal = pal or (PAL256 if bpp == 8 else PAL16)
    idx, mask = [], []
    for y in range(size):
        row, mrow = [], []
        for x in range(size):
            c = logo(size, size, x, y)
            row.append(nearest(pal, c) if c else 0)
            mrow.append(0 if c else 1)
        idx.append(row)
        mask.append(mrow)
    # Only the palette entries used, as in the bitmap.
    pal = pal[:max(max(row) for row in idx) + 1]
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, 0, 0, 0, len(pal), 0)
    palb = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in pal)
    return header + palb + bmp_rows(size, size, bpp, idx) + bmp_rows(size, size, 1, mask)


def write_ico(path):
    # 32 and 16 in 16 and 256 colours, and 48 in 16 colours for the sizes of
    # higher DPIs, which the loader then scales down rather than up; a 24 does
    # not fit in the program's 80 KB.
    images = [(48, 4), (32, 4), (32, 8), (16, 4), (16, 8)]
    blobs = [icon_image(s, b, LOGO16 if s == 48 else None) for s, b in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    off = 6 + 16 * len(images)
    for (s, b), blob in zip(images, blobs):
        colours = 16 if b == 4 else 0
        out += struct.pack("<BBBBHHII", s, s, colours, 0, 1, b, len(blob), off)
        off += len(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


def write_manifest(source, path):
    """The manifest without its comments and the blanks between elements."""
    import re
    with open(source, encoding="utf-8") as f:
        text = re.sub(r"<!--.*?-->", "", f.read(), flags=re.S)
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(re.sub(r">\s+<", "><", text).strip())


if __name__ == "__main__":
    outdir = sys.argv[1] if len(sys.argv) > 1 else "."
    write_bmp(f"{outdir}/promo.bmp")
    write_ico(f"{outdir}/pendro.ico")
    if len(sys.argv) > 2:
        write_manifest(sys.argv[2], f"{outdir}/pendro.min.manifest")
