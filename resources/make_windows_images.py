#!/usr/bin/python3
"""Writes the Windows program's icon (vigie.ico) and banner (banner.bmp) from the same drawings
as make_images.py: the icon holds the 16, 32, 48 and 64 pixel images (32-bit colour with alpha), so
it stays sharp at 100 % to 200 % scaling; the banner is a 24-bit bitmap of 300 x 100 pixels.

Standard library only. Run it from anywhere; the files land beside this script.
"""

import os
import struct

from make_images import banner, icon

ICON_SIZES = (16, 32, 48, 64)


def dib(width, height, rows, bits, mask_rows=None):
    """A device-independent bitmap: header and bottom-up pixel rows (BGRA or BGR)."""
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for x in range(width):
            r, g, b, a = row[4 * x : 4 * x + 4]
            line += bytes([b, g, r, a]) if bits == 32 else bytes([b, g, r])
        line += b"\0" * (-len(line) % 4)
        pixels += line
    mask = bytearray()
    if mask_rows is not None:
        for row in reversed(mask_rows):
            line = bytearray((width + 7) // 8)
            for x in range(width):
                if row[4 * x + 3] == 0:
                    line[x // 8] |= 0x80 >> (x % 8)
            line += b"\0" * (-len(line) % 4)
            mask += line
    # An icon's header counts the colour and the mask images together: twice the height.
    header_height = height * 2 if mask_rows is not None else height
    header = struct.pack("<IiiHHIIiiII", 40, width, header_height, 1, bits, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def write_ico(path, images):
    entries = b""
    data = b""
    offset = 6 + 16 * len(images)
    for size, rows in images:
        body = dib(size, size, rows, 32, mask_rows=rows)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(body),
                               offset + len(data))
        data += body
    with open(path, "wb") as out:
        out.write(struct.pack("<HHH", 0, 1, len(images)) + entries + data)


def write_bmp(path, width, height, rows):
    body = dib(width, height, rows, 24)
    with open(path, "wb") as out:
        out.write(struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, 14 + 40) + body)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    write_ico(os.path.join(here, "vigie.ico"), [(size, icon(size)) for size in ICON_SIZES])
    write_bmp(os.path.join(here, "banner.bmp"), 300, 100, banner())


if __name__ == "__main__":
    main()
