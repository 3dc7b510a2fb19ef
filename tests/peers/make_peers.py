#!/usr/bin/env python3
"""Makes the archives that real peers write: Python's zipfile and Info-ZIP zip."""
import os
import shutil
import subprocess
import sys
import zipfile

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
tree = os.path.join(out, "tree")
shutil.rmtree(tree, ignore_errors=True)
os.makedirs(os.path.join(tree, "sub", "deeper"))
files = {
    "readme.txt": b"a self-extracting archive\r\n" * 40,
    "sub/data.bin": bytes(range(256)) * 64,
    "sub/deeper/empty.txt": b"",
}
for name, data in files.items():
    with open(os.path.join(tree, name), "wb") as f:
        f.write(data)

with zipfile.ZipFile(os.path.join(out, "python.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    for name, data in files.items():
        z.writestr(name, data)
    z.writestr("sub/", b"")

# -fz: ZIP64 records and blocks however small the files are.
for name, flags in (("infozip.zip", []), ("infozip-zip64.zip", ["-fz"])):
    zip_path = os.path.join(out, name)
    if os.path.exists(zip_path):
        os.remove(zip_path)
    subprocess.run(["zip", "-q", "-r", "-X", *flags, zip_path, "."], cwd=tree, check=True)
