# Shared by the packer's shell tests: a scratch folder, failure counting, and the checks
# that every self-extractor must pass with the peers.
set -u
mksfx=$1
support=$(cd "$(dirname "${BASH_SOURCE[0]}")/../support" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
# Set where mksfx is the Windows packer under Wine: the Linux packer, whose bytes it must equal.
linux_mksfx=${SFX_LINUX_MKSFX:-}
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Every peer reads the self-extractor cleanly, and our own check passes.
peers_pass() {  # exe
    local exe=$1 log=$work/peer.log
    unzip -t "$exe" >"$log" 2>&1 || { fail "unzip -t $exe"; cat "$log"; }
    grep -q 'No errors detected' "$log" && ! grep -qiE 'warning|extra bytes' "$log" ||
        { fail "unzip -t warns on $exe"; cat "$log"; }
    7z t -tzip "$exe" >"$log" 2>&1 && grep -q 'Everything is Ok' "$log" &&
        ! grep -qi 'warning' "$log" || { fail "7z t $exe"; cat "$log"; }
    python3 -c 'import sys, zipfile; sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() is not None)' \
        "$exe" || fail "zipfile.testzip $exe"
    bsdtar -tf "$exe" >/dev/null 2>"$log" || { fail "bsdtar -tf $exe"; cat "$log"; }
    "$mksfx" --test "$exe" >/dev/null || fail "mksfx --test $exe"
}

# Info-ZIP unzip's extraction equals the tree byte for byte, modification times within 2 s.
extracts_as() {  # exe tree
    local out=$work/extracted
    rm -rf "$out"
    unzip -q "$1" -d "$out" || { fail "unzip $1"; return; }
    diff -r "$2" "$out" >/dev/null || { fail "unzip of $1 differs from $2"; diff -r "$2" "$out" | head; }
    python3 "$support/same_times.py" "$2" "$out" || fail "times of $1"
}

# The command fails with this exit code and message, and leaves no output behind.
refused() {  # code pattern out -- command...
    local code=$1 pattern=$2 out=$3
    shift 4
    "$@" >"$work/refused.log" 2>&1
    local rc=$?
    [ $rc -eq "$code" ] || { fail "exit $rc, not $code: $*"; cat "$work/refused.log"; }
    grep -qF -- "$pattern" "$work/refused.log" || { fail "no '$pattern' from: $*"; cat "$work/refused.log"; }
    [ ! -e "$out" ] || fail "output left behind by: $*"
    ! ls "$out".mksfx-* >/dev/null 2>&1 || fail "temporary file left behind by: $*"
}

finish() {  # name
    [ $failures -eq 0 ] && echo "$1: all as expected"
    [ $failures -eq 0 ]
}
