#!/usr/bin/env python3
"""End-to-end proofs of the stub under Wine, against what nobody here wrote: archives made by
real peers, hostile names, damaged archives, faults of the file system, libraries planted
beside the program, and a signed program with an archive hidden in its signature.

Usage: proofs.py PROOF --stub SFX.EXE --batch STUB_BATCH.EXE --mksfx MKSFX --decoy DECOY.DLL
                 --control DECOY_CONTROL.EXE --exit-with EXIT_WITH.EXE --work FOLDER
PROOF is one of peers, hostile, hostile-dbcs, damaged, faults, decoys, signed, unattended.
Exit 0 when every check held, 1 otherwise, 77 when a tool the proof needs is missing."""
import argparse
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile

# No compiled copy of the helpers in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from prooflib import (ABORTED, NOT_SUCCESSFUL, NOTHING, OVERWRITE, WRITE_ERROR, Case,  # noqa: E402
                      Checks, Entry, attributes_by_wine, behind_stub, build_zip, changes,
                      files_of, run_batch, snapshot, timed, unicode_path_extra, wine_path)

HERE_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

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
    # Put behind the stub as they are (cat), offsets counting from the archive's first byte,
    # and moved by Info-ZIP's own way of fixing that, zip -A.
    for name in ("zip-9", "7z-mx9", "python-deflated"):
        archive = os.path.join(archives, name + ".zip")
        program(name + "-cat", stub + read(archive), archive)
        adjusted = os.path.join(archives, name + "-A.exe")
        write(adjusted, stub + read(archive))
        subprocess.run(["zip", "-q", "-A", adjusted], check=True)
        program(name + "-A", read(adjusted), archive)
    packed = os.path.join(archives, "mksfx.exe")
    subprocess.run([args.mksfx, "-q", "--stub", args.stub, "-o", packed, tree + "/."], check=True)
    program("mksfx", read(packed), packed)
    # Branded, with settings behind: the stub's resources rebuilt and its relocations moved;
    # it must still run and find its settings and archive.
    icon = os.path.join(archives, "brand.ico")
    subprocess.run([sys.executable, os.path.join(HERE_ROOT, "res", "make_icon.py"), icon],
                   check=True)
    branded = os.path.join(archives, "branded.exe")
    subprocess.run([args.mksfx, "-q", "--stub", args.stub, "--icon", icon, "--product", "Brand",
                    "--product-version", "2.1", "--title", "Brand", "-o", branded, tree + "/."],
                   check=True)
    program("mksfx-branded", read(branded), branded)

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


# ---- Hostile names ----

OK, FAIL, WRITE, ANY = "ok", "fail", "write", "any"

# (entry name, expected outcome, the file it makes under the destination for OK). Each name
# ends in a file name with "escaped" in it, so that one written anywhere else is found.
HOSTILE_NAMES = [
    # Dot components are dropped, not resolved; leading separators make no root.
    (b"../escaped1.txt", OK, "escaped1.txt"),
    (b"..\\escaped2.txt", OK, "escaped2.txt"),
    (b"a/../../escaped3.txt", OK, "a/escaped3.txt"),
    (b"..\\../..//escaped4.txt", OK, "escaped4.txt"),
    (b".../escaped5.txt", OK, "escaped5.txt"),
    (b"a/b/../..\\../....\\escaped6.txt", OK, "a/b/escaped6.txt"),
    (b"/escaped7.txt", OK, "escaped7.txt"),
    (b"\\escaped8.txt", OK, "escaped8.txt"),
    (b"//server/share/escaped9.txt", OK, "server/share/escaped9.txt"),
    (b"\\\\sfxsrv\\share\\escaped10.txt", OK, "sfxsrv/share/escaped10.txt"),
    (b"/\\/..\\/escaped11.txt", OK, "escaped11.txt"),
    # The system drops trailing dots and blanks, so a part ending in either would land on
    # another name: refused before anything is made.
    (b"trailing dots../escaped12.txt", FAIL, None),
    (b"trailing blank /escaped13.txt", FAIL, None),
    (b"trailing dot./", FAIL, None),
    (b"escaped14.txt.", FAIL, None),
    (b"escaped15.txt ", FAIL, None),
    # Components the system would read as "." or "..": dots and blanks, or a final one.
    (b".. /escaped.txt", FAIL, None),
    (b"../.. /escaped.txt", FAIL, None),
    (b". ./escaped.txt", FAIL, None),
    (b"a/. /escaped.txt", FAIL, None),
    (b"a/.../. ../escaped.txt", FAIL, None),
    (b"a/..", FAIL, None),
    (b"..", FAIL, None),
    (b".", FAIL, None),
    (b"a/. ", FAIL, None),
    (b"\\\\.\\NUL", FAIL, None),
    # Drives, streams and other colons.
    (b"C:/escaped.txt", FAIL, None),
    (b"C:escaped.txt", FAIL, None),
    (b"T:\\escaped.txt", FAIL, None),
    (b"\\\\?\\C:\\escaped.txt", FAIL, None),
    (b"\\\\.\\C:\\escaped.txt", FAIL, None),
    (b"escaped.txt:stream", FAIL, None),
    (b"escaped.txt::$DATA", FAIL, None),
    (b"a:b/escaped.txt", FAIL, None),
    # Devices, in any case, with extensions, trailing dots and blanks, in any component.
    (b"CON", FAIL, None),
    (b"con.txt", FAIL, None),
    (b"NUL.tar.gz", FAIL, None),
    (b"aux ", FAIL, None),
    (b"PRN.", FAIL, None),
    (b"Prn . txt", FAIL, None),
    (b"COM1", FAIL, None),
    (b"lpt9.log", FAIL, None),
    (b"a/com3/escaped.txt", FAIL, None),
    (b"nul/escaped.txt", FAIL, None),
    # Paths past 259 characters extract whole; a part past 255 cannot be made at all.
    (b"a" * 300, WRITE, "a" * 300),
    (b"../" * 100 + b"escaped.txt", OK, "escaped.txt"),
    ((b"d" * 60 + b"/") * 5 + b"escaped.txt", OK, ("d" * 60 + "/") * 5 + "escaped.txt"),
    ((b"d" * 70 + b"/") * 4 + b"leaf-escaped.txt", OK, ("d" * 70 + "/") * 4 + "leaf-escaped.txt"),
    (b"..\\" * 85 + b"escaped.txt", OK, "escaped.txt"),
    ((b"d" * 60 + b"/") * 5 + b"CON", FAIL, None),
    ((b"d" * 60 + b"/") * 5 + b"escaped.txt.", FAIL, None),
    # OEM names (437) take that code page's characters, never a best fit to "a", "8" or "+".
    (b"\xe0lpha-escaped.txt", OK, "\u03b1lpha-escaped.txt"),
    (b"\xec-escaped.txt", OK, "\u221e-escaped.txt"),
    (b"\xda-escaped.txt", OK, "\u250c-escaped.txt"),
    (b"\x82t\x82-escaped.txt", OK, "\u00e9t\u00e9-escaped.txt"),
]

