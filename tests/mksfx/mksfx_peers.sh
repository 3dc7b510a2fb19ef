#!/usr/bin/env bash
# Self-extractors packed from trees of many shapes, as the peers and the stub's own reader
# see them; where inputs land; links; reproducible bytes; signing.
. "$(dirname "$0")/lib.sh"

# A tree: text, headers, one large incompressible file, empty files and folders, nesting,
# names with blanks and non-ASCII letters, read-only files.
make_tree() {  # root reverse
    python3 - "$1" "$2" <<'PY'
import os, random, sys
root, reverse = sys.argv[1], sys.argv[2] == "1"
r = random.Random(7)
words = [b"packer ", b"stub ", b"deflate ", b"entry\n", b"folder ", b"the "]
files = {
    "text.txt": b"".join(r.choice(words) for _ in range(60000)),
    "random.bin": bytes(r.getrandbits(8) for _ in range(3 << 20)),
    "empty": b"",
    "src/zlib.h": open("/usr/include/zlib.h", "rb").read(),
    "src/nested/deeper/leaf.c": b"int main(void) { return 0; }\n" * 40,
    "with blanks/a file name.txt": b"blank " * 100,
    "Grüße/smörgåsbord é.txt": "ünïcödé text\n".encode() * 50,
    "日本語/ファイル.txt": "テキスト\n".encode() * 30,
    "readonly.txt": b"do not change\n" * 10,
    "one": b"1",
}
folders = ["empty folder", "src/nested/empty", "Grüße/leer"]
items = sorted(files.items(), reverse=reverse)
for name in (reversed(folders) if reverse else folders):
    os.makedirs(os.path.join(root, name), exist_ok=True)
for name, data in items:
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
os.chmod(os.path.join(root, "readonly.txt"), 0o444)
# Fixed times, odd seconds included, folders after their contents.
for d, dirs, fs in os.walk(root, topdown=False):
    for n in fs + dirs:
        t = 1600000000 + 7 * len(n) + 1
        os.utime(os.path.join(d, n), (t, t))
PY
}
mkdir "$work/a" "$work/b"
make_tree "$work/a/tree" 0
make_tree "$work/b/tree" 1

# The tree's contents at the root: every peer reads it, unzip restores it exactly.
"$mksfx" -q -o "$work/root.exe" "$work/a/tree/." || fail "pack tree/."
peers_pass "$work/root.exe"
extracts_as "$work/root.exe" "$work/a/tree"
[ -w "$work/extracted/text.txt" ] && [ ! -w "$work/extracted/readonly.txt" ] ||
    [ "$(id -u)" = 0 ] || fail "read-only attribute not restored"
python3 - "$work/root.exe" <<'PY' || fail "records of root.exe"
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
bad = []
for i in z.infolist():
    folder = i.filename.endswith("/")
    if i.create_system != 0: bad.append(("host", i.filename))
    want = 0x10 if folder else 0x20 | (1 if i.filename == "readonly.txt" else 0)
    if i.external_attr != want: bad.append(("attributes", i.filename, hex(i.external_attr)))
    if (i.flag_bits & 0x800 != 0) != (not i.filename.isascii()): bad.append(("utf8", i.filename))
    if i.flag_bits & 8: bad.append(("descriptor", i.filename))
    if b"UT" not in i.extra: bad.append(("no UT", i.filename))
    if i.filename == "random.bin" and i.compress_type != 0: bad.append(("not stored", i.filename))
    if i.filename == "text.txt" and i.compress_type != 8: bad.append(("not deflated", i.filename))
names = [i.filename for i in z.infolist()]
if names != sorted(names, key=lambda n: n.encode()): bad.append(("order", names))
for want in ("empty folder/", "src/nested/empty/", "Grüße/leer/", "empty"):
    if want not in names: bad.append(("missing", want))
if bad: print(*bad, sep="\n")
sys.exit(1 if bad else 0)
PY

# A folder goes in under its last name; a file under its own name.
(cd "$work/a" && "$mksfx" -q -o "$work/named.exe" tree/src tree/text.txt) || fail "pack named"
unzip -Z1 "$work/named.exe" >"$work/names" 2>&1
[ "$(head -1 "$work/names")" = src/ ] && grep -qx 'src/nested/deeper/leaf.c' "$work/names" &&
    grep -qx text.txt "$work/names" && ! grep -q tree "$work/names" ||
    { fail "layout of named.exe"; cat "$work/names"; }

# Same tree made in the other order, other -j: the same bytes. Every level and zopfli too.
for level in 0 1 6 9 12; do
    "$mksfx" -q -$level -j 1 -o "$work/j1.exe" "$work/a/tree/." || fail "pack -$level -j 1"
    "$mksfx" -q -$level -j 2 -o "$work/j2.exe" "$work/b/tree/." || fail "pack -$level -j 2"
    cmp -s "$work/j1.exe" "$work/j2.exe" || fail "-$level: bytes depend on -j or creation order"
done
peers_pass "$work/j1.exe"
mkdir "$work/small"
cp "$work/a/tree/src/zlib.h" "$work/a/tree/text.txt" "$work/small/"
"$mksfx" -q -12 -o "$work/l12.exe" "$work/small/." &&
    "$mksfx" -q --zopfli -j 2 -o "$work/zopfli.exe" "$work/small/." || fail "pack zopfli"
[ "$(stat -c %s "$work/zopfli.exe")" -lt "$(stat -c %s "$work/l12.exe")" ] || fail "zopfli not smaller"
peers_pass "$work/zopfli.exe"

