#!/usr/bin/env bash
# ziptest against archives made by real peers (must pass) and damaged copies of them (must
# fail cleanly: a non-zero exit, no signal).
set -u
ziptest=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/src" "$work/tree/bin"
python3 - "$work/tree" <<'PY'
import os, random, sys
root = sys.argv[1]
r = random.Random(5)
words = [b"inflate ", b"window ", b"bits ", b"table\n", b"code ", b"the "]
with open(os.path.join(root, "text.txt"), "wb") as f:
    f.write(b"".join(r.choice(words) for _ in range(200000)))
with open(os.path.join(root, "random.bin"), "wb") as f:
    f.write(bytes(r.getrandbits(8) for _ in range(100000)))
with open(os.path.join(root, "zeros.bin"), "wb") as f:
    f.write(bytes(300000))
open(os.path.join(root, "empty"), "wb").close()
PY
cp /usr/include/zlib.h "$work/tree/src/"
cp "$ziptest" "$work/tree/bin/tool"
fail=0
check() {  # expect archive
    "$ziptest" "$2" >"$work/log" 2>&1
    rc=$?
    if [ "$1" = pass ] && [ $rc -ne 0 ]; then echo "FAIL (should pass): $2"; cat "$work/log"; fail=1; fi
    if [ "$1" = fail ] && { [ $rc -eq 0 ] || [ $rc -ge 128 ]; }; then echo "FAIL (rc $rc): $2"; fail=1; fi
}
for level in 0 1 2 3 4 5 6 7 8 9; do
    (cd "$work/tree" && zip -q -r -X -$level "$work/z$level.zip" .)
    check pass "$work/z$level.zip"
done
python3 - "$work" <<'PY'
import os, sys, zipfile
w = sys.argv[1]
for name, method in (("py-stored.zip", zipfile.ZIP_STORED), ("py-deflated.zip", zipfile.ZIP_DEFLATED)):
    with zipfile.ZipFile(os.path.join(w, name), "w", method) as z:
        for d, _, files in os.walk(os.path.join(w, "tree")):
            for f in files:
                p = os.path.join(d, f)
                z.write(p, os.path.relpath(p, os.path.join(w, "tree")))
PY
check pass "$work/py-stored.zip"
check pass "$work/py-deflated.zip"
if command -v 7z >/dev/null; then
    for mx in 1 5 9; do
        (cd "$work/tree" && 7z a -tzip -mx=$mx "$work/7z$mx.zip" . >/dev/null)
        check pass "$work/7z$mx.zip"
    done
fi
# Put behind a program as they are (cat), offsets counting from the archive's first byte; then
# fixed by zip -A to count from the file's. Python's own test file of the kind, where its
# test data is installed.
for z in z9 py-deflated 7z5; do
    [ -f "$work/$z.zip" ] || continue
    cat "$ziptest" "$work/$z.zip" >"$work/cat-$z.exe"
    check pass "$work/cat-$z.exe"
    cp "$work/cat-$z.exe" "$work/fixed-$z.exe" && zip -q -A "$work/fixed-$z.exe"
    check pass "$work/fixed-$z.exe"
done
stdlib=$(python3 -c 'import sysconfig; print(sysconfig.get_path("stdlib"))')
for f in "$stdlib"/test/*testdata/exe_with_zip; do
    [ -f "$f" ] && check pass "$f"
done
# Sizes and CRC only in data descriptors: the local headers hold zeros.
(cd "$work/tree" && zip -q -r -X -fd "$work/descriptors.zip" .)
check pass "$work/descriptors.zip"
# Damage: flipped bytes inside the data, a cut file, a zeroed stretch, and a central CRC or
# size that disagrees with a correct local header.
python3 - "$work" <<'PY'
import os, sys
w = sys.argv[1]
src = open(os.path.join(w, "z6.zip"), "rb").read()
def put(name, data):
    open(os.path.join(w, name), "wb").write(data)
for i, at in enumerate((200, 5000, 40000, 90000)):
    b = bytearray(src); b[at] ^= 0x55; put("flip%d.zip" % i, bytes(b))
put("cut.zip", src[: len(src) // 2])
b = bytearray(src); b[1000:3000] = bytes(2000); put("zeroed.zip", bytes(b))
put("garbage.zip", bytes(range(256)) * 10)
central = src.rfind(b"PK\x01\x02")
for name, offset in (("central-crc.zip", 16), ("central-size.zip", 24)):
    b = bytearray(src); b[central + offset] ^= 1; put(name, bytes(b))
PY
for f in "$work"/flip*.zip "$work"/central-*.zip "$work/cut.zip" "$work/zeroed.zip" \
    "$work/garbage.zip"; do
    check fail "$f"
done
[ $fail -eq 0 ] && echo "ziptest peers: all as expected"
exit $fail
