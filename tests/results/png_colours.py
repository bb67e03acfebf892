#!/usr/bin/env python3
"""Counts the pixels of a PNG image (8-bit RGB or RGBA, not interlaced) that have each given colour.

    png_colours.py image.png '#1f4e9a' '#d62728' ...

prints the width and height, then one count per colour, one number a line.
"""
import struct
import sys
import zlib


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def pixels(path):
    data = open(path, 'rb').read()
    assert data[:8] == b'\x89PNG\r\n\x1a\n', 'not a PNG file'
    pos, idat = 8, b''
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            width, height, depth, colour, _, _, interlace = struct.unpack('>IIBBBBB', body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, 'unsupported PNG form'
        elif kind == b'IDAT':
            idat += body
        pos += 12 + length
    raw, bpp = zlib.decompress(idat), 3 if colour == 2 else 4
    stride, rows, prior = width * bpp, [], bytearray(width * bpp)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prior[i], prior[i - bpp] if i >= bpp else 0
            line[i] = (line[i] + (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]) & 0xFF
        rows.append(line)
        prior = line
    return width, height, bpp, rows


def main():
    width, height, bpp, rows = pixels(sys.argv[1])
    wanted = [bytes.fromhex(c.lstrip('#')) for c in sys.argv[2:]]
    counts = [0] * len(wanted)
    for line in rows:
        for x in range(0, len(line), bpp):
            pixel = bytes(line[x:x + 3])
            for i, colour in enumerate(wanted):
                if pixel == colour:
                    counts[i] += 1
    print(width, height)
    for count in counts:
        print(count)


main()