UTF8 = 0x0800


def utf8_entry(text, data):
    return Entry(text.encode("utf-8"), data, flags=UTF8)


# UTF-8 names in code page 1252: every script extracts under its own name, and the fullwidth
# forms are letters of a name, never a separator or a dot.
HOSTILE_UTF8_1252 = [
    (utf8_entry("\u20acuro-escaped.txt", b"euro"), OK, "\u20acuro-escaped.txt"),
    (utf8_entry("\u0142ukasz-escaped.txt", b"l"), OK, "\u0142ukasz-escaped.txt"),
    (utf8_entry("\u041e\u0442\u0447\u0451\u0442-escaped.txt", b"cyrillic"), OK,
     "\u041e\u0442\u0447\u0451\u0442-escaped.txt"),
    (utf8_entry("\u03b1\u03b2/\u65e5\u672c\ud55c-escaped.txt", b"greek, cjk, hangul"), OK,
     "\u03b1\u03b2/\u65e5\u672c\ud55c-escaped.txt"),
    (utf8_entry("\U0001f600-escaped.txt", b"emoji"), OK, "\U0001f600-escaped.txt"),
    (utf8_entry("cafe\u0301-escaped.txt", b"combining"), OK, "cafe\u0301-escaped.txt"),
    (utf8_entry(("\u0434" * 70 + "/") * 4 + "escaped.txt", b"long"), OK,
     ("\u0434" * 70 + "/") * 4 + "escaped.txt"),
    (utf8_entry("..\uff0f..\uff0fescaped.txt", b"solidus"), OK, "..\uff0f..\uff0fescaped.txt"),
    (utf8_entry("..\uff3c..\uff3cescaped.txt", b"reverse"), OK, "..\uff3c..\uff3cescaped.txt"),
    (utf8_entry("\uff0e\uff0e/escaped.txt", b"stop"), OK, "\uff0e\uff0e/escaped.txt"),
    (utf8_entry("a\uff0f\uff0e\uff0e\uff0fescaped.txt", b"mixed"), OK,
     "a\uff0f\uff0e\uff0e\uff0fescaped.txt"),
    (Entry(b"x-escaped.txt", b"unicode path",
           extra=unicode_path_extra(b"x-escaped.txt", "\u00e9-escaped.txt".encode())), OK,
     "\u00e9-escaped.txt"),
    (Entry(b"y-escaped.txt", b"stale unicode path",
           extra=unicode_path_extra(b"other name", "\u00e9\u00e9-escaped.txt".encode())), OK,
     "y-escaped.txt"),
    (Entry(b"z.txt", b"unicode path with a dot",
           extra=unicode_path_extra(b"z.txt", "..\uff0fescaped.txt".encode())), OK,
     "..\uff0fescaped.txt"),
    # Superscript digits: 0xFD is the OEM code page's two; one and three come as UTF-8.
    (Entry(b"COM\xfd", b"superscript two"), FAIL, None),
    (utf8_entry("lpt\u00b9.txt", b"superscript one"), FAIL, None),
    (utf8_entry("Com\u00b3", b"superscript three"), FAIL, None),
]

# Code page 932: double-byte names whose trail byte is 0x5C, the byte of '\'.
HOSTILE_932 = [
    (Entry(b"\x95\x5c-escaped.txt", b"hyou"), OK, "\u8868-escaped.txt"),
    (Entry(b"\x83\x5c/escaped.txt", b"so"), OK, "\u30bd/escaped.txt"),
    (Entry(b"\x94\x5c\\..\\..\\escaped.txt", b"nou"), OK, "\u80fd/escaped.txt"),
    (Entry(b"\x95\x5c..\\escaped.txt", b"dots after"), ANY, None),
    (Entry(b"..\\\x95\x5c\\..\\escaped.txt", b"dots around"), ANY, None),
    (Entry(b"\x83\x5c\x83\x5c\\\x83\x5c.\\escaped.txt", b"three"), ANY, None),
    (Entry(b"\x95\x5c:escaped.txt", b"colon"), FAIL, None),
    (Entry(b"\x95\x5c/CON", b"device"), FAIL, None),
    (Entry(b"\x95\x5c/.. /escaped.txt", b"dots and a blank"), FAIL, None),
    (Entry(b"escaped\x95", b"a lead byte at the end"), FAIL, None),
    # 240 bytes in UTF-8: Wine cuts a name past the host's 255 bytes.
    (Entry(b"\x95\x5c" * 80, b"long"), OK, "\u8868" * 80),
    (utf8_entry("caf\u00e9-\u0436-escaped.txt", b"latin and cyrillic"), OK,
     "caf\u00e9-\u0436-escaped.txt"),
    # In this code page the fullwidth forms exist: one name, not separators.
    (utf8_entry("..\uff0f..\uff0fescaped.txt", b"solidus"), OK, "..\uff0f..\uff0fescaped.txt"),
    (utf8_entry("..\uff3cescaped.txt", b"reverse"), OK, "..\uff3cescaped.txt"),
    (utf8_entry("\u8868-utf8-escaped.txt", b"hyou"), OK, "\u8868-utf8-escaped.txt"),
]


def find_escaped(root):
    found = []
    for folder, dirs, files in os.walk(root):
        found += [os.path.join(folder, f) for f in dirs + files if "escaped" in f]
    return found


