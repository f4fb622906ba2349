#!/usr/bin/env python3
"""Writes the program's .ico, one 32 x 32 image: drawn (4 bits a pixel) from its text
picture, or taken from an installer author's icon file.

    make_icon.py PICTURE.txt TARGET.ico
    make_icon.py --from AUTHOR.ico TARGET.ico
"""
import struct
import sys

PALETTE = {
    'k': (0, 0, 0), 'g': (128, 128, 128), 'w': (255, 255, 255), 'b': (0, 90, 200),
    'd': (0, 40, 120), 'l': (200, 200, 200),
}
SIZE = 32


def directory(image, colours, bits):
    return struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', SIZE, SIZE, colours, 0, 1, bits, len(image), 22)


def from_icon(source, target):
    """Keeps the author's 32 x 32 image with the most colours: the window shows no other
    size, and the 256 x 256 and 48 x 48 ones would make the program many times larger."""
    def fail(why):
        sys.exit(f'VORSIL_ICON={source}: {why}; it must be a .ico file with a 32 x 32 image')
    try:
        data = open(source, 'rb').read()
        reserved, kind, count = struct.unpack_from('<HHH', data)
    except (OSError, struct.error) as error:
        fail(getattr(error, 'strerror', None) or 'too short')
    if reserved != 0 or kind != 1 or count == 0:
        fail('not an icon file')
    best = None
    for i in range(count):
        try:
            size, offset = struct.unpack_from('<II', data, 6 + 16 * i + 8)
            header, width, height, _, bits = struct.unpack_from('<IiiHH', data, offset)
        except struct.error:
            fail(f'image {i + 1} lies outside the file')
        # A PNG image starts with its own signature, not a BITMAPINFOHEADER; Windows
        # before Vista cannot show one.
        if header == 40 and (width, height) == (SIZE, 2 * SIZE) and offset + size <= len(data):
            if best is None or bits > best[0]:
                best = (bits, data[offset:offset + size])
    if best is None:
        fail('no uncompressed 32 x 32 image in it')
    bits, image = best
    with open(target, 'wb') as out:
        out.write(directory(image, 1 << bits if bits < 8 else 0, bits) + image)


def draw(source, target):
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
    with open(target, 'wb') as out:
        out.write(directory(image, 16, 4) + image)


if __name__ == '__main__':
    if sys.argv[1] == '--from':
        from_icon(sys.argv[2], sys.argv[3])
    else:
        draw(sys.argv[1], sys.argv[2])