# SOURCE_DATE_EPOCH caps the newer times and leaves the older ones.
touch -d @1500000001 "$work/small/zlib.h"
SOURCE_DATE_EPOCH=1550000000 "$mksfx" -q -o "$work/epoch.exe" "$work/small/." || fail "pack epoch"
python3 - "$work/epoch.exe" <<'PY' || fail "SOURCE_DATE_EPOCH"
import struct, sys, zipfile
for i in zipfile.ZipFile(sys.argv[1]).infolist():
    at = i.extra.find(b"UT")
    t = struct.unpack("<I", i.extra[at + 5:at + 9])[0]
    want = 1500000001 if i.filename == "zlib.h" else 1550000000
    if t != want: print(i.filename, t, "!=", want); sys.exit(1)
PY
refused 2 "SOURCE_DATE_EPOCH" "$work/bad-epoch.exe" -- env SOURCE_DATE_EPOCH=soon \
    "$mksfx" -o "$work/bad-epoch.exe" "$work/small"

# Links are followed; a loop is refused, quickly.
mkdir -p "$work/links/real"
echo "target" >"$work/links/real/file.txt"
ln -s real/file.txt "$work/links/link.txt"
ln -s real "$work/links/linked-folder"
"$mksfx" -q -o "$work/links.exe" "$work/links/." || fail "pack links"
[ "$(unzip -p "$work/links.exe" link.txt)" = target ] &&
    [ "$(unzip -p "$work/links.exe" linked-folder/file.txt)" = target ] || fail "links not followed"
ln -s .. "$work/links/real/up"
refused 3 "symbolic link loop" "$work/loop.exe" -- timeout 20 "$mksfx" -o "$work/loop.exe" "$work/links"
rm "$work/links/real/up"
# A link that leads nowhere is an error; Wine lists none.
if [ -z "$linux_mksfx" ]; then
    ln -s self "$work/links/self"
    refused 3 "links/self" "$work/loop.exe" -- timeout 20 "$mksfx" -o "$work/loop.exe" "$work/links"
    rm "$work/links/self"
fi

# The output inside an input folder is never packed, nor its temporary file.
"$mksfx" -q -o "$work/small/self.exe" "$work/small/." &&
    "$mksfx" -q -o "$work/small/self.exe" "$work/small/." || fail "pack into the input"
[ "$(unzip -Z1 "$work/small/self.exe" | tr '\n' ' ')" = "text.txt zlib.h " ] ||
    { fail "output packed into itself"; unzip -Z1 "$work/small/self.exe"; }
rm "$work/small/self.exe"

# Another stub goes in front as given; verbose names every entry, a folder without a ratio.
head -c 5000 /dev/zero | sed 's/^/MZ/' >"$work/stub.exe"
mkdir "$work/small/empty"
"$mksfx" -v --stub "$work/stub.exe" -o "$work/other.exe" "$work/small/." >"$work/verbose" ||
    fail "pack --stub"
cmp -s -n 5000 "$work/stub.exe" "$work/other.exe" || fail "--stub not in front"
grep -qE '^ +[0-9]+  deflated +[0-9.]+%  zlib\.h$' "$work/verbose" &&
    grep -qE '^ +0  folder +-  empty/$' "$work/verbose" && grep -q '3 entries' "$work/verbose" ||
    { fail "verbose lines"; cat "$work/verbose"; }
peers_pass "$work/other.exe"

# Signed after packing: still a sound archive and a valid signature.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
    -days 2 -subj /CN=mksfx-test >/dev/null 2>&1 || fail "openssl"
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -in "$work/root.exe" \
    -out "$work/signed.exe" >/dev/null || fail "osslsigncode sign"
"$mksfx" --test "$work/signed.exe" >/dev/null || fail "mksfx --test of the signed file"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >"$work/verify" 2>&1 ||
    { fail "osslsigncode verify"; tail "$work/verify"; }

# Branded (the project's own icon and every version text), then signed: the peers read it,
# --test shows the brand, and the signature covers it.
python3 "$support/../../res/make_icon.py" "$work/brand.ico" || fail "make_icon.py"
"$mksfx" -q -o "$work/brand.exe" --icon "$work/brand.ico" --product "Grüße Tool" \
    --product-version 2.0.1 --company Co --description Setup --copyright "© Co" "$work/small/." ||
    fail "pack with --icon and version texts"
peers_pass "$work/brand.exe"
"$mksfx" --test "$work/brand.exe" | grep -qx 'version: .*ProductName: Grüße Tool; ProductVersion: 2.0.1' ||
    fail "--test shows no version texts"
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -in "$work/brand.exe" \
    -out "$work/brand-signed.exe" >/dev/null &&
    osslsigncode verify -CAfile "$work/cert.pem" -in "$work/brand-signed.exe" >/dev/null 2>&1 &&
    "$mksfx" --test "$work/brand-signed.exe" >/dev/null || fail "branded file signed"

# The Windows packer writes the Linux packer's bytes, whatever the options (in a zone both
# systems' C runtimes read alike), and reads paths past Windows' 260 characters.
if [ -n "$linux_mksfx" ]; then
    long=$(printf 'folder-of-20-chars/%.0s' $(seq 15))
    mkdir -p "$work/deep/$long" && echo deep >"$work/deep/$long/file.txt"
    while read -r input args; do
        TZ=UTC-3 "$mksfx" -q -o "$work/windows.exe" $args "$work/$input" &&
            TZ=UTC-3 "$linux_mksfx" -q -o "$work/linux.exe" $args "$work/$input" &&
            cmp "$work/windows.exe" "$work/linux.exe" || fail "Windows and Linux packers differ: $args"
    done <<EOF
a/tree/. -0
deep/. -1 -j 1
a/tree/. -1 -j 1
a/tree/. -9
a/tree/. -12 --title T --run text.txt --admin
small/. --zopfli
small/. --icon $work/brand.ico --product P --product-version 1.2 --company C --copyright Me
root.exe --zip
EOF
fi

finish "mksfx peers"