def hostile_run(args, checks, table, label):
    """Each name in an archive of its own between two plain entries, extracted under Wine into
    a destination two folders down on the test drive; every byte of the drive, the share and
    the system drive is watched."""
    roots = os.environ.get("SFX_ROOTS")
    letter = os.environ.get("SFX_WINE_DRIVE")
    if not roots or not letter or not os.path.isdir(os.path.join(roots, "drive")):
        print("no test drive (the wine_roots fixture makes it; set SFX_ROOTS, SFX_WINE_DRIVE)")
        return 77
    drive = os.path.join(roots, "drive")
    base = fresh(os.path.join(drive, label))
    stub = read(args.stub)
    prefix = os.environ.get("WINEPREFIX", os.path.join(HERE_ROOT, "build", "wineprefix"))
    drive_c = os.path.join(prefix, "drive_c")

    def on_drive(path):
        return letter + ":\\" + os.path.relpath(path, drive).replace("/", "\\")

    runs = []
    for i, (entry, expect, made) in enumerate(table):
        if isinstance(entry, bytes):
            entry = Entry(entry, b"hostile " + entry)
        folder = os.path.join(base, "c%02d" % i)
        program = os.path.join(folder, "prog", "setup.exe")
        dest = os.path.join(folder, "up", "dest")
        os.makedirs(dest)
        write(program, build_zip([Entry(b"first.txt", b"first"), entry,
                                  Entry(b"last.txt", b"last")], prefix=stub))
        runs.append((entry.name, expect, made, program, dest,
                     Case(program, '"%s"' % on_drive(dest))))
    watched = [drive, os.path.join(roots, "share")]
    before = [snapshot(w) for w in watched]
    escaped_before = set(find_escaped(drive_c))
    with timed("%s: %d runs under Wine" % (label, len(runs))):
        run_batch([r[-1] for r in runs], os.path.join(args.work, "batch"), args.batch)
    after = [snapshot(w) for w in watched]

    allowed = []
    for name, expect, made, program, dest, case in runs:
        what = f"{label} {name!r}"
        checks.expect(case.ended_cleanly(), f"{what}: {case.describe()}")
        got = {n for n, data in files_of(dest).items() if data is not None}
        if expect == OK:
            checks.expect(not case.boxes, f"{what}: boxes {case.boxes}")
            want = {"first.txt", "last.txt"} | ({made} if made else set())
            checks.expect(got == want, f"{what}: made {sorted(got)}, want {sorted(want)}")
        elif expect == WRITE:
            target = on_drive(dest) + "\\" + made
            checks.expect(case.messages == [(WRITE_ERROR, target)], f"{what}: boxes {case.boxes}")
            checks.expect(got == {"first.txt"}, f"{what}: made {sorted(got)}")
        elif expect == FAIL:
            checks.expect(case.messages == [(NOT_SUCCESSFUL, wine_path(program))],
                          f"{what}: boxes {case.boxes}")
            checks.expect(got == {"first.txt"}, f"{what}: made {sorted(got)}")
        else:
            # Taken or refused, but never half: one message at most, and the entries before
            # it extracted.
            checks.expect(len(case.boxes) <= 1, f"{what}: boxes {case.boxes}")
            checks.expect("first.txt" in got, f"{what}: made {sorted(got)}")
            print(f"{what[:70]}: {[t for t, _ in case.messages] or 'extracted'}, "
                  f"made {sorted(n[:40] for n in got)}")
        allowed.append(os.path.relpath(dest, drive))
    # Only the destinations changed: on the test drive, on the share, on drive C:.
    for w, old, new in zip(watched, before, after):
        outside = [p for p in changes(old, new)
                   if not (w == drive and any(p == a or p.startswith(a + os.sep)
                                              for a in allowed))]
        checks.expect(not outside, f"{label}: written outside the destinations: {outside[:10]}")
    new_c = set(find_escaped(drive_c)) - escaped_before
    checks.expect(not new_c, f"{label}: written on drive C: {sorted(new_c)}")
    print("%s: %d names" % (label, len(runs)))


def hostile(args, checks):
    fresh(args.work)
    return hostile_run(args, checks, HOSTILE_NAMES + HOSTILE_UTF8_1252, "hostile-1252")


def hostile_dbcs(args, checks):
    if not os.environ.get("LANG", "").startswith("ja_JP"):
        print("not in the Japanese locale (win32.e2e.hostile.dbcs sets it)")
        return 77
    fresh(args.work)
    return hostile_run(args, checks, HOSTILE_932, "hostile-932")

# ---- Damaged archives ----

