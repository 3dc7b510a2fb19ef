#!/usr/bin/env bash
# --zip: archives from Info-ZIP zip, 7-Zip, Python's zipfile and bsdtar are wrapped with fresh
# offsets and plain records; what the stub cannot extract is refused, naming the entry.
. "$(dirname "$0")/lib.sh"

tree=$work/tree
mkdir -p "$tree/docs/empty" "$tree/src"
python3 - "$tree" <<'PY'
import os, random, sys
root = sys.argv[1]
r = random.Random(3)
open(os.path.join(root, "text.txt"), "wb").write(b"".join(r.choice([b"zip ", b"wrap\n", b"entry "]) for _ in range(40000)))
open(os.path.join(root, "random.bin"), "wb").write(bytes(r.getrandbits(8) for _ in range(200000)))
open(os.path.join(root, "docs/Grüße.txt"), "wb").write("grüße\n".encode() * 100)
open(os.path.join(root, "src/empty.c"), "wb").close()
PY
cp /usr/include/zlib.h "$tree/src/"

# Wraps, checks with the peers, and compares unzip's extraction with the tree.
wraps() {  # zip [tree]
    local exe=${1%.zip}.exe
    "$mksfx" -q -o "$exe" --zip "$1" || { fail "wrap $1"; return; }
    peers_pass "$exe"
    extracts_as "$exe" "${2:-$tree}"
    # Plain records: no data descriptors, no ZIP64 anywhere.
    python3 - "$exe" <<'PY' || fail "records of $exe"
import struct, sys, zipfile
data = open(sys.argv[1], "rb").read()
# The stub's own code may hold signature bytes; only the archive's records count.
infos = zipfile.ZipFile(sys.argv[1]).infolist()
start = min(i.header_offset for i in infos)
if b"PK\x06\x06" in data[start:] or b"PK\x06\x07" in data[start:]: sys.exit("ZIP64 end record")
for info in infos:
    at = info.header_offset
    flags, = struct.unpack("<H", data[at + 6:at + 8])
    size, = struct.unpack("<I", data[at + 18:at + 22])
    if flags & 8 or size == 0xFFFFFFFF: sys.exit("descriptor or ZIP64 local header at %d" % at)
PY
}

for level in 0 9; do
    (cd "$tree" && zip -q -r -$level "$work/info$level.zip" .) && wraps "$work/info$level.zip"
done
(cd "$tree" && zip -q -r -fd "$work/descriptors.zip" .) && wraps "$work/descriptors.zip"
# To a pipe: data descriptors; from standard input: ZIP64 local headers with 0xFFFFFFFF sizes.
(cd "$tree" && zip -q -r - . | cat >"$work/piped.zip") && wraps "$work/piped.zip"
mkdir "$work/stdin"
cp "$tree/text.txt" "$work/stdin/-"
zip -q - - <"$tree/text.txt" | cat >"$work/stdin.zip"
# Such an entry has the time of packing, in DOS time only.
python3 -c 'import sys, time, zipfile, os
t = time.mktime(zipfile.ZipFile(sys.argv[1]).infolist()[0].date_time + (0, 0, -1))
os.utime(sys.argv[2], (t, t))' "$work/stdin.zip" "$work/stdin/-"
wraps "$work/stdin.zip" "$work/stdin"
(cd "$tree" && 7z a -tzip -mx=9 "$work/7zip.zip" . >/dev/null) && wraps "$work/7zip.zip"
# bsdtar given "." names its entries "./" and "./name": they go in as the root and "name".
(cd "$tree" && bsdtar --format zip -cf "$work/bsdtar.zip" .) && wraps "$work/bsdtar.zip"
(cd "$tree" && bsdtar --format zip -cf "$work/bsdtar-named.zip" docs random.bin src text.txt) &&
    wraps "$work/bsdtar-named.zip"
unzip -Z1 "$work/bsdtar.exe" | grep -q '^\./' && fail "'./' names kept"
# Python's zipfile, and the same archive behind a stub already (like copy /b) and with a ZIP64
# end record whose values fit 32 bits.
python3 - "$tree" "$work" <<'PY'
import os, struct, sys, zipfile
tree, work = sys.argv[1], sys.argv[2]
path = os.path.join(work, "python.zip")
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
    for d, dirs, files in sorted(os.walk(tree)):
        for n in sorted(dirs + files):
            p = os.path.join(d, n)
            z.write(p, os.path.relpath(p, tree))
data = open(path, "rb").read()
open(os.path.join(work, "prefixed.zip"), "wb").write(b"MZ" + bytes(3000) + data)
end = data.rfind(b"PK\x05\x06")
count, size, offset = struct.unpack("<HII", data[end + 10:end + 20])
z64 = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count, size, offset)
loc = struct.pack("<IIQI", 0x07064B50, 0, end, 1)
plain = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
open(os.path.join(work, "zip64end.zip"), "wb").write(data[:end] + z64 + loc + plain)
PY
# ZIP64 throughout (Info-ZIP's -fz): sizes and offsets in ZIP64 fields, the ZIP64 end record.
(cd "$tree" && zip -q -r -fz "$work/forced64.zip" .)
for name in python prefixed zip64end forced64; do
    wraps "$work/$name.zip"
done

