#!/usr/bin/env python3
"""Where the player's sections end in its file, and each section's size without padding.

    python3 scripts/player-bytes.py build/win/player/Player.exe build/win64/player/Player.exe

The end is the file offset where the last section's raw data ends; everything from there to the
file's 20,480 bytes is padding, the room left for features (docs/player-bytes.md).
"""
import struct
import sys

for path in sys.argv[1:]:
    data = open(path, 'rb').read()
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    count, = struct.unpack_from('<H', data, pe + 6)
    optional, = struct.unpack_from('<H', data, pe + 20)
    table = pe + 24 + optional
    end, sections = 0, []
    for i in range(count):
        entry = table + 40 * i
        name = data[entry:entry + 8].rstrip(b'\0').decode('ascii')
        virtual, = struct.unpack_from('<I', data, entry + 8)
        raw, pointer = struct.unpack_from('<II', data, entry + 16)
        end = max(end, pointer + raw)
        sections.append(f'{name} {virtual}')
    print(f'{path}: {len(data)} bytes, sections end at {end}: {", ".join(sections)}')
