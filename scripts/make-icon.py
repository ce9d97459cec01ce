#!/usr/bin/env python3
"""Builds resources/TarvikBackUp.ico, the Windows program's icon, from the
application pictures (8-bit RGBA PNG files) given on the command line.

Each picture becomes a 32-bit bitmap image of the icon (BGRA rows bottom-up
followed by an all-zero AND mask), the form every Windows version and Wine
read.

    scripts/make-icon.py resources/TarvikBackUp.ico resources/pictures/application-{16,32,48}.png
"""
import struct
import sys
import zlib


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit(f"{path}: not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour != 6 or interlace:
        raise SystemExit(f"{path}: only 8-bit RGBA, non-interlaced pictures are handled")
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            left = line[x - 4] if x >= 4 else 0
            up = previous[x]
            corner = previous[x - 4] if x >= 4 else 0
            if kind == 1:
                line[x] = (line[x] + left) & 255
            elif kind == 2:
                line[x] = (line[x] + up) & 255
            elif kind == 3:
                line[x] = (line[x] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                near = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[x] = (line[x] + near) & 255
        rows.append(bytes(line))
        previous = line
    return width, height, rows


def icon_image(width, height, rows):
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(
        bytes(b for i in range(0, len(row), 4) for b in (row[i + 2], row[i + 1], row[i], row[i + 3]))
        for row in reversed(rows))
    mask_stride = ((width + 31) // 32) * 4
    return header + pixels + bytes(mask_stride * height)


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    images = [read_png(path) for path in sys.argv[2:]]
    blobs = [icon_image(*image) for image in images]
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for (width, height, _), blob in zip(images, blobs):
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    open(sys.argv[1], "wb").write(out + b"".join(blobs))


if __name__ == "__main__":
    main()
