#!/usr/bin/env python3
"""Turns a 24-bit bottom-up BMP (as tarvelo.exe's window_screenshot writes
it) into a PNG, with Python's own zlib: bmp_to_png.py INPUT.bmp OUTPUT.png"""
import struct
import sys
import zlib


def main():
    source, target = sys.argv[1], sys.argv[2]
    data = open(source, "rb").read()
    if data[:2] != b"BM":
        sys.exit(f"{source}: not a bitmap")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24 or height <= 0:
        sys.exit(f"{source}: not a 24-bit bottom-up bitmap")
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in range(height - 1, -1, -1):
        row = data[offset + y * stride:offset + y * stride + width * 3]
        rgb = bytearray(row)
        rgb[0::3], rgb[2::3] = row[2::3], row[0::3]
        rows.append(b"\0" + bytes(rgb))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    open(target, "wb").write(png)


if __name__ == "__main__":
    main()