def damaged_bases(stub):
    """Two self-extractors to damage: one written here (sizes in the headers) and one that
    Python's zipfile streamed (data descriptors), moved behind the stub."""
    r = random.Random(11)
    text = b"".join(r.choice([b"inflate ", b"window ", b"block ", b"\r\n"]) for _ in range(5000))
    contents = {"text.txt": text, "stored.bin": r.randbytes(3000), "small.txt": b"small" * 9,
                "sub/deflated.bin": bytes(r.getrandbits(3) for _ in range(8000))}
    written = build_zip([Entry(b"text.txt", text, method=8),
                         Entry(b"stored.bin", contents["stored.bin"]),
                         Entry(b"sub/", attributes=0x10),
                         Entry(b"small.txt", contents["small.txt"], method=8),
                         Entry(b"sub/deflated.bin", contents["sub/deflated.bin"], method=8)],
                        prefix=stub)

    class Pipe:
        def __init__(self):
            self.data = bytearray()

        def write(self, b):
            self.data += b
            return len(b)

        def flush(self):
            pass

    pipe = Pipe()
    with zipfile.ZipFile(pipe, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in contents.items():
            z.writestr(name, data)
    streamed = behind_stub(stub, bytes(pipe.data))
    return contents, [written, streamed]


def central_records(data, stub_length):
    """Offsets of the central records and of the end record, in the whole file."""
    end = data.rfind(b"PK\x05\x06")
    (start,) = struct.unpack_from("<I", data, end + 16)
    records = []
    p = start
    while data[p:p + 4] == b"PK\x01\x02":
        records.append(p)
        n, e, c = struct.unpack_from("<HHH", data, p + 28)
        p += 46 + n + e + c
    return records, end


def patched(data, offset, fmt, value):
    out = bytearray(data)
    struct.pack_into(fmt, out, offset, value)
    return bytes(out)


def handmade_damage(stub, base, contents):
    """Damage with a known answer: (label, file, message or None for a clean run)."""
    records, end = central_records(base, len(stub))
    second = records[1]
    (first_local,) = struct.unpack_from("<I", base, records[0] + 42)
    (second_local,) = struct.unpack_from("<I", base, second + 42)
    (central_start,) = struct.unpack_from("<I", base, end + 16)
    cases = [
        ("directory past the end", patched(base, end + 16, "<I", len(base) + 5000), NOTHING),
        ("directory at 2 GiB", patched(base, end + 16, "<I", 0x7FFFFFF0), NOTHING),
        ("directory in the stub", patched(base, end + 16, "<I", 64), NOTHING),
        ("local header past the end", patched(base, second + 42, "<I", len(base) + 1),
         NOT_SUCCESSFUL),
        ("local header in the directory", patched(base, second + 42, "<I", central_start),
         NOT_SUCCESSFUL),
        ("local header inside the first entry's data",
         patched(base, second + 42, "<I", first_local + 100), NOT_SUCCESSFUL),
        # Both names get the first entry's data: the local header decides, and is whole.
        ("two entries, one local header", patched(base, second + 42, "<I", first_local), None,
         sorted([contents["text.txt"], contents["text.txt"], contents["small.txt"],
                 contents["sub/deflated.bin"]])),
    ]
    # The stored entry's sizes: larger runs into the next header, past the end, smaller.
    local = second_local
    cases += [
        ("stored size too large", patched(base, local + 18, "<I", 3100), NOT_SUCCESSFUL),
        ("stored size past the end", patched(base, local + 18, "<I", 0x7FFFFF00),
         NOT_SUCCESSFUL),
        ("stored size too small", patched(base, local + 18, "<I", 2000), NOT_SUCCESSFUL),
        ("deflated size too small", patched(base, first_local + 18, "<I", 40), NOT_SUCCESSFUL),
        ("uncompressed sizes that lie", patched(patched(base, second + 24, "<I", 0xFFFFFFFF),
                                                records[0] + 24, "<I", 7), None),
        ("directory size that lies", patched(base, end + 12, "<I", 3), None),
        ("entry count that lies", patched(base, end + 10, "<H", 60000), NOT_SUCCESSFUL),
        ("a record cut out of the directory", base[:records[3]] + base[records[4]:],
         NOT_SUCCESSFUL),
        ("deflated as stored", patched(base, first_local + 8, "<H", 0), NOT_SUCCESSFUL),
        ("stored as deflated", patched(base, local + 8, "<H", 8), NOT_SUCCESSFUL),
    ]
    # A record too large for the 64000-byte window (its comment): the walk cannot go on.
    entries = [Entry(b"small.txt", contents["small.txt"], method=8),
               Entry(b"text.txt", contents["text.txt"], method=8),
               Entry(b"stored.bin", contents["stored.bin"])]
    entries[1].comment = b"c" * 64000
    cases.append(("a record larger than the window", build_zip(entries, prefix=stub),
                  NOT_SUCCESSFUL))
    return cases


def damaged(args, checks):
    work = fresh(args.work)
    stub = read(args.stub)
    contents, bases = damaged_bases(stub)
    r = random.Random(3)
    # (label, bytes, the message: None for a clean run, ANY; the files of a clean run)
    variants = []
    for which, base in enumerate(bases):
        span = len(base) - len(stub)
        # Cut at many points: the end record goes, and with it the archive.
        for k in range(24):
            cut = len(stub) + (span * k) // 24 + r.randrange(0, max(1, span // 24))
            variants.append((f"base {which} cut at {cut}", base[:cut], NOTHING, None))
        for cut in (len(base) - 1, len(base) - 21, len(base) - 22, len(base) - 23):
            variants.append((f"base {which} cut at {cut}", base[:cut], NOTHING, None))
        # Bytes flipped: the headers' and the directory's first, then anywhere.
        records, end = central_records(base, len(stub))
        hot = [len(stub) + i for i in range(0, 30)] + [records[1] + i for i in range(0, 46, 3)]
        hot += [end + i for i in range(0, 22, 2)]
        spots = hot + [len(stub) + r.randrange(span) for _ in range(40)]
        # The second record's signature or the entry count: the run fails after what came out.
        broken = set(range(records[1], records[1] + 4)) | {end + 10, end + 11}
        for spot in spots:
            flipped = bytearray(base)
            flipped[spot] ^= 1 << r.randrange(8) if spot % 2 else 0xFF
            variants.append((f"base {which} flipped at {spot}", bytes(flipped),
                             NOT_SUCCESSFUL if spot in broken else ANY, None))
    clean = sorted(contents.values())
    for label, data, message, *made in handmade_damage(stub, bases[0], contents):
        variants.append((label, data, message, made[0] if made else clean))

    runs = []
    for i, (label, data, message, clean_files) in enumerate(variants):
        folder = os.path.join(work, "c%03d" % i)
        program = os.path.join(folder, "prog", "setup.exe")
        dest = os.path.join(folder, "dest")
        os.makedirs(dest)
        write(program, data)
        runs.append((label, message, clean_files, dest,
                     Case(program, '"%s"' % wine_path(dest), options="timeout=60")))
    before = snapshot(work)
    with timed("damaged: %d runs under Wine" % len(runs)):
        run_batch([x[-1] for x in runs], os.path.join(work, "batch"), args.batch)
    after = snapshot(work)

    originals = sorted(contents.values())
    seen = {}
    for label, message, clean_files, dest, case in runs:
        checks.expect(case.ended_cleanly(), f"{label}: {case.describe()}")
        texts = [t for t, _ in case.messages]
        made = [data for data in files_of(dest).values() if data is not None]
        # Whatever happened, every file made is one of the archive's, whole.
        foreign = [d[:20] for d in made if d not in originals]
        checks.expect(not foreign, f"{label}: partial or foreign files {foreign}")
        checks.expect(len(case.boxes) <= 1, f"{label}: boxes {case.boxes}")
        if message is ANY:
            checks.expect(set(texts) <= {NOTHING, NOT_SUCCESSFUL, WRITE_ERROR},
                          f"{label}: boxes {case.boxes}")
        elif message is None:
            checks.expect(not case.boxes, f"{label}: boxes {case.boxes}")
            checks.expect(sorted(made) == clean_files, f"{label}: made {len(made)} files")
        else:
            checks.expect(texts == [message], f"{label}: boxes {case.boxes}, want {message}")
        if NOTHING in texts:
            checks.expect(not made, f"{label}: files made after {NOTHING}")
        key = texts[0] if texts else "extracted"
        seen[key] = seen.get(key, 0) + 1
    outside = [p for p in changes(before, after)
               if not any(p == os.path.relpath(d, work) or
                          p.startswith(os.path.relpath(d, work) + os.sep) for _, _, _, d, _ in runs)
               and not p.startswith("batch")]
    checks.expect(not outside, f"damaged: changed outside the destinations: {outside[:10]}")
    print("damaged: %d archives; outcomes %s" % (len(runs), seen))

# ---- Faults ----

def mount_tmpfs(point, size, read_only=False):
    """A small file system of its own at point; False where this machine cannot mount."""
    os.makedirs(point, exist_ok=True)
    if os.geteuid() != 0 or shutil.which("mount") is None:
        return False
    done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s,mode=0777" % size, "tmpfs",
                           point], capture_output=True)
    return done.returncode == 0


