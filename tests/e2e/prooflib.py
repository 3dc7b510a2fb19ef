"""What the end-to-end proofs share: Wine paths, a batch of stub runs and its results, ZIP
archives written byte by byte (names no packer would write), moving an archive behind a
stub, and looking at trees."""
import os
import struct
import subprocess
import sys
import threading
import time
import zlib

HERE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_RUN = os.path.join(HERE, "scripts", "wine-run")

NOTHING = "Nothing to extract!"
ABORTED = "Unzip aborted!"
NOT_SUCCESSFUL = "Unzip NOT successful!"
WRITE_ERROR = "Error writing target file!"
OVERWRITE = "File exists, overwrite?"
PROTECTED = "Target write protected, overwrite anyway?"


class Checks:
    """Failures collected over a whole proof, so one run reports every broken case."""

    def __init__(self):
        self.failures = 0
        self.checked = 0

    def expect(self, condition, message):
        self.checked += 1
        if not condition:
            self.failures += 1
            print("FAIL:", message)
        return condition

    def finish(self, what):
        if self.checked == 0:
            print("FAIL: nothing was checked")
            return 1
        print(f"{what}: {self.checked} checks, {self.failures} failed")
        return 1 if self.failures else 0


def wine_path(path):
    """A host path as Wine's drive Z: names it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Case:
    """One run of a self-extractor: the program, its arguments, its working folder and what the
    runner does (answers, a file held locked, a change at the first question)."""

    def __init__(self, program, arguments="", work=None, options="", on_question=None):
        self.program = program
        self.arguments = arguments
        self.work = work or os.path.dirname(program)
        self.options = options
        self.on_question = on_question  # called on the host at the first question
        self.boxes = []  # (caption, text, kind)
        self.owners = []  # the caption of each box's owner window
        self.events = []
        self.exit_code = None
        self.timed_out = False

    @property
    def messages(self):
        """The final messages shown (not the questions), as (text, caption)."""
        return [(text, caption) for caption, text, kind in self.boxes if kind == "message"]

    def ended_cleanly(self):
        return self.exit_code == 0 and not self.timed_out

    def describe(self):
        end = "timeout" if self.timed_out else f"exit {self.exit_code}"
        return f"{self.program} {self.arguments}: {end}, boxes {self.boxes}, events {self.events}"


def run_batch(cases, folder, stub_batch, env=None, preexec=None):
    """Runs the cases one after another in one Wine process of stub_batch; fills in each
    case's boxes and end. A case with on_question is held at its first question while the host
    changes things, then answered."""
    os.makedirs(folder, exist_ok=True)
    case_file = os.path.join(folder, "cases.txt")
    result_file = os.path.join(folder, "results.txt")
    with open(case_file, "wb") as f:
        for case in cases:
            options = case.options
            if case.on_question is not None:
                options += " question=signal"
            line = "\t".join([wine_path(case.program), case.arguments, wine_path(case.work),
                              options.strip()])
            f.write(line.encode("utf-8") + b"\n")
    if os.path.exists(result_file):
        os.remove(result_file)
    run_env = dict(os.environ)
    run_env.update(env or {})
    stop = threading.Event()
    watcher = threading.Thread(target=_answer_signals, args=(cases, stop), daemon=True)
    watcher.start()
    limit = 120 + sum(_timeout_of(c) + 10 for c in cases)
    try:
        subprocess.run([WINE_RUN, stub_batch, wine_path(case_file), wine_path(result_file)],
                       env=run_env, timeout=limit, check=False, stdout=subprocess.DEVNULL,
                       preexec_fn=preexec)
    finally:
        stop.set()
        watcher.join()
    _read_results(cases, result_file)


def _timeout_of(case):
    for option in case.options.split():
        if option.startswith("timeout="):
            return int(option[len("timeout="):])
    return 60


def _answer_signals(cases, stop):
    """The runner leaves PROGRAM.asked at a question marked question=signal and waits for it
    to go; the host makes its change in between."""
    pending = [c for c in cases if c.on_question is not None]
    while pending and not stop.is_set():
        for case in list(pending):
            signal = case.program + ".asked"
            if os.path.exists(signal):
                case.on_question()
                os.remove(signal)
                pending.remove(case)
        time.sleep(0.05)


def _read_results(cases, path):
    if not os.path.exists(path):
        for case in cases:
            case.events.append("no results")
        return
    with open(path, "rb") as f:
        for raw in f.read().split(b"\n"):
            if not raw:
                continue
            fields = raw.decode("utf-8", errors="replace").split("\t")
            case = cases[int(fields[0])]
            event = fields[1]
            if event == "box":
                case.boxes.append((fields[2], fields[3], fields[4]))
                case.owners.append(fields[5])
            elif event == "end":
                case.exit_code = int(fields[2])
            elif event == "timeout":
                case.timed_out = True
            else:
                case.events.append(" ".join(fields[1:]))


# ---- ZIP archives, byte by byte ----

DOS_TIME_2020 = (((2020 - 1980) << 9 | 5 << 5 | 17) << 16) | (12 << 11 | 34 << 5 | 56 // 2)


class Entry:
    """One entry as written: the name's bytes, the data, and every field a test may bend."""

    def __init__(self, name, data=b"", method=0, flags=0, extra=b"", attributes=0x20,
                 made_by=0x0014, dos_time=DOS_TIME_2020):
        self.name = name if isinstance(name, bytes) else name.encode("ascii")
        self.data = data
        self.method = method
        self.flags = flags
        self.extra = extra
        self.attributes = attributes
        self.made_by = made_by
        self.dos_time = dos_time
        self.comment = b""
        self.crc = zlib.crc32(data)
        if method == 8:
            packer = zlib.compressobj(9, zlib.DEFLATED, -15)
            self.packed = packer.compress(data) + packer.flush()
        else:
            self.packed = data
        self.size = len(data)


