#!/usr/bin/env bash
# Runs the program twice per stored placement on a virtual X display with a
# real window manager, which frames the window only after the program has
# restored its placement, and checks that the window comes up where the
# settings file puts it and that closing it stores the same placement again.
#
#   placement_test.sh BINARY_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

source "$here/expect.sh"
on_virtual_display "xprop xwininfo" "$0" "$@"
settings=$program/TarvikBackUp.INI

# The window the window manager manages for process $1.
window_of() {
    local id
    for id in $(xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -o '0x[0-9a-f]*'); do
        if xprop -id "$id" _NET_WM_PID 2>/dev/null | grep -q "= $1\$"; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

# "LEFT TOP WIDTH HEIGHT" of window $1 with its frame, as a user sees it.
outer_of() {
    local info extents
    info=$(xwininfo -id "$1" 2>/dev/null) || return 1
    extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | grep -o '= .*' | tr -d '=,') || return 1
    [ -n "$extents" ] || return 1
    read -r l r t b <<<"$extents"
    local x y w h
    x=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$info")
    y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$info")
    w=$(awk '/^ *Width:/ {print $NF}' <<<"$info")
    h=$(awk '/^ *Height:/ {print $NF}' <<<"$info")
    echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}

maximized() {
    xprop -id "$1" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_MAXIMIZED_HORZ
}

# "Left Top Width Height InitMax" as the settings file holds them.
stored() {
    tr -d '\r' <"$settings" | awk -F= '
        /^\[/ { inForm = ($0 == "[BackUpForm]") }
        inForm && $1 in v { v[$1] = $2 }
        BEGIN { v["Left"]; v["Top"]; v["Width"]; v["Height"]; v["InitMax"] }
        END { print v["Left"], v["Top"], v["Width"], v["Height"], v["InitMax"] }'
}

# One session: the program started, its window awaited (at the outer
# placement $2 when given, maximized when $2 is "max"), then closed as a
# session end closes it. $1 names the case in messages.
session() {
    local name=$1 want=$2 pid window seen
    "$program/TarvikBackUp" &
    pid=$!
    if wait_for "window=\$(window_of $pid)" 100; then
        if [ "$want" = max ]; then
            expect "$name: the window is not maximized" wait_for "maximized $window" 100
        else
            wait_for "[ \"\$(outer_of $window)\" = '$want' ]" 100
            seen=$(outer_of "$window")
            expect "$name: the window came up at '$seen', not at '$want'" test "$seen" = "$want"
        fi
    else
        expect "$name: the window manager did not take the window on" false
    fi
    kill -TERM "$pid"
    if ! wait_for "! kill -0 $pid 2>/dev/null" 100; then
        kill -KILL "$pid"
        expect "$name: the program did not close on SIGTERM" false
    fi
    wait "$pid"
    local status=$?
    expect "$name: the program ended with status $status" test "$status" -eq 0
}

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
# The desktop's work area is announced once the window manager takes windows on.
expect "the window manager did not start" wait_for "xprop -root _NET_WORKAREA 2>/dev/null | grep -q =" 100

# name | Left Top Width Height | InitMax | where it comes up when not as stored
cases=(
    "a window in the middle|150 100 700 500|0"
    "a window in the screen's corner|0 0 640 480|0"
    "a large window|300 40 900 900|0"
    "a maximized window|150 100 700 500|1"
    "a huge window far off the screen|-32767 32767 30000 30000|0|0 0 1280 1024"
    "a window over the right edge|1000 200 600 400|0|680 200 600 400"
)
for row in "${cases[@]}"; do
    IFS='|' read -r name stored max fitted <<<"$row"
    placement=${fitted:-$stored}
    read -r left top width height <<<"$stored"
    printf '[BackUpForm]\r\nTop=%s\r\nLeft=%s\r\nWidth=%s\r\nHeight=%s\r\nInitMax=%s\r\n' \
        "$top" "$left" "$width" "$height" "$max" >"$settings"
    if [ "$max" = 1 ]; then
        session "$name, first run" max
        first=$(stored)
        expect "$name: the first run stored '$first', not maximized" test "${first##* }" = 1
        session "$name, second run" max
        second=$(stored)
        expect "$name: the second run stored '$second' after '$first'" test "$second" = "$first"
    else
        session "$name, first run" "$placement"
        first=$(stored)
        expect "$name: the first run stored '$first'" test "$first" = "$placement 0"
        session "$name, second run" "$placement"
        second=$(stored)
        expect "$name: the second run stored '$second'" test "$second" = "$placement 0"
    fi
done

kill "$wm"
wait "$wm" 2>/dev/null
finish
