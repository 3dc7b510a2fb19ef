#!/usr/bin/env bash
# cmake --install puts bin/mksfx and share/sfx/sfx.exe under a prefix; the installed mksfx,
# copied anywhere, still carries its stub.
set -u
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
[ -x "$work/prefix/bin/mksfx" ] && [ -f "$work/prefix/share/sfx/sfx.exe" ] ||
    { echo "FAIL: installed files"; ls -R "$work/prefix"; exit 1; }
mkdir "$work/elsewhere" "$work/in"
cp "$work/prefix/bin/mksfx" "$work/elsewhere/"
echo "installed" >"$work/in/file.txt"
(cd / && "$work/elsewhere/mksfx" -q -o "$work/out.exe" "$work/in/.") || { echo "FAIL: pack"; exit 1; }
stub=$(stat -c %s "$work/prefix/share/sfx/sfx.exe")
cmp -s -n "$stub" "$work/prefix/share/sfx/sfx.exe" "$work/out.exe" ||
    { echo "FAIL: the embedded stub is not the installed sfx.exe"; exit 1; }
[ "$(unzip -p "$work/out.exe" file.txt)" = installed ] || { echo "FAIL: archive"; exit 1; }
# The manual page renders cleanly and names every option of the help.
page=$work/prefix/share/man/man1/mksfx.1
warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1) && [ -z "$warnings" ] ||
    { echo "FAIL: the manual page: ${warnings:-missing}"; exit 1; }
text=$(MANWIDTH=200 man -l "$page" 2>/dev/null)
for option in $("$work/prefix/bin/mksfx" --help | grep -oE -- '--[a-z-]+' | sort -u); do
    grep -qF -- "$option" <<<"$text" || { echo "FAIL: $option is not in the manual page"; exit 1; }
done
echo "mksfx install: all as expected"