def build_zip(entries, prefix=b"", comment=b""):
    """Prefix, then the archive, whose offsets count from the start of the prefix."""
    out = bytearray(prefix)
    central = bytearray()
    for e in entries:
        offset = len(out)
        out += struct.pack("<IHHHIIIIHH", 0x04034B50, 20, e.flags, e.method, e.dos_time, e.crc,
                           len(e.packed), e.size, len(e.name), len(e.extra))
        out += e.name + e.extra + e.packed
        central += struct.pack("<IHHHHIIIIHHHHHII", 0x02014B50, e.made_by, 20, e.flags, e.method,
                               e.dos_time, e.crc, len(e.packed), e.size, len(e.name),
                               len(e.extra), len(e.comment), 0, 0, e.attributes, offset)
        central += e.name + e.extra + e.comment
    start = len(out)
    out += central
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                       start, len(comment)) + comment
    return bytes(out)


def unicode_path_extra(name_field, utf8):
    """Info-ZIP's Unicode path field: version 1, the CRC-32 of the name field it replaces."""
    body = struct.pack("<BI", 1, zlib.crc32(name_field)) + utf8
    return struct.pack("<HH", 0x7075, len(body)) + body


def behind_stub(stub, archive):
    """The stub, then a peer's archive with every offset moved by the stub's length, as if it
    had been written there: its own records (descriptors, ZIP64 fields) stay as they are."""
    shift = len(stub)
    data = bytearray(archive)
    end = data.rfind(b"PK\x05\x06")
    if end < 0:
        raise ValueError("no end record")
    count, size, start = struct.unpack_from("<HII", data, end + 10)
    locator = end - 20
    zip64 = locator >= 0 and data[locator:locator + 4] == b"PK\x06\x07"
    if zip64:
        (record,) = struct.unpack_from("<Q", data, locator + 8)
        struct.pack_into("<Q", data, locator + 8, record + shift)
        (start64,) = struct.unpack_from("<Q", data, record + 48)
        struct.pack_into("<Q", data, record + 48, start64 + shift)
    if start != 0xFFFFFFFF:
        struct.pack_into("<I", data, end + 16, start + shift)
    else:
        start = start64
    p = start
    while data[p:p + 4] == b"PK\x01\x02":
        n, e, c = struct.unpack_from("<HHH", data, p + 28)
        (offset,) = struct.unpack_from("<I", data, p + 42)
        if offset != 0xFFFFFFFF:
            struct.pack_into("<I", data, p + 42, offset + shift)
        else:
            _shift_zip64_offset(data, p, n, e, shift)
        p += 46 + n + e + c
    return bytes(stub) + bytes(data)


def _shift_zip64_offset(data, record, n, e, shift):
    sizes = struct.unpack_from("<II", data, record + 20)
    q = record + 46 + n
    while q < record + 46 + n + e:
        tag, length = struct.unpack_from("<HH", data, q)
        if tag == 1:
            # The field holds, in order, only the values whose 32-bit field is 0xFFFFFFFF.
            at = q + 4 + 8 * sum(1 for s in sizes if s == 0xFFFFFFFF)
            (offset,) = struct.unpack_from("<Q", data, at)
            struct.pack_into("<Q", data, at, offset + shift)
            return
        q += 4 + length


# ---- Trees ----

def snapshot(root):
    """Every file and folder under root with its size and modification time."""
    seen = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            seen[os.path.relpath(path, root)] = (st.st_size if name in files else -1,
                                                 st.st_mtime_ns)
    return seen


def changes(before, after):
    """Paths added, removed or changed between two snapshots."""
    return sorted(p for p in set(before) | set(after) if before.get(p) != after.get(p))


def files_of(root, skip=()):
    """Relative path -> bytes of every file under root, folders as path/ -> None."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for d in dirs:
            rel = os.path.relpath(os.path.join(folder, d), root)
            found[rel + "/"] = None
        for f in files:
            rel = os.path.relpath(os.path.join(folder, f), root)
            if rel in skip:
                continue
            with open(os.path.join(folder, f), "rb") as h:
                found[rel] = h.read()
    return found


def attributes_by_wine(root, env=None):
    """Wine's view of the DOS attributes of every file under root: path -> letters."""
    run_env = dict(os.environ)
    run_env.update(env or {})
    out = subprocess.run([WINE_RUN, "cmd", "/c", "attrib", "/s", wine_path(root) + "\\*"],
                         env=run_env, capture_output=True, timeout=300).stdout
    letters = {}
    prefix = wine_path(root) + "\\"
    for line in out.decode("latin-1").splitlines():
        at = line.find(prefix)
        if at < 0:
            continue
        rel = line[at + len(prefix):].rstrip().replace("\\", "/")
        letters[rel] = line[:at]
    return letters


def timed(label):
    """Prints how long a part took, for the report."""
    class Timer:
        def __enter__(self):
            self.start = time.time()

        def __exit__(self, *exc):
            print(f"{label}: {time.time() - self.start:.1f} s")
            sys.stdout.flush()
    return Timer()
