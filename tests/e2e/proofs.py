#!/usr/bin/env python3
"""End-to-end proofs of the stub under Wine, against what nobody here wrote: archives made by
real peers, hostile names, damaged archives, faults of the file system, libraries planted
beside the program, and a signed program with an archive hidden in its signature.

Usage: proofs.py PROOF --stub SFX.EXE --batch STUB_BATCH.EXE --mksfx MKSFX --decoy DECOY.DLL
                 --control DECOY_CONTROL.EXE --work FOLDER
PROOF is one of peers, hostile, hostile-dbcs, damaged, faults, decoys, signed.
Exit 0 when every check held, 1 otherwise, 77 when a tool the proof needs is missing."""
import argparse
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from prooflib import (ABORTED, NOT_SUCCESSFUL, NOTHING, OVERWRITE, WRITE_ERROR, Case,  # noqa: E402
                      Checks, Entry, attributes_by_wine, behind_stub, build_zip, changes,
                      files_of, run_batch, snapshot, timed, unicode_path_extra, wine_path)

# Local time three hours from UTC and without daylight saving, for the peers, unzip and Wine
# alike: the system converts a DOS local time with today's offset.
os.environ["TZ"] = "UTC-3"


def fresh(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)

# ---- Peers ----

def make_tree(root):
    r = random.Random(5)
    words = [b"archive ", b"window ", b"entry ", b"stub\r\n", b"the "]

    def put(name, data, mtime=None, mode=None):
        path = os.path.join(root, name)
        write(path, data)
        if mtime is not None:
            os.utime(path, (mtime, mtime))
        if mode is not None:
            os.chmod(path, mode)

    put("readme.txt", b"".join(r.choice(words) for _ in range(4000)))
    put("random.bin", r.randbytes(200_000))
    put("zeros.bin", bytes(1 << 20))
    put("empty.txt", b"")
    put("with blanks/a file.txt", b"blanks " * 100)
    put("deep/er/still/leaf.txt", b"leaf\r\n" * 50)
    put("read-only.txt", b"keep " * 30, mode=0o444)
    put("odd second.txt", b"odd", mtime=1625052897)  # an odd second
    put("old.txt", b"old", mtime=473479567)  # 1985
    os.makedirs(os.path.join(root, "empty folder"))


class Unseekable:
    """A pipe as Python's zipfile sees it: write only, no tell, no seek."""

    def __init__(self, f):
        self.f = f

    def write(self, data):
        return self.f.write(data)

    def flush(self):
        self.f.flush()


def python_zip(tree, out, method, stream=False):
    f = open(out, "wb")
    target = Unseekable(f) if stream else f
    with zipfile.ZipFile(target, "w", method) as z:
        for folder, dirs, files in sorted(os.walk(tree)):
            for name in sorted(dirs + files):
                path = os.path.join(folder, name)
                z.write(path, os.path.relpath(path, tree))
    f.close()


def make_peer_archives(tree, folder):
    """The archives, each as (name, path, whether its raw form is expected to work)."""
    made = []

    def shell(name, command, raw=True):
        path = os.path.join(folder, name + ".zip")
        subprocess.run(["sh", "-c", command.format(out=path, tree=tree)], cwd=tree, check=True)
        made.append((name, path, raw))

    shell("zip-0", "zip -q -r -X -0 {out} .")
    shell("zip-9", "zip -q -r -9 {out} .")
    shell("zip-D", "zip -q -r -D {out} .")
    shell("zip-fd", "zip -q -r -fd {out} .")
    shell("zip-pipe", "zip -q -r - . | cat > {out}")
    shell("zip-stdin", "zip -q {out} - < random.bin")
    shell("zip-stdin-pipe", "cat readme.txt | zip -q - - | cat > {out}")
    shell("7z-mx1", "7z a -bd -tzip -mx=1 {out} . > /dev/null")
    shell("7z-mx9", "7z a -bd -tzip -mx=9 {out} . > /dev/null")
    shell("7z-deflate", "7z a -bd -tzip -mm=Deflate {out} . > /dev/null")
    for name, method, stream in (("python-stored", zipfile.ZIP_STORED, False),
                                 ("python-deflated", zipfile.ZIP_DEFLATED, False),
                                 ("python-stream", zipfile.ZIP_DEFLATED, True),
                                 ("python-stream-stored", zipfile.ZIP_STORED, True)):
        path = os.path.join(folder, name + ".zip")
        python_zip(tree, path, method, stream)
        made.append((name, path, True))
    # Entries made on DOS carry attributes the stub restores: read-only (never restored),
    # hidden, system, archive.
    path = os.path.join(folder, "python-dos.zip")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, attributes in (("read-only.txt", 0x21), ("hidden.txt", 0x22),
                                 ("system.txt", 0x24), ("all.txt", 0x27), ("none.txt", 0x00)):
            info = zipfile.ZipInfo(name, (2019, 7, 8, 9, 10, 12))
            info.create_system = 0
            info.external_attr = attributes
            z.writestr(info, name.encode() * 50)
    made.append(("python-dos", path, True))
    top = " ".join("'%s'" % n for n in sorted(os.listdir(tree)))
    shell("bsdtar", "bsdtar --format zip -cf {out} " + top)
    shell("bsdtar-store", "bsdtar --format zip --options zip:compression=store -cf {out} " + top)
    # bsdtar's own form names everything ./x: a '.' component no self-extractor may take, so
    # only the packer's --zip, which makes them root names, runs this one.
    shell("bsdtar-dot", "bsdtar --format zip -cf {out} .", raw=False)
    return made


