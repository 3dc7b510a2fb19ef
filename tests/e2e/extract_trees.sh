#!/usr/bin/env bash
# End to end: trees of many shapes packed by mksfx, extracted by the stub under Wine in its
# three command-line forms, and compared with the tree: bytes, times to 2 seconds, and the
# attributes the stub gives (never read-only, the archive bit kept, folders made).
# Usage: extract_trees.sh MKSFX SFX.EXE   (WINEPREFIX and DISPLAY as the run set them)
set -u
mksfx=$1
stub=$2
[ -x "$mksfx" ] || { echo "no packer at $mksfx (build the host preset first)"; exit 77; }
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Local time three hours from UTC. Not a zone with daylight saving: the system's conversion
# of a local time uses today's offset, so a summer time read in winter is an hour off, on
# Windows as under Wine.
export TZ=UTC-3
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

wine_path() {  # a host path as Wine's Z: drive names it
    printf 'Z:%s' "$1" | tr / '\\'
}

# Runs the stub; it must end by itself with exit code 0 whatever happened.
run_stub() {  # exe args...
    local status=0
    timeout 300 "$here/scripts/wine-run" "$@" >"$work/wine.log" 2>&1 || status=$?
    [ $status -eq 0 ] || { fail "$* ended with $status"; cat "$work/wine.log"; }
}

python3 - "$work" <<'PY'
import os, random, sys, time
root = sys.argv[1]
r = random.Random(9)
def put(path, data, mtime=None, mode=None):
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data)
    if mtime is not None:
        os.utime(full, (mtime, mtime))
    if mode is not None:
        os.chmod(full, mode)
words = [b"archive ", b"window ", b"entry ", b"stub\r\n", b"the ", b"extract "]
text = lambda n: b"".join(r.choice(words) for _ in range(n))
# Shapes: nesting, empty files and folders, blanks in names, read-only files, odd seconds,
# old and new dates, incompressible and highly compressible data.
put("shapes/readme.txt", text(3000))
put("shapes/empty.txt", b"")
put("shapes/with blanks/a file.txt", text(200))
put("shapes/deep/er/still/deeper/leaf.bin", bytes(r.getrandbits(8) for _ in range(3000)))
put("shapes/read-only.txt", text(50), mode=0o444)
put("shapes/odd second.txt", text(10), mtime=time.mktime((2021, 6, 30, 12, 34, 57, 0, 0, -1)))
put("shapes/old.txt", text(10), mtime=time.mktime((1985, 1, 2, 3, 4, 6, 0, 0, -1)))
put("shapes/winter.txt", text(10), mtime=time.mktime((2024, 12, 24, 18, 0, 0, 0, 0, -1)))
put("shapes/random.bin", bytes(r.getrandbits(8) for _ in range(3 << 20)))
put("shapes/zeros.bin", bytes(20 << 20))
os.makedirs(os.path.join(root, "shapes/empty folder/inner"))
# Names in scripts that no one code page holds (and a Mac's combining accent beside the
# composed one), and, in a tree of its own, a path past 259 characters.
for name in ["caf\u00e9.txt", "cafe\u0301.txt", "\u041e\u0442\u0447\u0451\u0442.txt",
             "\u65e5\u672c\u8a9e/\ud55c\uad6d\uc5b4.txt", "\U0001f600.txt"]:
    put("shapes/names/" + name, text(20))
put("deep/" + "".join("d%s%02d/" % ("x" * 67, i) for i in range(4)) +
    "leaf-file-of-a-deep-tree.txt", text(30))
# Many small entries.
for i in range(400):
    put("many/d%02d/f%03d.txt" % (i % 20, i), text(i % 37))
PY

# The stub the run built goes in front, so this tier tests this build's stub.
for tree in shapes many deep; do
    "$mksfx" -q --stub "$stub" -o "$work/$tree.exe" "$work/$tree/." || { fail "mksfx $tree"; continue; }
done

# Equal bytes, times within 2 seconds, and what Wine reports of the attributes.
compare() {  # tree folder [ignored file]
    diff -r -x "${3:-none}" "$1" "$2" >"$work/diff.log" || { fail "$2 differs from $1"; head "$work/diff.log"; }
    python3 "$here/tests/support/same_times.py" "$1" "$2" --writable || fail "times in $2"
    # Wine's attrib stops listing at a path past 259 characters; the deep tree's attributes
    # come from the same calls as the other trees'.
    [ "$1" != "$work/deep" ] || return 0
    # attrib prints a line per file: its attribute letters, then its path.
    "$here/scripts/wine-run" cmd /c attrib /s "$(wine_path "$2")\\*" 2>/dev/null >"$work/attrib.log"
    python3 - "$work/attrib.log" "$1" <<'PY' || fail "attributes in $2"
import os, sys
lines = [l for l in open(sys.argv[1], encoding="latin-1").read().splitlines()
         if "Z:\\" in l and "Not Found" not in l]
files = sum(len(f) for _, _, f in os.walk(sys.argv[2]))
bad = 0
for line in lines:
    letters, path = line.split("Z:\\", 1)
    if "R" in letters:
        print("read-only:", path); bad = 1
    if "A" not in letters and not path.endswith(".exe"):
        print("no archive bit:", path); bad = 1
if len([l for l in lines if not l.endswith(".exe")]) != files:
    print("attrib listed", len(lines), "files of", files); bad = 1
sys.exit(bad)
PY
}

for tree in shapes many deep; do
    [ -f "$work/$tree.exe" ] || continue
    # The path form, into a folder that does not exist yet and that no ANSI code page names.
    dest="$work/out-$tree/new folder $(printf '\xd0\x9d\xd0\xbe\xd0\xb2\xd0\xb0\xd1\x8f \xe6\x96\xb0')"
    run_stub "$work/$tree.exe" "$(wine_path "$dest")"
    compare "$work/$tree" "$dest"
    for switch in /O -s; do
        folder=$work/switch-$tree-${switch#?}
        mkdir -p "$folder"
        cp "$work/$tree.exe" "$folder/$tree.exe"
        run_stub "$folder/$tree.exe" "$switch"
        compare "$work/$tree" "$folder" "$tree.exe"
    done
done

# Over the files of an earlier run, the overwrite form replaces read-only targets after its
# question and the others silently; here nothing is read-only any more, so no question.
cp "$work/shapes.exe" "$work/switch-shapes-O/"
run_stub "$work/switch-shapes-O/shapes.exe" /o
compare "$work/shapes" "$work/switch-shapes-O" "shapes.exe"

[ $failures -eq 0 ] && echo "extracted trees: all as packed"
exit $((failures != 0))
