#!/usr/bin/env python3
"""Writes dialog template fixtures with struct, independently of the C++
code: a built empty template, plain and extended templates before and after
their font block is replaced, and the main window's resource."""
import struct
import sys
from pathlib import Path

DS_SETFONT = 0x40
FACE = "MS Shell Dlg 2"


def sz(text):
    return text.encode("utf-16-le") + b"\0\0"


def ordinal(n):
    return struct.pack("<HH", 0xFFFF, n)


def align(buf):
    return buf + b"\0" * (-len(buf) % 4)


def plain_header(style, ex, count, cx, cy, title, font=None):
    b = struct.pack("<IIHhhhh", style, ex, count, 0, 0, cx, cy) + b"\0\0" + b"\0\0" + sz(title)
    if font:
        b += struct.pack("<H", font[0]) + sz(font[1])
    return b


def ext_header(style, ex, count, x, y, cx, cy, menu, title, font=None):
    b = struct.pack("<HHIIIHhhhh", 1, 0xFFFF, 0, ex, style, count, x, y, cx, cy) + menu + b"\0\0" + sz(title)
    if font:
        points, weight, italic, charset, face = font
        b += struct.pack("<HHBB", points, weight, italic, charset) + sz(face)
    return b


def plain_items():
    items = []
    items.append(struct.pack("<IIhhhhH", 0x50010000, 0, 7, 7, 50, 14, 1) + ordinal(0x80) + sz("OK") + struct.pack("<H", 0))
    items.append(struct.pack("<IIhhhhH", 0x50000000, 0, 7, 30, 100, 8, 102) + sz("Static") + ordinal(5)
                 + struct.pack("<H", 6) + b"\x01\x02\x03\x04")
    return items


def ext_items():
    items = []
    items.append(struct.pack("<IIIhhhhI", 0, 0, 0x50010000, 7, 7, 50, 14, 1) + ordinal(0x80) + sz("OK")
                 + struct.pack("<H", 0))
    items.append(struct.pack("<IIIhhhhI", 0, 0, 0x50000000, 7, 30, 100, 8, 102) + sz("Static") + sz("Text")
                 + struct.pack("<H", 3) + b"\x09\x08\x07")
    return items


def with_items(header, items):
    b = header
    for i, item in enumerate(items):
        b = align(b) + item
    return b


def main(out):
    out = Path(out)
    style, ex = 0x92C82084, 0x401
    built = plain_header(style | DS_SETFONT, ex, 0, 100, 50, "Test title", (9, FACE))
    (out / "built.bin").write_bytes(built + b"\0" * (1024 - len(built)))

    plain_style = 0x80C80000
    (out / "plain_in.bin").write_bytes(with_items(plain_header(plain_style, 0, 2, 200, 100, "T"), plain_items()))
    (out / "plain_out.bin").write_bytes(
        with_items(plain_header(plain_style | DS_SETFONT, 0, 2, 200, 100, "T", (9, FACE)), plain_items()))

    ext_style = 0x80C80000 | DS_SETFONT
    long_face = "Microsoft Sans Serif Long Face Name"
    (out / "ext_in.bin").write_bytes(with_items(
        ext_header(ext_style, 0, 2, 5, 6, 200, 100, b"\0\0", "Ext", (8, 700, 1, 2, long_face)), ext_items()))
    (out / "ext_out.bin").write_bytes(with_items(
        ext_header(ext_style, 0, 2, 5, 6, 200, 100, b"\0\0", "Ext", (9, 700, 1, 2, FACE)), ext_items()))

    (out / "resource1.bin").write_bytes(
        ext_header(0x82CF084C, 0, 0, 40, 40, 0, 0, ordinal(1), "Porlinex", (8, 400, 0, 1, FACE)))


if __name__ == "__main__":
    main(sys.argv[1])
