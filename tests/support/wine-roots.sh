#!/usr/bin/env bash
# Gives the Wine prefix a drive letter and a network share of the tests' own: links in its
# dosdevices folder, so the root and network cases run against Wine's real file API.
# Usage: wine-roots.sh <source dir> <folder for the roots>
set -eu
source_dir=$1
roots=$2
prefix="${WINEPREFIX:-$source_dir/build/wineprefix}"
# A running server writes the registry files only when it ends, so the prefix is known by
# its drive; a second wineboot here would leave its services holding this test's output.
if [ ! -e "$prefix/drive_c" ]; then
    "$source_dir/scripts/wine-run" wineboot -i
fi
mkdir -p "$roots/drive" "$roots/share" "$prefix/dosdevices/unc/sfxsrv"
ln -sfn "$roots/drive" "$prefix/dosdevices/t:"
ln -sfn "$roots/share" "$prefix/dosdevices/unc/sfxsrv/share"