def remount_read_only(point):
    return subprocess.run(["mount", "-o", "remount,ro", point], capture_output=True).returncode == 0


def unmount(point):
    subprocess.run(["umount", point], capture_output=True)


def set_file_size_limit(limit):
    """For the child only: writes past limit bytes fail with EFBIG instead of a signal."""
    import resource
    import signal

    def limit_child():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return limit_child


def faults(args, checks):
    # What an interrupted run left mounted goes first.
    with open("/proc/mounts") as f:
        for line in f:
            point = line.split()[1].replace("\\040", " ")
            if point.startswith(args.work + os.sep):
                unmount(point)
    mounts = []
    try:
        return faults_with_mounts(args, checks, mounts)
    finally:
        for point in mounts:
            unmount(point)


def faults_with_mounts(args, checks, mounts):
    work = fresh(args.work)
    stub = read(args.stub)
    r = random.Random(7)
    big = r.randbytes(1 << 20)
    first, last = b"first", b"last"

    def program(name, entries):
        folder = os.path.join(work, name)
        path = os.path.join(folder, "prog", "setup.exe")
        write(path, build_zip(entries, prefix=stub))
        return folder, path

    def target(dest, name):
        return wine_path(dest) + "\\" + name.replace("/", "\\")

    cases = []  # (label, Case, check after the run)

    # A target that another process holds open without sharing: it stays as it was. Once
    # with the question answered Yes, once with /O, which asks nothing.
    for label, switch in (("path", None), ("O", "/O")):
        folder, path = program("locked-" + label, [Entry(b"first.txt", first),
                                                   Entry(b"a.txt", b"new a" * 100, method=8),
                                                   Entry(b"last.txt", last)])
        dest = os.path.join(folder, "dest")
        write(os.path.join(dest, "a.txt"), b"old a")
        lock = "lock=" + wine_path(os.path.join(dest, "a.txt"))
        if switch:
            os.replace(path, os.path.join(dest, "setup.exe"))
            case = Case(os.path.join(dest, "setup.exe"), switch, options=lock)
        else:
            case = Case(path, '"%s"' % wine_path(dest), options="answers=y " + lock)

        def locked(case, dest=dest):
            checks.expect(case.messages == [(WRITE_ERROR, target(dest, "a.txt"))],
                          f"locked: boxes {case.boxes}")
            checks.expect(read(os.path.join(dest, "a.txt")) == b"old a",
                          "locked: the held file changed")
            checks.expect(not os.path.exists(os.path.join(dest, "last.txt")),
                          "locked: went on after the failure")
        cases.append(("locked target, " + label, case, locked))

    # A full disk: a file system of 256 KiB, then a file-size limit of 256 KiB for the run.
    full_entries = [Entry(b"first.txt", first), Entry(b"big.bin", big),
                    Entry(b"last.txt", last)]
    folder, path = program("full", full_entries)
    point = os.path.join(folder, "small")
    if mount_tmpfs(point, "256k"):
        mounts.append(point)

        def full(case, dest=point):
            checks.expect(case.messages == [(WRITE_ERROR, target(dest, "big.bin"))],
                          f"full disk: boxes {case.boxes}")
            checks.expect(sorted(os.listdir(dest)) == ["first.txt"],
                          f"full disk: left {sorted(os.listdir(dest))}")
        cases.append(("full disk (a 256 KiB tmpfs)", Case(path, '"%s"' % wine_path(point)), full))
    else:
        print("faults: this machine cannot mount a file system: the full disk runs as a "
              "file-size limit only, and the read-only file system is skipped")

    # A folder the system will not write to: a file system mounted read-only.
    folder, path = program("read-only", [Entry(b"first.txt", first), Entry(b"last.txt", last)])
    point = os.path.join(folder, "ro")
    if mount_tmpfs(point, "64k"):
        mounts.append(point)
        write(os.path.join(point, "dest", "kept.txt"), b"kept")
        if remount_read_only(point):
            ro_dest = os.path.join(point, "dest")

            def read_only(case, dest=ro_dest):
                checks.expect(case.messages == [(WRITE_ERROR, target(dest, "first.txt"))],
                              f"read-only folder: boxes {case.boxes}")
                checks.expect(sorted(os.listdir(dest)) == ["kept.txt"],
                              f"read-only folder: {sorted(os.listdir(dest))}")
            cases.append(("read-only file system", Case(path, '"%s"' % wine_path(ro_dest)),
                          read_only))

    # A folder with the read-only attribute: on Windows that guards nothing inside it.
    folder, path = program("read-only-attribute", [Entry(b"first.txt", first),
                                                   Entry(b"last.txt", last)])
    attribute_dest = os.path.join(folder, "dest")
    os.makedirs(attribute_dest)

    def attribute(case, dest=attribute_dest):
        checks.expect(not case.boxes, f"read-only attribute: boxes {case.boxes}")
        checks.expect(sorted(os.listdir(dest)) == ["first.txt", "last.txt"],
                      f"read-only attribute: {sorted(os.listdir(dest))}")
    cases.append(("folder with the read-only attribute",
                  Case(path, '"%s"' % wine_path(attribute_dest)), attribute))

    # The program file changes while the stub waits at a question. Windows programs cannot
    # write a running program's file; the host can, as another machine could on a share.
    changing = [Entry(b"a.txt", b"a" * 5000), Entry(b"b.bin", big[:200000], method=8),
                Entry(b"c.txt", b"c" * 100)]
    archive = build_zip(changing, prefix=stub)
    (b_local,) = struct.unpack_from("<I", archive, central_records(archive, len(stub))[0][1] + 42)

    def change_case(name, change, question=None):
        folder = os.path.join(work, name)
        dest = os.path.join(folder, "dest")
        path = os.path.join(folder, "prog", "setup.exe")
        write(path, archive)
        write(os.path.join(dest, "a.txt"), b"old a")
        write(os.path.join(dest, "b.bin"), b"old b")
        options = "answers=yyy" + (" question=" + question if question else "")
        on_question = (lambda: change(path)) if change else None
        return dest, Case(path, '"%s"' % wine_path(dest), options=options,
                          on_question=on_question)

    def cut_in_b(path):
        os.truncate(path, b_local + 30 + 5 + 1000)

    dest, case = change_case("cut", cut_in_b)

    def cut(case, dest=dest):
        # a.txt was replaced; b.bin's data ran short: no old and no partial b.bin.
        checks.expect(case.messages == [(NOT_SUCCESSFUL, wine_path(case.program))],
                      f"cut at a question: boxes {case.boxes}")
        names = sorted(os.listdir(dest))
        checks.expect(names == ["a.txt"], f"cut at a question: left {names}")
    cases.append(("program cut at a question", case, cut))

    other = build_zip([Entry(b"a.txt", b"A" * 7000, method=8), Entry(b"b.bin", b"B" * 300),
                       Entry(b"c.txt", b"C" * 50)], prefix=stub)

    def replace(path):
        write(path + ".new", other)
        os.replace(path + ".new", path)

    dest, case = change_case("replaced", replace)

    def replaced(case, dest=dest):
        wholes = {b"a" * 5000, big[:200000], b"c" * 100, b"A" * 7000, b"B" * 300, b"C" * 50,
                  b"old a", b"old b"}
        made = files_of(dest)
        checks.expect(len(case.messages) <= 1 and
                      {t for t, _ in case.messages} <= {NOT_SUCCESSFUL},
                      f"replaced at a question: boxes {case.boxes}")
        checks.expect(all(d in wholes for d in made.values()),
                      f"replaced at a question: partial files in {sorted(made)}")
        print(f"faults: replaced at a question: {[t for t, _ in case.messages] or 'extracted'}")
    cases.append(("program replaced at a question", case, replaced))

    dest, case = change_case("windows-cut", None, question="cut:%d" % (b_local + 100))

    def windows_cut(case, dest=dest):
        checks.expect(any(e.startswith("action failed 32") for e in case.events),
                      f"a Windows program cut the running program: {case.events}")
        checks.expect(not case.messages, f"after the refused cut: boxes {case.boxes}")
        checks.expect(read(os.path.join(dest, "b.bin")) == big[:200000],
                      "after the refused cut: b.bin")
    cases.append(("program cut by a Windows program at a question", case, windows_cut))

    with timed("faults: %d runs under Wine" % len(cases)):
        run_batch([c for _, c, _ in cases], os.path.join(work, "batch"), args.batch)
    # The full disk once more, as a file-size limit on the run's processes.
    limited_folder, limited = program("limit", full_entries)
    limited_dest = os.path.join(limited_folder, "dest")
    os.makedirs(limited_dest)
    limit_case = Case(limited, '"%s"' % wine_path(limited_dest))
    quiet_dest = os.path.join(limited_folder, "quiet")
    quiet_case = Case(limited, '/Q "%s"' % wine_path(quiet_dest))
    run_batch([limit_case, quiet_case], os.path.join(work, "batch-limit"), args.batch,
              preexec=set_file_size_limit(256 << 10))
    checks.expect(quiet_case.exit_code == 2 and not quiet_case.boxes and
                  sorted(os.listdir(quiet_dest)) == ["first.txt"],
                  f"file-size limit, quiet: {quiet_case.describe()}")
    for label, case, check in cases:
        checks.expect(case.ended_cleanly(), f"{label}: {case.describe()}")
        check(case)
    checks.expect(limit_case.ended_cleanly(), f"file-size limit: {limit_case.describe()}")
    checks.expect(limit_case.messages == [(WRITE_ERROR, target(limited_dest, "big.bin"))],
                  f"file-size limit: boxes {limit_case.boxes}")
    checks.expect(sorted(os.listdir(limited_dest)) == ["first.txt"],
                  f"file-size limit: left {sorted(os.listdir(limited_dest))}")
    print("faults: %d cases" % (len(cases) + 1))

