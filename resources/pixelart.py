#!/usr/bin/env python3
"""Turns a text pixel-art file into a Windows cursor (.cur) or icon (.ico).

    pixelart.py ART.txt OUT.cur|OUT.ico

The art file, line by line:
    # comment                 (lines starting with '#')
    size W H                  picture size in pixels
    hotspot X Y               optional: present -> cursor (.cur), absent -> icon (.ico)
    depth 1 | depth 4         optional, default 4: 16 colours; 1: two colours, black and white
    then H rows of W characters, top row first:
      .  transparent
      K black   W white   R red        G green (0,255,0)   B blue   Y yellow   C cyan   M magenta
      r dark red  g dark green  b dark blue  y olive  c teal  m purple  s silver  d grey

The output holds one image: a BITMAPINFOHEADER with the doubled height of icon resources, the palette,
the colour (XOR) bitmap and the 1-bit transparency (AND) mask, both bottom-up with rows padded to
32 bits. Transparent pixels are colour 0 with mask bit 1, so the screen shows through unchanged.
"""
import struct
import sys

# The standard 16-colour palette, in its usual index order.
PALETTE16 = [
    ("K", (0, 0, 0)), ("r", (128, 0, 0)), ("g", (0, 128, 0)), ("y", (128, 128, 0)),
    ("b", (0, 0, 128)), ("m", (128, 0, 128)), ("c", (0, 128, 128)), ("s", (192, 192, 192)),
    ("d", (128, 128, 128)), ("R", (255, 0, 0)), ("G", (0, 255, 0)), ("Y", (255, 255, 0)),
    ("B", (0, 0, 255)), ("M", (255, 0, 255)), ("C", (0, 255, 255)), ("W", (255, 255, 255)),
]
PALETTE2 = [("K", (0, 0, 0)), ("W", (255, 255, 255))]
TRANSPARENT = "."


class ArtError(Exception):
    pass


def parse(text, name="art"):
    """Returns (width, height, hotspot or None, depth, rows)."""
    size = hotspot = None
    depth = 4
    rows = []
    for number, raw in enumerate(text.splitlines(), 1):
        line = raw.rstrip()
        where = f"{name}:{number}"
        if not line or line.startswith("#"):
            continue
        words = line.split()
        if words[0] not in ("size", "hotspot", "depth"):
            if size is None:
                raise ArtError(f"{where}: picture row before the 'size W H' line")
            if len(rows) == size[1]:
                raise ArtError(f"{where}: more than {size[1]} rows")
            if len(line) != size[0]:
                raise ArtError(f"{where}: row of {len(line)} characters, expected {size[0]}")
            rows.append(line)
            continue
        try:
            values = [int(w) for w in words[1:]]
        except ValueError:
            raise ArtError(f"{where}: numbers expected in '{line}'")
        if words[0] == "size" and len(values) == 2:
            size = tuple(values)
            if not (1 <= size[0] <= 256 and 1 <= size[1] <= 256):
                raise ArtError(f"{where}: size must be 1..256")
        elif words[0] == "hotspot" and len(values) == 2:
            hotspot = tuple(values)
        elif words[0] == "depth" and len(values) == 1 and values[0] in (1, 4):
            depth = values[0]
        else:
            raise ArtError(f"{where}: cannot read '{line}'")
    if size is None:
        raise ArtError(f"{name}: no 'size W H' line")
    if len(rows) != size[1]:
        raise ArtError(f"{name}: {len(rows)} rows, expected {size[1]}")
    if hotspot and not (0 <= hotspot[0] < size[0] and 0 <= hotspot[1] < size[1]):
        raise ArtError(f"{name}: hotspot outside the picture")
    return size[0], size[1], hotspot, depth, rows


def pack_rows(rows_of_values, bits):
    """Bottom-up rows of `bits`-bit values, each row padded to a multiple of 4 bytes."""
    out = bytearray()
    for values in reversed(rows_of_values):
        row = bytearray()
        acc = count = 0
        for v in values:
            acc = (acc << bits) | v
            count += bits
            if count == 8:
                row.append(acc)
                acc = count = 0
        if count:
            row.append(acc << (8 - count))
        row.extend(b"\0" * (-len(row) % 4))
        out += row
    return bytes(out)


def build(width, height, hotspot, depth, rows, name="art"):
    palette = PALETTE16 if depth == 4 else PALETTE2
    index = {code: i for i, (code, _) in enumerate(palette)}
    colours, mask = [], []
    for y, row in enumerate(rows):
        crow, mrow = [], []
        for x, ch in enumerate(row):
            if ch == TRANSPARENT:
                crow.append(0)
                mrow.append(1)
            elif ch in index:
                crow.append(index[ch])
                mrow.append(0)
            else:
                raise ArtError(f"{name}: '{ch}' at {x},{y} is no colour of a {depth}-bit picture")
        colours.append(crow)
        mask.append(mrow)
    xor = pack_rows(colours, depth)
    andmask = pack_rows(mask, 1)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, depth, 0, len(xor) + len(andmask),
                         0, 0, 0, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for _, (r, g, b) in palette)
    image = header + pal + xor + andmask
    kind = 2 if hotspot else 1
    # Directory entry: for icons planes and bit count, for cursors the hotspot in the same two fields.
    field1, field2 = hotspot if hotspot else (1, depth)
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 1 << depth if depth < 8 else 0, 0,
                        field1, field2, len(image), 6 + 16)
    return struct.pack("<HHH", 0, kind, 1) + entry + image


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    source, target = argv[1], argv[2]
    try:
        with open(source, encoding="utf-8") as f:
            width, height, hotspot, depth, rows = parse(f.read(), source)
        wanted = ".cur" if hotspot else ".ico"
        if not target.lower().endswith(wanted):
            raise ArtError(f"{source}: {'a hotspot' if hotspot else 'no hotspot'} makes a {wanted} file, "
                           f"not {target}")
        data = build(width, height, hotspot, depth, rows, source)
    except (ArtError, UnicodeDecodeError) as e:
        print(f"pixelart: {e}", file=sys.stderr)
        return 1
    with open(target, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
