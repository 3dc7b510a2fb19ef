#!/usr/bin/env python3
"""Where the stub's bytes go: code and constants per module from the linker's map, and the
file's sections with the padding that file alignment adds. The stub is built as one unit, so
its code is told apart by function: a function the compiler inlined counts with its caller's
module, and the constants (one section) stay unnamed.

Usage: stub_size.py build/win32/sfx.map build/win32/sfx.exe
"""
import collections
import os
import re
import struct
import sys


SOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
_definitions = None


def module_of(section):
    """The source file that defines a function or constant of the one-unit build, found by
    its name at the start of a line there (sections are named after their symbol)."""
    global _definitions
    if _definitions is None:
        _definitions = []
        for folder, _, files in sorted(os.walk(SOURCES)):
            for f in sorted(files):
                if f.endswith(".cpp"):
                    lines = open(os.path.join(folder, f), encoding="utf-8").read().splitlines()
                    _definitions.append((f[:-4], [l for l in lines if l[:1].isalpha()]))
    symbol = section.split("$", 1)[1] if "$" in section else ""
    mangled = re.match(r"_ZN?L?(\d+)", symbol)
    if mangled:
        start = mangled.end()
        symbol = symbol[start:start + int(mangled.group(1))]
    if symbol:
        pattern = re.compile(r"\b" + re.escape(symbol) + r"\s*[(\[={]")
        for module, lines in _definitions:
            if any(pattern.search(l) for l in lines):
                return module
    return "(unnamed)"


def module_sizes(map_path):
    sizes = collections.Counter()
    pending = None
    for line in open(map_path):
        line = line.rstrip("\n")
        whole = re.match(r"^ (\.(?:text|rdata|data)\S*)\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S+)", line)
        if whole:
            name, size, obj = whole.groups()
        else:
            head = re.match(r"^ (\.(?:text|rdata|data)\S*)$", line)
            if head:
                pending = head.group(1)
                continue
            tail = re.match(r"^\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S+)", line)
            if not (tail and pending):
                pending = None
                continue
            name, (size, obj) = pending, tail.groups()
            pending = None
        # Import thunks of the system libraries are dropped from the file; their tables are
        # counted with the imports section.
        if ".a(" in obj:
            continue
        module = obj.split("/")[-1].replace(".cpp.obj", "").replace(".obj", "")
        if module.startswith("unity_"):
            module = module_of(name)
        kind = "code" if name.startswith(".text") else "constants"
        sizes[(module, kind)] += int(size, 16)
    return sizes


def sections(exe_path):
    data = open(exe_path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count = struct.unpack_from("<H", data, pe + 6)[0]
    optional = struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + optional
    headers = struct.unpack_from("<I", data, pe + 24 + 60)[0]
    out = [("headers", headers, headers)]
    for i in range(count):
        name, vsize, _, raw, _ = struct.unpack_from("<8sIIII", data, table + 40 * i)
        if raw:
            out.append((name.rstrip(b"\0").decode(), vsize, raw))
    return out, len(data)


def main():
    sizes = module_sizes(sys.argv[1])
    modules = collections.defaultdict(dict)
    for (module, kind), size in sizes.items():
        modules[module][kind] = size
    print(f"{'module':20s} {'code':>7s} {'consts':>7s}")
    for module, parts in sorted(modules.items(), key=lambda m: -sum(m[1].values())):
        print(f"{module:20s} {parts.get('code', 0):7d} {parts.get('constants', 0):7d}")
    print(f"{'all modules':20s} {sum(s for (m, k), s in sizes.items() if k == 'code'):7d} "
          f"{sum(s for (m, k), s in sizes.items() if k == 'constants'):7d}")
    print()
    table, total = sections(sys.argv[2])
    print(f"{'section':10s} {'bytes':>7s} {'in file':>8s}")
    for name, used, raw in table:
        print(f"{name:10s} {used:7d} {raw:8d}")
    print(f"{'file':10s} {'':7s} {total:8d}")


main()