def expected_attributes(archive):
    """What the stub gives each file: the DOS attributes of an entry made on DOS, none of an
    entry made elsewhere, never read-only."""
    with zipfile.ZipFile(archive) as z:
        return {info.filename.lstrip("./") if info.filename.startswith("./") else info.filename:
                (info.external_attr & 0xFE if info.create_system == 0 else 0)
                for info in z.infolist() if not info.is_dir()}


def peers(args, checks):
    for tool in ("zip", "unzip", "7z", "bsdtar"):
        if shutil.which(tool) is None:
            print("no", tool, "(run scripts/setup)")
            return 77
    if not os.access(args.mksfx, os.X_OK):
        print("no packer at", args.mksfx, "(build the host preset first)")
        return 77
    work = fresh(args.work)
    tree = os.path.join(work, "tree")
    make_tree(tree)
    archives = os.path.join(work, "archives")
    os.makedirs(archives)
    made = make_peer_archives(tree, archives)
    stub = read(args.stub)

    # Each form of each archive in a folder of its own, extracted there with /O.
    runs = []  # (label, folder, program, reference archive)

    def program(label, data, archive):
        folder = os.path.join(work, "out", label)
        path = os.path.join(folder, label + ".exe")
        write(path, data)
        runs.append((label, folder, path, archive))

    for name, path, raw in made:
        if raw:
            program(name + "-raw", behind_stub(stub, read(path)), path)
        wrapped = os.path.join(archives, name + ".exe")
        subprocess.run([args.mksfx, "-q", "--stub", args.stub, "--zip", path, "-o", wrapped],
                       check=True)
        program(name + "-mksfx", read(wrapped), path)
    # Info-ZIP's own way of moving an archive behind a stub.
    adjusted = os.path.join(archives, "zip-A.exe")
    write(adjusted, stub + read(os.path.join(archives, "zip-9.zip")))
    subprocess.run(["zip", "-q", "-A", adjusted], check=True)
    program("zip-A", read(adjusted), os.path.join(archives, "zip-9.zip"))
    packed = os.path.join(archives, "mksfx.exe")
    subprocess.run([args.mksfx, "-q", "--stub", args.stub, "-o", packed, tree + "/."], check=True)
    program("mksfx", read(packed), packed)

    cases = [Case(p, "/O") for _, _, p, _ in runs]
    with timed("peers: %d runs under Wine" % len(cases)):
        run_batch(cases, os.path.join(work, "batch"), args.batch)
    letters = attributes_by_wine(os.path.join(work, "out"))

    for (label, folder, path, archive), case in zip(runs, cases):
        checks.expect(case.ended_cleanly() and not case.boxes, label + ": " + case.describe())
        reference = fresh(os.path.join(work, "reference", label))
        subprocess.run(["unzip", "-q", "-o", archive, "-d", reference],
                       stderr=subprocess.DEVNULL, check=False)
        want = files_of(reference)
        got = files_of(folder, skip=(os.path.basename(path),))
        checks.expect(set(got) == set(want),
                      f"{label}: names differ: only unzip {sorted(set(want) - set(got))}, "
                      f"only the stub {sorted(set(got) - set(want))}")
        for name in sorted(set(got) & set(want)):
            if want[name] is None:
                continue
            checks.expect(got[name] == want[name], f"{label}: {name}: bytes differ")
            a = os.stat(os.path.join(reference, name)).st_mtime
            b = os.stat(os.path.join(folder, name)).st_mtime
            checks.expect(abs(a - b) <= 2, f"{label}: {name}: time {b} against {a}")
        attributes = expected_attributes(archive)
        for name, value in attributes.items():
            shown = letters.get(label + "/" + name)
            if not checks.expect(shown is not None, f"{label}: {name}: attrib lists no such file"):
                continue
            # Wine shows the archive bit on every file of a Unix folder, so only the others
            # can tell what the stub set.
            want_letters = {c for c, bit in (("H", 0x02), ("S", 0x04)) if value & bit}
            got_letters = set(shown) & {"H", "S", "R"}
            checks.expect(got_letters == want_letters,
                          f"{label}: {name}: attributes {sorted(got_letters)}, "
                          f"want {sorted(want_letters)} (0x{value:02x})")
    print("peers: %d self-extractors from %d archives" % (len(runs), len(made)))



def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("proof")
    for option in ("stub", "batch", "mksfx", "decoy", "control", "work"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    args.work = os.path.join(os.path.abspath(args.work), args.proof)
    for option in ("stub", "batch", "mksfx", "decoy", "control"):
        setattr(args, option, os.path.abspath(getattr(args, option)))
    proofs = {"peers": peers}
    checks = Checks()
    with timed(args.proof):
        status = proofs[args.proof](args, checks)
    if status is not None:
        return status
    return checks.finish(args.proof)


if __name__ == "__main__":
    sys.exit(main())
