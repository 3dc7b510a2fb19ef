#!/usr/bin/env python3
"""Finishes the linked stub in place: enters the import list that res/sfx.ld keeps inside the
read-only data (the linker looks for it only in a section of its own name), drops the import
lookup tables (copies of the address tables, which the loader reads instead when a descriptor
names none), drops the DOS program in front of the headers so that they fit in 512 bytes where
they can, and sets the checksum again.

Usage: pe_tidy.py STUB.exe STUB.map
"""
import re
import struct
import sys

FILE_ALIGNMENT = 0x200
DOS_HEADER = 0x40


def symbol(map_text, name):
    found = re.search(r"^\s+0x([0-9a-f]+)\s+" + re.escape(name) + r"\b", map_text, re.M)
    if not found:
        sys.exit("pe_tidy: %s is not in the map" % name)
    return int(found.group(1), 16)


def checksum(data):
    """The image checksum: 16-bit words added with end-around carry, plus the length; the
    field itself must read as zero."""
    total = 0
    for (word,) in struct.iter_unpack("<H", data + b"\0" * (len(data) & 1)):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total & 0xFFFF) + len(data)


def drop_lookup_tables(data, map_text, image_base, optional, table, sections, start, end):
    """Clears each import descriptor's lookup table and cuts the tables, which end their
    section, from the file; later sections move down where a block of the file is saved."""
    lookup = symbol(map_text, "__sfx_lookup_start__") - image_base
    lookup_end = symbol(map_text, "__sfx_lookup_end__") - image_base
    header = None
    for i in range(sections):
        at = table + 40 * i
        virtual_size, address, raw_size, pointer = struct.unpack_from("<IIII", data, at + 8)
        if address <= lookup < address + virtual_size:
            header = at
            break
    ends_section = header is not None and address + virtual_size == lookup_end
    if not ends_section or not address <= start < end <= lookup:
        sys.exit("pe_tidy: the lookup tables do not end the section of the import list")
    for descriptor in range(start, end - 20, 20):
        struct.pack_into("<I", data, pointer + descriptor - address, 0)
    kept = lookup - address
    new_raw = (kept + FILE_ALIGNMENT - 1) // FILE_ALIGNMENT * FILE_ALIGNMENT
    data[pointer + kept:pointer + raw_size] = bytes(raw_size - kept)
    struct.pack_into("<I", data, header + 8, kept)
    if new_raw < raw_size:
        cut = raw_size - new_raw
        del data[pointer + new_raw:pointer + raw_size]
        struct.pack_into("<I", data, header + 16, new_raw)
        for i in range(sections):
            at = table + 40 * i + 20
            other = struct.unpack_from("<I", data, at)[0]
            if other > pointer:
                struct.pack_into("<I", data, at, other - cut)
        initialized = struct.unpack_from("<I", data, optional + 8)[0]  # SizeOfInitializedData
        struct.pack_into("<I", data, optional + 8, initialized - cut)


def main(exe_path, map_path):
    data = bytearray(open(exe_path, "rb").read())
    map_text = open(map_path).read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    image_base = struct.unpack_from("<I", data, optional + 28)[0]
    directories = optional + 96

    start = symbol(map_text, "__sfx_imports_start__") - image_base
    end = symbol(map_text, "__sfx_imports_end__") - image_base
    struct.pack_into("<II", data, directories + 8, start, end - start)

    table = optional + optional_size
    drop_lookup_tables(data, map_text, image_base, optional, table, sections, start, end)

    # Move the headers down over the DOS program, where that saves a block of the file.
    headers_end = table + 40 * sections - (pe - DOS_HEADER)
    old_size = struct.unpack_from("<I", data, optional + 60)[0]
    new_size = (headers_end + FILE_ALIGNMENT - 1) // FILE_ALIGNMENT * FILE_ALIGNMENT
    if pe > DOS_HEADER and new_size < old_size:
        headers = data[pe:table + 40 * sections]
        cut = old_size - new_size
        data[DOS_HEADER:new_size] = headers + bytes(new_size - DOS_HEADER - len(headers))
        del data[new_size:old_size]
        struct.pack_into("<I", data, 0x3C, DOS_HEADER)
        pe, optional, table = DOS_HEADER, DOS_HEADER + 24, table - (pe - DOS_HEADER)
        struct.pack_into("<I", data, optional + 60, new_size)
        for i in range(sections):
            raw = table + 40 * i + 20
            pointer = struct.unpack_from("<I", data, raw)[0]
            if pointer != 0:
                struct.pack_into("<I", data, raw, pointer - cut)
        # A directory given by file offset (a signature's) would move as well; the stub has none.
        if struct.unpack_from("<I", data, optional + 96 + 8 * 4)[0] != 0:
            sys.exit("pe_tidy: the stub carries a signature")

    field = optional + 64
    struct.pack_into("<I", data, field, 0)
    struct.pack_into("<I", data, field, checksum(bytes(data)))
    open(exe_path, "wb").write(data)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip())
    main(sys.argv[1], sys.argv[2])
