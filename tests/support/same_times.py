"""Every file under a tree has a copy under an extracted folder whose modification time is
within 2 seconds (the resolution of the archive's DOS times); with --writable the copy may
not be read-only either. Prints each difference and exits 1 on any.
usage: same_times.py TREE EXTRACTED [--writable]"""
import os
import sys

src, out = sys.argv[1], sys.argv[2]
writable = "--writable" in sys.argv[3:]
bad = 0
for folder, _, files in os.walk(src):
    for name in files:
        a = os.path.join(folder, name)
        b = os.path.join(out, os.path.relpath(a, src))
        if abs(os.stat(a).st_mtime - os.stat(b).st_mtime) > 2:
            print("time of", b, os.stat(a).st_mtime, os.stat(b).st_mtime)
            bad = 1
        if writable and (not os.access(b, os.W_OK) or not os.stat(b).st_mode & 0o200):
            print("read-only:", b)
            bad = 1
sys.exit(bad)
