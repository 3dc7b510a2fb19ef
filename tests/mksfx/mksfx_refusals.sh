#!/usr/bin/env bash
# Every refusal of the packer: its message, its exit code, no output left behind, and an
# existing output unchanged; the same after an interrupt.
. "$(dirname "$0")/lib.sh"

out=$work/out.exe
pack_refused() {  # code pattern input...
    local code=$1 pattern=$2
    shift 2
    refused "$code" "$pattern" "$out" -- "$mksfx" -o "$out" "$@"
}

# Usage: the parser's cases are rows in MksfxTest; here only that main prints them, the help
# on standard output and an error on standard error.
"$mksfx" --help 2>/dev/null | grep -q "Exit codes" || fail "--help"
"$mksfx" >"$work/usage.out" 2>"$work/usage.err"
[ $? -eq 2 ] && [ ! -s "$work/usage.out" ] && grep -q "^mksfx --help lists" "$work/usage.err" ||
    fail "no arguments"

# Names the stub cannot write on Windows, each in a folder of its own, named with its path
# (a control character shown escaped). Windows' own file systems hold none of them.
[ -n "$linux_mksfx" ] || for name in 'a:b' 'CON' 'con.txt' 'LPT1.log' 'x<y' 'q?' 'star*' 'say"hi' 'pi|pe' \
    "$(printf 'tab\tname')" 'dot.' 'blank ' 'back\slash'; do
    mkdir -p "$work/names"
    echo data >"$work/names/$name"
    pack_refused 3 "cannot pack '$work/names/${name//$'\t'/\\x09}'" "$work/names"
    rm -rf "$work/names"
done
if [ -z "$linux_mksfx" ]; then
    mkdir "$work/names"
    echo data >"$work/names/$(printf 'bad\xff')"
    pack_refused 3 "cannot pack '$work/names/bad\\xFF': name is not valid UTF-8" "$work/names/."
    rm -rf "$work/names"
fi
mkdir -p "$work/names/Docs" "$work/other/docs"
echo a >"$work/names/Docs/a"
echo b >"$work/other/docs/b"
pack_refused 3 "which ignores case" "$work/names/." "$work/other/."
pack_refused 3 "which ignores case" "$work/names/Docs" "$work/names/Docs"
rm -rf "$work/names" "$work/other"

# --test: a damaged entry is named; a file without an archive that the stub can read, or no
# file at all, is an input error.
mkdir "$work/ok"
head -c 100000 /usr/include/stdio.h >"$work/ok/stdio.h"
"$mksfx" -q -o "$work/ok.exe" "$work/ok/." || fail "pack ok.exe"
python3 -c 'import sys
p = sys.argv[1]; d = bytearray(open(p, "rb").read())
c = bytearray(d); c[c.rfind(b"PK\x01\x02") + 3] ^= 0xFF; open(sys.argv[2], "wb").write(c)
open(sys.argv[3], "wb").write(b"PK\x05\x06" + bytes(18))
at = d.find(b"stdio.h", d.find(b"PK\x03\x04")) + 30
d[at] ^= 0x55; open(p, "wb").write(d)' "$work/ok.exe" "$work/directory.exe" "$work/end.exe"
refused 1 "entry 'stdio.h' fails the stub's decoder" "$work/none" -- "$mksfx" --test "$work/ok.exe"
refused 3 "stdio.h: no ZIP archive found behind the stub" "$work/none" -- \
    "$mksfx" --test "$work/ok/stdio.h"
refused 3 "the directory's first record is damaged" "$work/none" -- \
    "$mksfx" --test "$work/directory.exe"
refused 3 "the archive's end record lies too close to the start" "$work/none" -- \
    "$mksfx" --test "$work/end.exe"
refused 3 "cannot read '$work/none'" "$work/none" -- "$mksfx" --test "$work/none"

# Settings: the block is all they add, --admin takes the other stub, --test shows them and
# fails on a damaged block; the program to run must be a file of the archive.
"$mksfx" -q -o "$work/plain.exe" "$work/ok/." &&
    "$mksfx" -q -o "$work/set.exe" --title T --run '"STDIO.H" /S' "$work/ok/." &&
    "$mksfx" -q -o "$work/admin.exe" --admin --zip "$work/plain.exe" || fail "pack with settings"
python3 - "$work/plain.exe" "$work/set.exe" "$work/damaged.exe" <<'PY' || fail "settings add more than a block"
import sys, zipfile
(a, b), (za, zb) = ([f(p) for p in sys.argv[1:3]] for f in (lambda p: open(p, "rb").read(), zipfile.ZipFile))
s, n = min(i.header_offset for i in za.infolist()), len(b) - len(a)
open(sys.argv[3], "wb").write(b[:s + 20] + bytes([b[s + 20] ^ 1]) + b[s + 21:])
moved = [(i.filename, i.header_offset + n) for i in za.infolist()] == [(i.filename, i.header_offset) for i in zb.infolist()]
sys.exit(not (moved and b[:s] == a[:s] and b[s:s + 8] == b"SfxSet\x1a\x01" and b[s + n:zb.start_dir] == a[s:za.start_dir]))
PY
grep -q requireAdministrator "$work/admin.exe" && ! grep -q requireAdministrator "$work/plain.exe" ||
    fail "--admin manifest"
