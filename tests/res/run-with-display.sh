#!/bin/sh
# Runs a Wine program with an X display, in a Wine prefix of its own. Wine binds a prefix's
# desktop to the display of the first program that starts its server, so a prefix shared with
# runs without a display creates no windows. The server is waited for before the display goes,
# so that the next run starts a fresh one.
# Usage: run-with-display.sh PREFIX COMMAND...
WINEPREFIX=$1
export WINEPREFIX
shift
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$WINEPREFIX" "$@"
fi
"$@"
status=$?
wineserver -w
exit $status
