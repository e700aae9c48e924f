#!/usr/bin/env python3
"""Checks resources/pixelart.py: the bytes of the cursors and icons it writes, and the art it refuses.

The Wine tests compare the cursors the player draws with the art files pixel for pixel; these checks
cover what they cannot see: the directory fields, two-colour pictures, packing of odd widths.
"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.environ.get("TAVREL_SOURCE", os.path.join(HERE, "..", "..", ".."))
sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.join(SOURCE, "resources"))
import pixelart  # noqa: E402


def image(data):
    """(directory fields, BITMAPINFOHEADER fields, palette, bits after the palette)."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    entry = struct.unpack_from("<BBBBHHII", data, 6)
    header = struct.unpack_from("<IiiHHIIiiII", data, 22)
    colours = 1 << header[4]
    palette = [struct.unpack_from("<BBBB", data, 62 + 4 * i) for i in range(colours)]
    return (reserved, kind, count), entry, header, palette, data[62 + 4 * colours:]


class Output(unittest.TestCase):
    def test_cursor_fields_and_pixels(self):
        art = "size 3 2\nhotspot 1 0\n# comment\nG.R\nKWs\n"
        data = pixelart.build(*pixelart.parse(art))
        (reserved, kind, count), entry, header, palette, bits = image(data)
        self.assertEqual((reserved, kind, count), (0, 2, 1))
        width, height, colours, _, hot_x, hot_y, size, offset = entry
        self.assertEqual((width, height, colours, hot_x, hot_y, offset), (3, 2, 16, 1, 0, 22))
        self.assertEqual(size, len(data) - 22)
        self.assertEqual(header[:5], (40, 3, 4, 1, 4))  # doubled height: colour bits and mask
        self.assertEqual(palette[10], (0, 255, 0, 0))   # G, stored blue-green-red
        self.assertEqual(palette[9], (0, 0, 255, 0))    # R
        # Bottom-up rows of 4 bytes: "KWs" = 0, 15, 7; then "G.R" = 10, 0 (transparent), 9.
        self.assertEqual(bits[0:4], bytes([0x0F, 0x70, 0, 0]))
        self.assertEqual(bits[4:8], bytes([0xA0, 0x90, 0, 0]))
        # The mask, bottom-up: nothing transparent in "KWs", the middle pixel of "G.R".
        self.assertEqual(bits[8:12], bytes([0x00, 0, 0, 0]))
        self.assertEqual(bits[12:16], bytes([0x40, 0, 0, 0]))
        self.assertEqual(len(bits), 16)

    def test_two_colour_icon(self):
        rows = ["KW" * 5, "." * 10]
        data = pixelart.build(*pixelart.parse("size 10 2\ndepth 1\n" + "\n".join(rows) + "\n"))
        (_, kind, _), entry, header, palette, bits = image(data)
        self.assertEqual(kind, 1)
        self.assertEqual(entry[2], 2)                   # two colours
        self.assertEqual((entry[4], entry[5]), (1, 1))  # planes, bit count
        self.assertEqual(header[4], 1)
        self.assertEqual(palette, [(0, 0, 0, 0), (255, 255, 255, 0)])
        self.assertEqual(bits[0:4], bytes([0, 0, 0, 0]))        # the transparent row: colour 0
        self.assertEqual(bits[4:8], bytes([0x55, 0x40, 0, 0]))  # K W K W ... in 10 bits
        self.assertEqual(bits[8:12], bytes([0xFF, 0xC0, 0, 0]))  # its mask: all transparent
        self.assertEqual(bits[12:16], bytes([0, 0, 0, 0]))

    def test_project_art_builds(self):
        art_dir = os.path.join(SOURCE, "resources", "art")
        for name in sorted(os.listdir(art_dir)):
            with open(os.path.join(art_dir, name), encoding="utf-8") as f:
                width, height, hotspot, depth, rows = pixelart.parse(f.read(), name)
            pixelart.build(width, height, hotspot, depth, rows, name)
            if name.startswith("cur"):
                self.assertEqual((width, height, hotspot, depth), (32, 32, (11, 11), 4), name)
                self.assertEqual(rows[11][11], "K", name + ": the arrow's tip is at the hotspot")

    def test_notification_icons(self):
        # The recording and the paused icon take turns in the notification area: both 16x16 in two
        # colours, which every tray shows unscaled, and told apart by their pixels.
        art_dir = os.path.join(SOURCE, "resources", "art")
        icons = []
        for name in ("mainicon_rec.txt", "mainicon_pause.txt"):
            with open(os.path.join(art_dir, name), encoding="utf-8") as f:
                width, height, hotspot, depth, rows = pixelart.parse(f.read(), name)
            self.assertEqual((width, height, hotspot, depth), (16, 16, None, 1), name)
            icons.append(rows)
        self.assertNotEqual(icons[0], icons[1])


class Refused(unittest.TestCase):
    def refused(self, art):
        with self.assertRaises(pixelart.ArtError):
            pixelart.build(*pixelart.parse(art))

    def test_bad_art(self):
        self.refused("GG\n")                              # no size
        self.refused("size 2 2\nGG\nG\n")                 # short row
        self.refused("size 2 2\nGG\n")                    # missing row
        self.refused("size 2 1\nGG\nGG\n")                # extra row
        self.refused("size 2 1\nGZ\n")                    # no such colour
        self.refused("size 2 1\ndepth 1\nKG\n")           # colour in a two-colour picture
        self.refused("size 2 1\nhotspot 2 0\nGG\n")       # hotspot outside
        self.refused("size 2 1\ndepth 8\nGG\n")           # unsupported depth
        self.refused("size 0 1\n\n")

    def test_command_checks_the_extension(self):
        with tempfile.TemporaryDirectory() as d:
            art = os.path.join(d, "a.txt")
            with open(art, "w") as f:
                f.write("size 1 1\nhotspot 0 0\nK\n")
            script = os.path.join(SOURCE, "resources", "pixelart.py")
            bad = subprocess.run([sys.executable, script, art, os.path.join(d, "a.ico")], capture_output=True)
            self.assertEqual(bad.returncode, 1)
            good = subprocess.run([sys.executable, script, art, os.path.join(d, "a.cur")])
            self.assertEqual(good.returncode, 0)
            self.assertTrue(os.path.getsize(os.path.join(d, "a.cur")) > 22)


if __name__ == "__main__":
    unittest.main()
