#!/usr/bin/env python3
"""The picture of the recorder's colour test, and the screen as raw pixels.

  colour_picture.py picture OUT.xwd W H   writes the picture as an X window dump (24-bit TrueColor) for
                                          xwud: a Windows 10/11-like page in the colours 256 colours
                                          cannot keep (title-bar grey, light greys, grey text, pale
                                          blue) and a gradient of thousands of colours
  colour_picture.py screen IN.rgb OUT     ImageMagick's raw 8-bit RGB screenshot ("rgb:") as the
                                          recorder_check's screen file: 0x00RRGGBB, little-endian
"""
import struct
import sys


def colour(x, y, w, h):
    if y < 24:
        return 0x202020  # the title bar
    if 30 <= y < 40 and 8 <= x < w // 2 - 8 and (x // 3 + y) % 4 != 0:
        return 0x5D5D5D  # grey text, strokes with gaps
    if 46 <= y < 62 and 8 <= x < w // 2 - 8:
        return 0xCCE8FF  # a selected item's pale blue
    if 50 <= y < 58 and 12 <= x < 60 and x % 3 != 0:
        return 0x767676  # lighter grey text on the selection
    if y >= h - 40:  # a gradient: every pixel of a row another colour
        return (x * 255 // (w - 1)) << 16 | (96 + (y - (h - 40)) * 3) << 8 | (255 - x * 200 // (w - 1))
    return 0xF3F3F3 if x < w // 2 else 0xE9E9E9  # two panels


def picture(path, w, h):
    name = b"colours\0"
    fields = [100 + len(name), 7, 2, 24, w, h, 0, 0, 32, 0, 32, 32, w * 4, 4, 0xFF0000, 0xFF00, 0xFF, 8, 256, 0,
              w, h, 0, 0, 0]
    with open(path, "wb") as out:
        out.write(struct.pack(">25I", *fields) + name)  # the header's fields are big-endian
        for y in range(h):  # byte order 0: each pixel least significant byte first
            out.write(b"".join(struct.pack("<I", colour(x, y, w, h)) for x in range(w)))


def screen(source, target):
    rgb = open(source, "rb").read()
    with open(target, "wb") as out:
        out.write(b"".join(bytes((rgb[i + 2], rgb[i + 1], rgb[i], 0)) for i in range(0, len(rgb), 3)))


if __name__ == "__main__":
    if sys.argv[1] == "picture":
        picture(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif sys.argv[1] == "screen":
        screen(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
