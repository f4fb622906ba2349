#!/usr/bin/env python3
"""Writes the program's .ico (one 32 x 32 image, 4 bits a pixel) from its text picture."""
import struct
import sys

PALETTE = {
    'k': (0, 0, 0), 'g': (128, 128, 128), 'w': (255, 255, 255), 'b': (0, 90, 200),
    'd': (0, 40, 120), 'l': (200, 200, 200),
}
SIZE = 32


def main(source, target):
    rows = [line.rstrip('\n') for line in open(source, encoding='ascii') if not line.startswith('#')]
    if len(rows) != SIZE or any(len(row) != SIZE for row in rows):
        sys.exit(f'{source}: the picture must be {SIZE} rows of {SIZE} characters')
    letters = sorted(PALETTE)
    colours = [(0, 0, 0)] + [PALETTE[letter] for letter in letters]
    index = {letter: i + 1 for i, letter in enumerate(letters)}
    index['.'] = 0
    colour_table = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in colours)
    colour_table += b'\0' * (16 * 4 - len(colour_table))
    pixels = b''
    mask = b''
    for row in reversed(rows):  # bitmaps run bottom-up
        pixels += bytes((index[row[x]] << 4) | index[row[x + 1]] for x in range(0, SIZE, 2))
        bits = ''.join('1' if c == '.' else '0' for c in row)
        mask += int(bits, 2).to_bytes(SIZE // 8, 'big')
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0, len(pixels) + len(mask), 0, 0, 16, 0)
    image = header + colour_table + pixels + mask
    directory = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 22)
    with open(target, 'wb') as out:
        out.write(directory + image)


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2])
