#!/usr/bin/env python3
"""Leaves the zero bytes at the end of a PE image's last section out of the file.

    TrimZeroTail.py IMAGE

ld writes a section's zero-filled variables into the file like any other data. The loader fills every
section beyond its raw data with zeros up to its virtual size, so the last section's raw data need
only reach its last non-zero byte, rounded up to the file alignment; the file ends there. The player
keeps its zero-filled variables at the end of its last section (player/Player.ld) for this.
"""
import struct
import sys


def trim(image):
    """The image with its last section's zero tail cut off."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    sections, optional_size = struct.unpack_from("<H", image, pe + 6)[0], struct.unpack_from("<H", image, pe + 20)[0]
    optional = pe + 24
    file_alignment = struct.unpack_from("<I", image, optional + 36)[0]
    table = optional + optional_size
    # The last section in the file: the one whose raw data lies furthest back.
    last = max(range(sections), key=lambda k: struct.unpack_from("<I", image, table + 40 * k + 20)[0])
    header = table + 40 * last
    raw_size, raw_offset = struct.unpack_from("<II", image, header + 16)
    if raw_offset + raw_size != len(image):
        raise ValueError("the last section's raw data does not end the file")
    used = len(image[raw_offset:raw_offset + raw_size].rstrip(b"\0"))
    kept = -(-used // file_alignment) * file_alignment
    saved = raw_size - kept
    out = bytearray(image[:raw_offset + kept])
    struct.pack_into("<I", out, header + 16, kept)
    # SizeOfInitializedData adds up the raw sizes of the data sections; the loader does not read it.
    initialized = struct.unpack_from("<I", out, optional + 8)[0]
    struct.pack_into("<I", out, optional + 8, max(initialized - saved, 0))
    return bytes(out)


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    with open(argv[1], "rb") as f:
        image = f.read()
    try:
        trimmed = trim(image)
    except (ValueError, struct.error) as e:
        print(f"TrimZeroTail: {argv[1]}: {e}", file=sys.stderr)
        return 1
    with open(argv[1], "wb") as f:
        f.write(trimmed)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