# Refusals, each naming the entry, with no output.
echo secret >"$work/secret.txt"
(cd "$work" && zip -q -P pass encrypted.zip secret.txt)
refused 3 "entry 'secret.txt' is encrypted" "$work/out.exe" -- "$mksfx" -o "$work/out.exe" --zip "$work/encrypted.zip"
python3 - "$work" <<'PY'
import os, struct, sys, zipfile
work = sys.argv[1]
for name, method in (("bzip2", zipfile.ZIP_BZIP2), ("lzma", zipfile.ZIP_LZMA)):
    with zipfile.ZipFile(os.path.join(work, name + ".zip"), "w") as z:
        z.writestr("ok.txt", "fine", zipfile.ZIP_DEFLATED)
        z.writestr(name + ".txt", "packed " * 100, method)
# A central directory entry with its sizes in the ZIP64 field, the compressed one past the file.
data = bytearray()
body = b"large " * 10
crc = zipfile.crc32(body)
z64 = struct.pack("<HHQQ", 1, 16, len(body), 1 << 40)
local = struct.pack("<IHHHIIIIHH", 0x04034B50, 45, 0, 0, 0x00210000, crc, 0xFFFFFFFF, 0xFFFFFFFF, 9, len(z64)) + b"large.bin" + z64
central = struct.pack("<IHHHHIIIIHHHHHII", 0x02014B50, 45, 45, 0, 0, 0x00210000, crc, 0xFFFFFFFF, 0xFFFFFFFF, 9, len(z64), 0, 0, 0, 0, 0) + b"large.bin" + z64
end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), len(local) + len(body), 0)
open(os.path.join(work, "zip64.zip"), "wb").write(local + body + central + end)
# ZIP64 records that contradict themselves: no ZIP64 end record where the locator says, the last
# entry's size both in its header and in its ZIP64 field, a count no directory of its size holds.
def patched(name, *changes):
    d = bytearray(open(os.path.join(work, "forced64.zip"), "rb").read())
    for sig, at, value in changes: d[d.rfind(sig) + at:d.rfind(sig) + at + len(value)] = value
    open(os.path.join(work, name), "wb").write(d)
patched("no64end.zip", (b"PK\x06\x06", 0, b"PX"))
patched("both.zip", (b"PK\x01\x02", 24, bytes(4)))
patched("count.zip", (b"PK\x06\x06", 24, struct.pack("<QQ", 10**6, 10**6)),
        (b"PK\x05\x06", 8, b"\xff" * 4))
# The same archive as disk 2 of a set.
ok = open(os.path.join(work, "bzip2.zip"), "rb").read()
at = ok.rfind(b"PK\x05\x06")
open(os.path.join(work, "multidisk.zip"), "wb").write(ok[:at + 4] + struct.pack("<H", 1) + ok[at + 6:])
# Names Windows cannot hold, a case clash, and a directory that lies about an entry's size.
def archive(name, entries):
    with zipfile.ZipFile(os.path.join(work, name), "w") as z:
        for n, d in entries:
            z.writestr(n, d)
archive("badname.zip", [("ok.txt", "x"), ("dir/aux.c", "y")])
archive("traversal.zip", [("./../evil.txt", "x")])
archive("clash.zip", [("Readme.txt", "a"), ("README.TXT", "b")])
archive("allempty.zip", [("dir/", ""), ("empty.txt", "")])
with zipfile.ZipFile(os.path.join(work, "big.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("small.txt", "x")
big = bytearray(open(os.path.join(work, "big.zip"), "rb").read())
c = big.rfind(b"PK\x01\x02")
big[c + 24:c + 28] = struct.pack("<I", 0x80000000)  # the directory's uncompressed size
open(os.path.join(work, "big.zip"), "wb").write(big)
PY
zip_refused() {  # code pattern zip
    refused "$1" "$2" "$work/out.exe" -- "$mksfx" -o "$work/out.exe" --zip "$3"
}
zip_refused 3 "entry 'bzip2.txt' uses compression method 12 (bzip2)" "$work/bzip2.zip"
zip_refused 3 "entry 'lzma.txt' uses compression method 14 (LZMA)" "$work/lzma.zip"
zip_refused 3 "entry 'large.bin' has data that runs into the directory" "$work/zip64.zip"
zip_refused 3 "its ZIP64 end record cannot be found" "$work/no64end.zip"
zip_refused 3 "has ZIP64 values for sizes or offsets that its header holds itself" "$work/both.zip"
zip_refused 3 "counts 1000000 entries, more than its directory" "$work/count.zip"
zip_refused 3 "multi-disk" "$work/multidisk.zip"
zip_refused 3 "entry 'dir/aux.c' cannot be written on Windows: 'aux.c' is a device name" "$work/badname.zip"
zip_refused 3 "entry './../evil.txt' cannot be written on Windows: '..'" "$work/traversal.zip"
zip_refused 3 "'Readme.txt' and 'README.TXT' are one name" "$work/clash.zip"
zip_refused 4 "extract nothing" "$work/allempty.zip"
zip_refused 1 "entry 'small.txt' fails the stub's decoder" "$work/big.zip"
zip_refused 3 "no ZIP end record" "$work/secret.txt"
zip_refused 3 "cannot read '$work/missing.zip'" "$work/missing.zip"

finish "mksfx --zip"
