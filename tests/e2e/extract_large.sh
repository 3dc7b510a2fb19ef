#!/usr/bin/env bash
# End to end at the sizes ZIP64 is for: a 5 GiB file of zeros (sparse, so it costs no disk
# until it is extracted) and 70,000 small files, packed by mksfx, extracted quietly by the
# stub under Wine, compared by count and checksum, and deleted.
# Usage: extract_large.sh MKSFX SFX.EXE   (SFX_LARGE_FILES and SFX_LARGE_BYTES shrink a run by hand)
set -u
mksfx=$1
stub=$2
files=${SFX_LARGE_FILES:-70000}
bytes=${SFX_LARGE_BYTES:-$((5 << 30))}
[ -x "$mksfx" ] || { echo "no packer at $mksfx (build the host preset first)"; exit 77; }
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The extracted zeros are real blocks on disk.
free=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
[ "$free" -gt $((bytes / 1024 + (1 << 20))) ] || { echo "not enough disk for $bytes bytes"; exit 77; }

start=$SECONDS
mkdir -p "$work/in/zeros" "$work/out"
truncate -s "$bytes" "$work/in/zeros/zeros.bin"
python3 - "$work/in/many" "$files" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(root, "d%03d" % (i // 1000))
    if i % 1000 == 0:
        os.makedirs(folder)
    with open(os.path.join(folder, "f%05d.txt" % i), "w") as f:
        f.write("file %d\n" % i * (i % 7))
PY
# Zeros deflate to a thousandth at any level; 6 is the quickest at it.
"$mksfx" -q -6 --no-test --stub "$stub" -o "$work/large.exe" "$work/in/." || {
    echo "FAIL: mksfx"; exit 1; }
packed=$SECONDS
timeout 1200 "$here/scripts/wine-run" "$work/large.exe" /Q "$(printf 'Z:%s' "$work/out" | tr / '\\')"
status=$?
extracted=$SECONDS

# Every small file by name, size and checksum, and the zeros byte for byte.
digest() {
    (cd "$1" && find . -type f ! -name zeros.bin | LC_ALL=C sort | tee "$work/list" | wc -l &&
        xargs -d '\n' cksum <"$work/list" | cksum)
}
expected=$(digest "$work/in")
got=$(digest "$work/out")
[ "$(stat -c %s "$work/out/zeros/zeros.bin" 2>&1)" = "$bytes" ] &&
    cmp -s -n "$bytes" "$work/out/zeros/zeros.bin" /dev/zero || got="$got, zeros differ"
rm -rf "$work/out"
echo "$files files and $bytes bytes of zeros: packed in $((packed - start)) s," \
    "extracted in $((extracted - packed)) s, compared in $((SECONDS - extracted)) s"
[ $status -eq 0 ] || { echo "FAIL: the stub ended with $status"; exit 1; }
[ "$got" = "$expected" ] || { echo "FAIL: extracted (count, checksum) $got, packed $expected"; exit 1; }
echo "ok: $(echo "$got" | head -1) small files and the zeros extracted whole"
