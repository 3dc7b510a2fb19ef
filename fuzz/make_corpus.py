#!/usr/bin/env python3
"""Seed corpora for the fuzz targets, made by code: deflate streams and small archives."""
import io
import os
import random
import subprocess
import sys
import tempfile
import warnings
import zipfile
import zlib

# The archives written byte by byte and the move behind a stub, shared with the proofs.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from prooflib import Entry, behind_stub, build_zip, unicode_path_extra  # noqa: E402

out = sys.argv[1]
warnings.filterwarnings("ignore", "Duplicate name")
r = random.Random(4)
samples = [b"", b"a", b"abc" * 100, bytes(range(256)) * 8, bytes(5000),
           bytes(r.getrandbits(8) for _ in range(3000)),
           b"".join(r.choice([b"inflate ", b"window ", b"code\n"]) for _ in range(2000))]

inflate = os.path.join(out, "Inflate")
os.makedirs(inflate, exist_ok=True)
n = 0
for data in samples:
    for level in (0, 1, 6, 9):
        for strategy in (zlib.Z_DEFAULT_STRATEGY, zlib.Z_FIXED, zlib.Z_HUFFMAN_ONLY, zlib.Z_RLE):
            c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
            stream = c.compress(data) + c.flush()
            with open(os.path.join(inflate, "seed%03d" % n), "wb") as f:
                f.write(stream)
            n += 1

def zip64(entries):
    """Info-ZIP's -fz archive of the entries: a ZIP64 end record and a ZIP64 block per entry."""
    with tempfile.TemporaryDirectory() as work:
        for name, data in entries:
            path = os.path.join(work, "tree", name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        subprocess.run(["zip", "-q", "-r", "-X", "-fz", "../z.zip", "."],
                       cwd=os.path.join(work, "tree"), check=True)
        with open(os.path.join(work, "z.zip"), "rb") as f:
            return f.read()


directory = os.path.join(out, "ZipDirectory")
os.makedirs(directory, exist_ok=True)
for i, (method, count) in enumerate([(zipfile.ZIP_STORED, 1), (zipfile.ZIP_DEFLATED, 3),
                                     (zipfile.ZIP_DEFLATED, 20)]):
    b = io.BytesIO()
    with zipfile.ZipFile(b, "w", method) as z:
        for k in range(count):
            z.writestr("dir/file%d.txt" % k, samples[k % len(samples)][:200])
        z.comment = b"seed"
    with open(os.path.join(directory, "seed%d.zip" % i), "wb") as f:
        f.write(b.getvalue())
with open(os.path.join(directory, "seed-zip64.zip"), "wb") as f:
    f.write(zip64([("dir/file%d.txt" % k, samples[k % len(samples)][:200]) for k in range(3)]))


# Whole programs: six control bytes (flags, targets made beforehand, of which read-only, a
# fault's parameter, the answers' seed; see FuzzExtractAll.cpp), then stub bytes, if any, and
# an archive.
def zipped(entries, method=zipfile.ZIP_DEFLATED, streamed=False):
    class Unseekable(io.RawIOBase):
        def __init__(self):
            self.data = bytearray()

        def writable(self):
            return True

        def write(self, b):
            self.data += b
            return len(b)

    sink = Unseekable() if streamed else io.BytesIO()
    with zipfile.ZipFile(sink, "w", method) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, (2024, 5, 17, 12, 30, 8))
            info.compress_type = method
            info.external_attr = 0x10 if name.endswith("/") else 0x20
            z.writestr(info, data)
    return bytes(sink.data if streamed else sink.getvalue())


text = samples[6][:3000]
archives = [
    zipped([("a.txt", b"stored")], zipfile.ZIP_STORED),
    zipped([("dir/", b""), ("dir/sub/", b""), ("dir/sub/f.txt", text), ("g.bin", samples[5])]),
    zipped([("one.txt", text), ("two.txt", samples[5]), ("dir/three", b"")], streamed=True),
    zipped([("../up.txt", b"x"), ("a/../../b.txt", b"y"), ("...\\dots", b"z"),
            ("a\\..\\c.txt", b"w"), ("ok.txt", b"v")], zipfile.ZIP_STORED),
    zipped([("con", b"x"), ("aux.txt", b"x"), ("a/LPT1", b"x"), ("nul .txt", b"x"),
            ("a:b", b"x"), ("trail. ", b"x")], zipfile.ZIP_STORED),
    zipped([("caf\u00e9.txt", b"x"), ("\uff41\uff0f\uff0e\uff0e", b"x"),
            ("\u65e5\u672c/\u8868.txt", text)]),
    build_zip([Entry(b"caf\x82.txt", b"hello",
                     extra=unicode_path_extra(b"caf\x82.txt", "caf\u00e9.txt".encode()))]),
    zipped([("same.txt", b"first"), ("same.txt", text), ("same.txt/", b"")]),
]
archives.append(zip64([("dir/sub/f.txt", text), ("g.bin", samples[5]), ("e.txt", b"")]))


def signed(archive, table):
    """A PE32 header whose certificate table (the security directory) follows the archive."""
    head = bytearray(512)
    head[0:2] = b"MZ"
    head[0x3C:0x40] = (0x40).to_bytes(4, "little")
    head[0x40:0x44] = b"PE\0\0"
    head[0x40 + 24:0x40 + 26] = (0x10B).to_bytes(2, "little")
    start = len(head) + len(archive)
    head[0x40 + 152:0x40 + 160] = start.to_bytes(4, "little") + len(table).to_bytes(4, "little")
    return behind_stub(head, archive) + table


stubs = [b"", b"MZ" + bytes(2046)]


controls = [bytes([0, 0, 0, 0, 0, 0]), bytes([1, 0xFF, 0x0F, 0, 0x12, 0x34]),
            bytes([1, 0xFF, 0xFF, 0, 0, 7]), bytes([3, 0x55, 0x11, 9, 0xA5, 0x5A]),
            bytes([4 | 1, 0x0F, 0, 2, 1, 2]), bytes([8, 0, 0, 1, 0, 0]),
            bytes([12 | 1, 0xFF, 0, 30, 3, 4]), bytes([16 | 1, 0xFF, 0, 0, 9, 9]),
            bytes([48, 0, 0, 0, 0, 1]), bytes([32 | 1, 0x0F, 0x03, 0, 5, 5])]
run = os.path.join(out, "ExtractAll")
os.makedirs(run, exist_ok=True)
n = 0
for i, archive in enumerate(archives):
    for j, stub in enumerate(stubs):
        control = controls[(i + j) % len(controls)]
        with open(os.path.join(run, "seed%02d.bin" % n), "wb") as f:
            f.write(control + behind_stub(stub, archive))
        n += 1
# Signed programs: the archive before the certificate table, and one planted in the table,
# which must never be extracted.
for name, table in [("signed", bytes(64)),
                    ("planted", b"\x48\0\0\0\0\2\2\0" + archives[3])]:
    with open(os.path.join(run, "%s.bin" % name), "wb") as f:
        f.write(controls[1] + signed(archives[0], table))

# Every control over folders, and over entries long enough to be cancelled mid-way.
for control in controls:
    for archive in (archives[1], archives[2]):
        with open(os.path.join(run, "seed%02d.bin" % n), "wb") as f:
            f.write(control + archive)
        n += 1