# ---- Unattended runs and self-extractors configured by the packer ----

def unattended(args, checks):
    work = fresh(args.work)
    stub = read(args.stub)
    tree = os.path.join(work, "tree")
    write(os.path.join(tree, "a.txt"), b"alpha" * 100)
    write(os.path.join(tree, "sub", "b.txt"), b"beta")
    shutil.copy(args.exit_with, os.path.join(tree, "exit_with.exe"))
    record = os.path.join(work, "record.txt")
    cases = []  # (label, Case, check after the run)

    def packed(name, *options, archive=None):
        path = os.path.join(work, name, "prog", "setup.exe")
        os.makedirs(os.path.dirname(path))
        if archive is not None:
            write(path, archive)
            return path
        subprocess.run([args.mksfx, "-q", "--stub", args.stub, *options, "-o", path, tree + "/."],
                       check=True)
        return path

    def add(label, path, arguments, code, boxes=(), dest=None, files=None, options="",
            a_txt=b"alpha" * 100, old=False):
        if old:
            write(os.path.join(dest, "a.txt"), b"old")

        def check(case):
            checks.expect(case.exit_code == code and not case.timed_out,
                          f"{label}: want exit {code}: {case.describe()}")
            checks.expect(case.messages == list(boxes), f"{label}: boxes {case.boxes}")
            if dest is not None:
                got = sorted(files_of(dest))
                checks.expect(got == sorted(files), f"{label}: {dest} holds {got}")
                checks.expect("a.txt" not in files or read(os.path.join(dest, "a.txt")) == a_txt,
                              f"{label}: a.txt holds the wrong bytes")
        cases.append((label, Case(path, arguments, options="timeout=30 " + options), check))

    everything = ["a.txt", "sub/", "sub/b.txt", "exit_with.exe"]
    plain = packed("plain")
    dest = os.path.join(work, "plain", "dest")
    write(os.path.join(dest, "a.txt"), b"old")
    os.chmod(os.path.join(dest, "a.txt"), 0o444)
    add("quiet into a path over a read-only file", plain, '/Q "%s"' % wine_path(dest), 0,
        dest=dest, files=everything)
    add("quiet into the program's folder", plain, "-q", 0, dest=os.path.dirname(plain),
        files=everything + ["setup.exe"])
    bad = Entry(b"bad.txt", b"bad" * 50, method=8)
    bad.crc ^= 1
    damaged = packed("damaged", archive=build_zip(
        [Entry(b"first.txt", b"first"), bad, Entry(b"last.txt", b"last")], prefix=stub))
    dest = os.path.join(work, "damaged", "dest")
    add("quiet, a damaged entry", damaged, '"%s" /q' % wine_path(dest), 1, dest=dest,
        files=["first.txt"])
    empty = packed("empty", archive=stub)
    add("quiet, nothing to extract", empty, "/Q", 3)

    titled = packed("titled", "--title", "Setup данные")
    dest = os.path.join(work, "titled", "dest")
    add("cancel at a question", titled, '"%s"' % wine_path(dest), 4, dest=dest, files=["a.txt"],
        boxes=[(ABORTED, "Setup данные")], options="answers=c", a_txt=b"old", old=True)
    never = packed("never", "--overwrite", "never")
    dest = os.path.join(work, "never", "dest")
    add("overwrite never", never, '"%s"' % wine_path(dest), 0, dest=dest, files=everything,
        a_txt=b"old", old=True)

    runs = packed("runs", "--run", "exit_with.exe 7 " + wine_path(record))
    runs_dest = os.path.join(work, "runs", "dest")
    add("a program that returns 7", runs, '/Q "%s"' % wine_path(runs_dest), 7)
    unstartable = packed("unstartable", "--run", "sub/b.txt")
    add("a program that cannot start", unstartable, "/S", 5,
        boxes=[("Error starting program!", "sub\\b.txt")])

    temp_record = os.path.join(work, "record-temp.txt")
    temp = packed("temp", "--temp", "--quiet", "--run", "exit_with.exe 0 " + wine_path(temp_record))
    add("a temporary folder", temp, "", 0, dest=os.path.dirname(temp), files=["setup.exe"])
    expanded = packed("expanded", "--quiet", "--destination", "%SFXTEST_DEST%\\inst")
    expanded_dest = os.path.join(work, "expanded", "chosen")
    add("a destination from a variable", expanded, "", 0,
        dest=os.path.join(expanded_dest, "inst"), files=everything)
    unset = packed("unset", "--destination", "%SFXTEST_UNSET%\\inst")
    add("a variable that is not set", unset, "/Q", 3, dest=os.path.dirname(unset),
        files=["setup.exe"])

    with timed("unattended: %d runs under Wine" % len(cases)):
        run_batch([c for _, c, _ in cases], os.path.join(work, "batch"), args.batch,
                  env={"SFXTEST_DEST": wine_path(expanded_dest)})
    for label, case, check in cases:
        check(case)
    ran = read(record).decode("utf-16-le") if os.path.exists(record) else ""
    checks.expect(ran.lower() == (wine_path(runs_dest) + '\n"' + wine_path(runs_dest) +
                                  '\\exit_with.exe" 7 ' + wine_path(record)).lower(),
                  f"the program's working folder and command line: {ran!r}")
    # The temporary folder, C:\users\...\sfx-XXXXXXXX under Wine's prefix, is gone.
    folder = read(temp_record).decode("utf-16-le").split("\n")[0]
    prefix = os.environ.get("WINEPREFIX", os.path.join(HERE_ROOT, "build", "wineprefix"))
    gone = os.path.join(prefix, "drive_c", *folder[3:].split("\\")).rstrip("/")
    checks.expect(folder[:3] == "C:\\" and "\\sfx-" in folder and not os.path.exists(gone)
                  and os.path.isdir(os.path.dirname(gone)), f"the temporary folder {folder}")
    print("unattended: %d cases" % len(cases))


