#!/usr/bin/env python3
"""Seed corpora for the fuzz targets, made by code: deflate streams and small archives."""
import io
import os
import random
import sys
import zipfile
import zlib

out = sys.argv[1]
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
