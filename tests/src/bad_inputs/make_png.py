#!/usr/bin/env python3
"""Writes a PNG whose header claims WIDTH x HEIGHT pixels (8-bit RGB) and
whose image data holds only a few bytes: a file of a few dozen bytes that
asks the decoder for an enormous image.

    make_png.py PATH WIDTH HEIGHT
"""
import struct
import sys
import zlib


def chunk(kind, data):
    crc = zlib.crc32(kind + data) & 0xFFFFFFFF
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc)


def main():
    path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    data = zlib.compress(b"\x00" + b"\x80" * 30)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", data) +
                  chunk(b"IEND", b""))


if __name__ == "__main__":
    main()