# ---- Libraries planted beside the program ----

# comctl32 and shell32, and what they, the dialog and the folder browser load.
DECOYS = ["comctl32", "shell32", "shlwapi", "shcore", "imm32", "ole32", "oleaut32", "combase",
          "rpcrt4", "uxtheme", "propsys", "comdlg32", "shdocvw", "browseui", "explorerframe"]


def decoys(args, checks):
    work = fresh(args.work)
    stub = read(args.stub)
    decoy = read(args.decoy)
    overrides = ",".join(DECOYS) + "=n,b"

    def plant(folder, names):
        for name in names:
            write(os.path.join(folder, name + ".dll"), decoy)

    def markers_after(label, cases, must_end=True):
        markers = fresh(os.path.join(work, "markers-" + label))
        run_batch(cases, os.path.join(work, "batch-" + label), args.batch,
                  env={"SFX_DECOY_MARKERS": wine_path(markers),
                       "SFX_EXTRA_DLLOVERRIDES": overrides})
        for case in cases:
            checks.expect(not must_end or case.ended_cleanly(),
                          f"decoys {label}: {case.describe()}")
        return sorted(m.lower()[:-len(".dll")] for m in os.listdir(markers))

    # What Wine loads by itself, with the default search, for any program that makes a
    # window: its user32 loads imm32 before the first instruction, and imm32 loads ole32 and
    # what that needs at the first window. Decoys of those would take Wine itself down (they
    # cannot serve), and no program decides about them, so they are not planted below. A
    # decoy that stops the chain hides the rest, so the control runs until nothing new shows.
    wine_own = []
    with timed("decoys: the batches under Wine"):
        for attempt in range(len(DECOYS)):
            baseline_folder = fresh(os.path.join(work, "baseline%d" % attempt))
            plant(baseline_folder, [d for d in DECOYS if d not in wine_own])
            write(os.path.join(baseline_folder, "control.exe"), read(args.control))
            more = markers_after("baseline%d" % attempt,
                                 [Case(os.path.join(baseline_folder, "control.exe"),
                                       "--window")], must_end=False)
            if not more:
                break
            wine_own += more
        checks.expect("comctl32" not in wine_own and "shell32" not in wine_own,
                      f"decoys: Wine itself loads {wine_own}: the proof would mean nothing")
        planted = [d for d in DECOYS if d not in wine_own]
        prog = os.path.join(work, "prog")
        cwd = os.path.join(work, "cwd")
        plant(prog, planted)
        plant(cwd, planted)
        archive = build_zip([Entry(b"a.txt", b"new a" * 200, method=8), Entry(b"b.txt", b"b")],
                            prefix=stub)
        for name in ("dialog", "switch", "path"):
            write(os.path.join(prog, name + ".exe"), archive)
        dest = os.path.join(work, "dest")
        # The dialog's folder and the path's destination hold a.txt, so the run stops at a
        # question, where the progress window is up.
        write(os.path.join(prog, "a.txt"), b"old a")
        write(os.path.join(dest, "a.txt"), b"old a")

        # The stub: the dialog, its browser opened and cancelled, OK, the progress window at
        # the question; then the switch and the path forms.
        runs = [Case(os.path.join(prog, "dialog.exe"), "", cwd, options="dialog=browse answers=y"),
                Case(os.path.join(prog, "switch.exe"), "/O", cwd),
                Case(os.path.join(prog, "path.exe"), '"%s"' % wine_path(dest), cwd,
                     options="answers=y")]
        loaded = markers_after("stub", runs)
        checks.expect(loaded == [], f"decoys: the stub loaded planted libraries: {loaded}")
        dialog = runs[0]
        checks.expect(not any(e.startswith("browse") for e in dialog.events),
                      f"decoys: the dialog or its browser did not work: {dialog.events}")
        for case in (dialog, runs[2]):
            checks.expect([b[0] for b in case.boxes] == [OVERWRITE] and
                          case.owners == ["Unpacking files..."],
                          f"decoys: no question over the progress window: {case.boxes} "
                          f"{case.owners}")
        checks.expect(read(os.path.join(prog, "a.txt")) == b"new a" * 200,
                      "decoys: the dialog's run did not extract")
        checks.expect(read(os.path.join(dest, "b.txt")) == b"b", "decoys: the path run")

        # The control: a bare-name load with the default search takes the planted files.
        control = os.path.join(prog, "control.exe")
        write(control, read(args.control))
        taken = markers_after("control", [Case(control, "comctl32.dll shell32.dll", cwd)],
                              must_end=False)
        checks.expect(taken == ["comctl32", "shell32"],
                      f"decoys: the control loaded {taken}, so the decoys prove nothing")
        # And from the current folder alone, when the program's own folder has none.
        elsewhere = os.path.join(work, "elsewhere", "control.exe")
        write(elsewhere, read(args.control))
        from_cwd = markers_after("cwd", [Case(elsewhere, "comctl32.dll shell32.dll", cwd)],
                                 must_end=False)
    print("decoys: Wine's own loads for a window: %s; planted beside the program and in the "
          "current folder: %s; the control took %s from the program's folder and %s from the "
          "current folder" % (wine_own, planted, taken, from_cwd or "none"))