"$mksfx" --test "$work/set.exe" | grep -qx 'run: STDIO.H /S' || fail "--test shows no settings"
refused 1 "damaged.exe: the settings are damaged" "$work/none" -- "$mksfx" --test "$work/damaged.exe"
pack_refused 3 "cannot run 'sub\\stdio.h' after extracting" --run sub/stdio.h "$work/ok/."
pack_refused 3 "cannot run 'none.exe' after extracting" --run none.exe --zip "$work/plain.exe"
pack_refused 2 "--temp needs --run" --temp "$work/ok/."
pack_refused 2 "--admin picks the built-in stub" --admin --stub "$work/plain.exe" "$work/ok/."

# Inputs that cannot be read or packed.
pack_refused 3 "cannot read '$work/missing': No such file or directory" "$work/missing"
if [ -z "$linux_mksfx" ]; then
    mkfifo "$work/fifo"
    pack_refused 3 "not a regular file or folder" "$work/fifo"
    rm "$work/fifo"
fi
echo "not a program" >"$work/stub.txt"
pack_refused 3 "not a Windows program" --stub "$work/stub.txt" "$work/stub.txt"

# The size Windows starts, found before anything is read or written (so the output's folder is
# not even looked at): a sparse file costs no disk. Stored, 5 GiB cannot go in; deflated it may.
mkdir "$work/limits"
truncate -s 5G "$work/limits/big"
refused 4 "cannot pack: the self-extractor would reach 4 GiB; Windows does not start a program" \
    "$work/no/out.exe" -- "$mksfx" -0 -o "$work/no/out.exe" "$work/limits"
rm "$work/limits/big"
# Past 65535 entries: the ZIP64 end record, read back by two peers and by --zip, which writes
# the same bytes. The stub's reader walks so many in the large end-to-end run; the self-check
# takes a minute over them. Wine takes minutes to list 65,536 folders; there the writer's table
# covers it.
if [ -z "$linux_mksfx" ]; then
    python3 -c 'import os, sys
for i in range(65536): os.mkdir(os.path.join(sys.argv[1], "%05d" % i))' "$work/limits"
    echo x >"$work/limits/00000/file"
    "$mksfx" -q --no-test -o "$work/many.exe" "$work/limits/." || fail "65537 entries"
    unzip -tq "$work/many.exe" >/dev/null && 7z t -tzip "$work/many.exe" >/dev/null ||
        fail "peers on 65537 entries"
    python3 - "$work/many.exe" <<'PY' || fail "no ZIP64 end record for 65537 entries"
import struct, sys, zipfile
d = open(sys.argv[1], "rb").read(); e = d.rfind(b"PK\x05\x06")
z = struct.unpack("<IQHHIIQQQQIIQI", d[e - 76:e])
end = (0x06064B50, 44, 45, 45, 0, 0, 65537, 65537, e - 76 - z[9], z[9], 0x07064B50, 0, e - 76, 1)
sys.exit(z != end or d[e + 8:e + 20] != struct.pack("<HHII", 0xFFFF, 0xFFFF, z[8], z[9])
         or len(zipfile.ZipFile(sys.argv[1]).infolist()) != 65537)
PY
    "$mksfx" -q --no-test -o "$work/again.exe" --zip "$work/many.exe" &&
        cmp -s "$work/many.exe" "$work/again.exe" || fail "--zip of 65537 entries"
fi
rm -rf "$work/limits"
mkdir -p "$work/empty/folder"
touch "$work/empty/nothing"
pack_refused 4 "extract nothing" "$work/empty"
pack_refused 4 "nothing to pack" "$work/empty/folder/."

# An existing output stays as it was after a refusal, an output error, and an interrupt.
echo "keep me" >"$out"
"$mksfx" -o "$out" "$work/missing" 2>/dev/null
[ "$(cat "$out")" = "keep me" ] || fail "a refusal changed the existing output"
refused 5 "cannot write '$work/no/such/dir/out.exe'" "$work/no/such/dir/out.exe" -- \
    "$mksfx" -o "$work/no/such/dir/out.exe" "$work/stub.txt"
refused 5 "cannot write '$work': Is a directory" "$work/nothing" -- "$mksfx" -o "$work" "$work/stub.txt"
mkdir "$work/slow"
head -c 3000000 /dev/urandom | od -An -tx1 >"$work/slow/hex.txt"
# A job of its own, as from a terminal: a background job of a script ignores SIGINT, and Wine
# passes that on as Ctrl+C ignored.
set -m
"$mksfx" -q --zopfli -j 1 -o "$out" "$work/slow" &
pid=$!
set +m
for _ in $(seq 50); do
    ls "$out".mksfx-* >/dev/null 2>&1 && break
    sleep 0.1
done
kill -INT $pid
wait $pid
rc=$?
# Windows' code for it is STATUS_CONTROL_C_EXIT, of which Wine passes on the low byte.
want=130
[ -z "$linux_mksfx" ] || want=$((0xC000013A & 0xFF))
[ $rc -eq $want ] || fail "interrupted mksfx exits $rc, not $want"
[ "$(cat "$out")" = "keep me" ] || fail "an interrupt changed the existing output"
! ls "$out".mksfx-* >/dev/null 2>&1 || fail "an interrupt left the temporary file"

finish "mksfx refusals"
