#!/usr/bin/env python3
"""Moves a linked program's PE headers up behind its DOS header, over the DOS
stub (the "cannot be run in DOS mode" program), when that makes them fit in
fewer file-alignment units: every section's data then starts that much earlier
in the file. Nothing the loader reads by virtual address changes.

It also makes the resources read-only: GNU ld marks them writable, as the
resource compiler's object asks, though nothing writes to them and other
linkers make them read-only. Last it writes the checksum, as signing tools do:
a signed program whose signature is taken off again then has the built
program's bytes.

    compact_headers.py PROGRAM.exe
"""
import struct
import sys

DOS_HEADER_SIZE = 0x40
IMAGE_SCN_MEM_WRITE = 0x80000000


def u16(data, offset):
    return struct.unpack_from("<H", data, offset)[0]


def u32(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


def write(path, data, checksum_at):
    """Writes the program with its checksum: the sum of its 16-bit words (the
    checksum's own left out) with the carries folded back in, plus its length."""
    struct.pack_into("<I", data, checksum_at, 0)
    total = sum(struct.unpack_from(f"<{len(data) // 2}H", data))
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    struct.pack_into("<I", data, checksum_at, total + len(data))
    open(path, "wb").write(data)


def main(path):
    data = bytearray(open(path, "rb").read())
    if data[:2] != b"MZ":
        sys.exit(f"{path}: not a program")
    pe = u32(data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        sys.exit(f"{path}: no PE header")
    sections = u16(data, pe + 6)
    optional = pe + 24
    optional_size = u16(data, pe + 20)
    file_alignment = u32(data, optional + 36)
    headers_size = u32(data, optional + 60)
    # PE32+ (x64) has 8-byte image base and stack sizes: its directories start 16 bytes later.
    directory_table = optional + (112 if u16(data, optional) == 0x020B else 96)
    directories = u32(data, directory_table - 4)
    table = optional + optional_size
    for i in range(sections):
        if data[table + 40 * i:table + 40 * i + 8].rstrip(b"\0") == b".rsrc":
            struct.pack_into("<I", data, table + 40 * i + 36, u32(data, table + 40 * i + 36) & ~IMAGE_SCN_MEM_WRITE)
    # File offsets the move would spoil: a certificate table or debug data.
    for index in (4, 6):
        if index < directories and u32(data, directory_table + 8 * index + 4) != 0:
            sys.exit(f"{path}: data directory {index} is not empty; not compacted")
    headers_end = optional + optional_size + 40 * sections
    moved_end = headers_end - pe + DOS_HEADER_SIZE
    new_size = (moved_end + file_alignment - 1) // file_alignment * file_alignment
    if pe <= DOS_HEADER_SIZE or new_size >= headers_size:
        print(f"{path}: headers already take {headers_size} bytes")
        write(path, data, optional + 64)
        return
    shift = headers_size - new_size

    out = bytearray(data[:DOS_HEADER_SIZE])
    struct.pack_into("<I", out, 0x3C, DOS_HEADER_SIZE)
    out += data[pe:headers_end]
    out += b"\0" * (new_size - len(out))
    out += data[headers_size:]
    new_pe = DOS_HEADER_SIZE
    new_optional = new_pe + 24
    struct.pack_into("<I", out, new_optional + 60, new_size)
    table = new_optional + optional_size
    for i in range(sections):
        raw = table + 40 * i + 20
        if u32(out, raw) != 0:
            if u32(out, raw) < headers_size:
                sys.exit(f"{path}: section {i} starts inside the headers; not compacted")
            struct.pack_into("<I", out, raw, u32(out, raw) - shift)
    write(path, out, new_optional + 64)
    print(f"{path}: headers {headers_size} -> {new_size} bytes, program {len(data)} -> {len(out)} bytes")


if __name__ == "__main__":
    main(sys.argv[1])