# ---- A signed self-extractor ----

def security_directory(data):
    """The file offset of the PE security directory's entry (certificate table, size)."""
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    return pe + 24 + 96 + 4 * 8


def plant_behind_signature(signed, archive):
    """An archive appended to the certificate table, the table grown to cover it: the bytes
    the signature does not hash, which a reader searching from the end would take."""
    entry = security_directory(signed)
    table, size = struct.unpack_from("<II", signed, entry)
    if table + size != len(signed):
        raise ValueError("the certificate table is not at the end")
    data = bytearray(signed)
    start = len(data)
    # The archive's offsets count from the start of the file, as a self-extractor's do.
    data += build_zip(archive, prefix=bytes(start))[start:]
    data += bytes(-len(data) % 8)
    grown = len(data) - table
    struct.pack_into("<I", data, entry + 4, grown)
    struct.pack_into("<I", data, table, grown)  # WIN_CERTIFICATE.dwLength
    return bytes(data)


def signed(args, checks):
    for tool in ("osslsigncode", "openssl", "unzip"):
        if shutil.which(tool) is None:
            print("no", tool, "(run scripts/setup)")
            return 77
    work = fresh(args.work)
    key, cert = os.path.join(work, "key.pem"), os.path.join(work, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                    "-out", cert, "-days", "2", "-subj", "/CN=sfx test signer"], check=True,
                   capture_output=True)
    files = {"a.txt": b"signed a" * 300, "sub/b.bin": random.Random(1).randbytes(5000)}
    unsigned = os.path.join(work, "unsigned.exe")
    write(unsigned, build_zip([Entry(n.encode(), d, method=8) for n, d in files.items()],
                              prefix=read(args.stub)))
    signed_path = os.path.join(work, "signed.exe")
    subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "sfx test",
                    "-in", unsigned, "-out", signed_path], check=True, capture_output=True)
    signed_bytes = read(signed_path)
    table, size = struct.unpack_from("<II", signed_bytes, security_directory(signed_bytes))
    checks.expect(table != 0 and table + size == len(signed_bytes),
                  f"signed: no certificate table at the end ({table}, {size})")
    planted_bytes = plant_behind_signature(signed_bytes,
                                           [Entry(b"planted.txt", b"planted", method=8),
                                            Entry(b"a.txt", b"planted a")])
    # The plant works on a reader that searches from the end: unzip takes it.
    planted_file = os.path.join(work, "planted-probe.exe")
    write(planted_file, planted_bytes)
    listing = subprocess.run(["unzip", "-Z1", planted_file], capture_output=True).stdout.split()
    checks.expect(b"planted.txt" in listing, f"signed: unzip does not see the plant: {listing}")
    verify = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", planted_file],
                            capture_output=True, text=True)
    signature_ok = "Signature verification: ok" in verify.stdout

    cases = []
    for label, data in (("signed", signed_bytes), ("planted", planted_bytes)):
        folder = os.path.join(work, label)
        write(os.path.join(folder, "setup.exe"), data)
        cases.append((label, folder, Case(os.path.join(folder, "setup.exe"), "/O")))
    with timed("signed: 2 runs under Wine"):
        run_batch([c for _, _, c in cases], os.path.join(work, "batch"), args.batch)
    for label, folder, case in cases:
        checks.expect(case.ended_cleanly() and not case.boxes, f"{label}: {case.describe()}")
        got = {n: d for n, d in files_of(folder, skip=("setup.exe",)).items() if d is not None}
        checks.expect(got == files, f"{label}: extracted {sorted(got)}, want {sorted(files)}")
    print("signed: osslsigncode's verification of the planted file: %s"
          % ("still ok" if signature_ok else "fails"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("proof")
    for option in ("stub", "batch", "mksfx", "decoy", "control", "exit-with", "work"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    args.work = os.path.join(os.path.abspath(args.work), args.proof)
    for option in ("stub", "batch", "mksfx", "decoy", "control", "exit_with"):
        setattr(args, option, os.path.abspath(getattr(args, option)))
    proofs = {"peers": peers, "hostile": hostile, "hostile-dbcs": hostile_dbcs,
              "damaged": damaged, "faults": faults, "decoys": decoys,
              "signed": signed, "unattended": unattended}
    checks = Checks()
    with timed(args.proof):
        status = proofs[args.proof](args, checks)
    if status is not None:
        return status
    return checks.finish(args.proof)


if __name__ == "__main__":
    sys.exit(main())
