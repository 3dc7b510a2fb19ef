#!/usr/bin/env bash
# One X display and one Wine server for a whole test run, each stopped by its process id.
# Usage: wine-display.sh start|stop STATE_DIR
#   start: Xvfb on a free display, then a persistent wineserver for the prefix, started with
#          DISPLAY set; the display's name goes to STATE_DIR/display, which scripts/wine-run
#          reads when SFX_DISPLAY_FILE names it.
#   stop:  the server, then the display; both by the ids that start recorded.
# The prefix is WINEPREFIX, or scripts/wine-run's own default.
set -euo pipefail
action=$1
state=$2
here=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
wine_run=$here/scripts/wine-run

# True while pid is alive and runs the program whose path ends in name.
running() {
    local pid=$1 name=$2 exe
    [ -n "$pid" ] && exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || return 1
    case "$exe" in */"$name"*) return 0 ;; *) return 1 ;; esac
}

# Stops the process recorded in file, if it is still the one started: with signal, then KILL.
stop_recorded() {
    local file=$1 name=$2 signal=$3 pid
    [ -f "$file" ] || return 0
    pid=$(cat "$file")
    rm -f "$file"
    running "$pid" "$name" || return 0
    kill "-$signal" "$pid" 2>/dev/null || true
    for _ in $(seq 100); do
        running "$pid" "$name" || return 0
        sleep 0.1
    done
    echo "wine-display: $name ($pid) did not stop on $signal, killing it" >&2
    kill -KILL "$pid" 2>/dev/null || true
}

stop_all() {
    # The server first: its programs, the desktop among them, still hold the display. On INT
    # it ends them too (on TERM it would leave them behind).
    stop_recorded "$state/wineserver.pid" wineserver INT
    stop_recorded "$state/xvfb.pid" Xvfb TERM
    rm -f "$state/display"
}

start() {
    mkdir -p "$state" "$WINEPREFIX"
    stop_all  # what an interrupted run left behind
    command -v Xvfb >/dev/null || { echo "wine-display: no Xvfb (run scripts/setup)" >&2; exit 1; }

    # Every child is detached from this script's output, or ctest would wait for it.
    : >"$state/displayfd"
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
        3>"$state/displayfd" </dev/null >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    local number=
    for _ in $(seq 300); do
        number=$(tr -dc 0-9 <"$state/displayfd")
        [ -z "$number" ] || break
        running "$(cat "$state/xvfb.pid")" Xvfb || break
        sleep 0.1
    done
    [ -n "$number" ] || { cat "$state/xvfb.log" >&2; echo "wine-display: Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$number"

    # A server left by a run without a display would give the prefix's programs none; wait
    # for it to go (servers end a few seconds after their last program).
    timeout 60 wineserver -w || { echo "wine-display: another server keeps the prefix busy" >&2; exit 1; }
    setsid wineserver -f -p </dev/null >"$state/wineserver.log" 2>&1 &
    local server=$!
    echo $server >"$state/wineserver.pid"

    # The first program of a server starts the prefix's own (services, the desktop), which
    # live as long as the server and keep the first program's display and output: so it is
    # this one, with output to a file, never a test's.
    if [ -e "$WINEPREFIX/drive_c" ]; then
        "$wine_run" wineboot >"$state/wineboot.log" 2>&1
    else
        "$wine_run" wineboot -i >"$state/wineboot.log" 2>&1
    fi
    # Without a window manager, unmanaged windows get their caption and frame drawn by Wine.
    if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
        "$wine_run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
            >/dev/null 2>&1
    fi
    # Wine's own fonts (Tahoma of the dialogs, Marlett of the caption buttons) are found in
    # the prefix's font folder; Chinese, Japanese and Korean letters come from WenQuanYi Micro
    # Hei there, linked to the dialog fonts as a Windows of those languages links its own.
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/* /usr/share/fonts/truetype/wqy/wqy-microhei.ttc \
        "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    local link='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' face
    if ! grep -q 'wqy-microhei.ttc,WenQuanYi' "$WINEPREFIX/system.reg" 2>/dev/null; then
        for face in Tahoma "Microsoft Sans Serif"; do
            "$wine_run" reg add "$link" /v "$face" /t REG_MULTI_SZ \
                /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
        done
        # The edit control looks for those letters in the faces such a Windows has.
        for face in "MS UI Gothic" "MS Gothic" SimSun "Microsoft YaHei" "Microsoft JhengHei" Gulim; do
            "$wine_run" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ \
                /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
        done
    fi
    running "$server" wineserver || {
        cat "$state/wineserver.log" >&2
        echo "wine-display: the wineserver did not stay up" >&2
        exit 1
    }
    echo "$DISPLAY" >"$state/display"
    echo "wine-display: Xvfb $(cat "$state/xvfb.pid") on $DISPLAY, wineserver $server for $WINEPREFIX"
}

case "$action" in
    start) start ;;
    stop) stop_all ;;
    *) echo "usage: $0 start|stop STATE_DIR" >&2; exit 2 ;;
esac
