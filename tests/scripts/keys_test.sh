#!/usr/bin/env bash
# Drives the program with real key presses on a virtual X display with a real
# window manager: a failing "/auto" run reports over the window that is on
# screen, and F10, a lone Alt, and Tab with Space run "Run Backup" without
# the mouse. The backup folder is missing, so each run ends in the error box.
#
#   keys_test.sh BINARY_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

source "$here/expect.sh"
on_virtual_display "xprop xwininfo xdotool" "$0" "$@"
mkdir -p "$work/source"
printf '[BackUpForm]\r\nTop=200\r\nLeft=300\r\nWidth=500\r\nHeight=560\r\nInitMax=0\r\n' \
    >"$program/TarvikBackUp.INI"
printf '[DirectoryListBox]\r\nNumber=1\r\nsVal0=%s\r\n[BackupDirEdt]\r\nText=%s\r\n' \
    "$work/source" "$work/missing" >>"$program/TarvikBackUp.INI"

# The top-level windows of process $1 whose name is $2.
windows_named() {
    xdotool search --all --onlyvisible --pid "$1" --name "^$2\$" 2>/dev/null
}

# "LEFT TOP WIDTH HEIGHT" of window $1 within the screen.
geometry_of() {
    xwininfo -id "$1" 2>/dev/null | awk '
        /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF }
        END { print x, y, w, h }'
}

# Succeeds when box $1 is centred over window $2, within 40 pixels; says by
# how much it is off in $offset.
centred() {
    local bx by bw bh mx my mw mh
    read -r bx by bw bh <<<"$(geometry_of "$1")"
    read -r mx my mw mh <<<"$(geometry_of "$2")"
    local dx=$(((bx + bw / 2) - (mx + mw / 2))) dy=$(((by + bh / 2) - (my + mh / 2)))
    offset="$dx,$dy"
    [ "${dx#-}" -le 40 ] && [ "${dy#-}" -le 40 ]
}

viewable() {
    xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'
}

# Waits for the error box, checks it stands over the main window, and
# answers it with Return. $1 names the step in messages.
expect_error_box() {
    local name=$1 box
    if ! wait_for "box=\$(windows_named $pid Tarvikbackup | head -n1); [ -n \"\$box\" ]" 100; then
        expect "$name: no error box came up" false
        return
    fi
    expect "$name: the main window is not on screen under the box" viewable "$main"
    expect "$name: the box is not owned by the main window" \
        bash -c "xprop -id $box WM_TRANSIENT_FOR | grep -qi '$(printf '%#x' "$main")'"
    # The window manager may still be settling the main window; on a busy
    # machine that takes seconds.
    wait_for "centred $box $main" 150
    expect "$name: the box is off the window's centre by $offset" centred "$box" "$main"
    xdotool windowactivate --sync "$box" key Return
    expect "$name: Return did not close the box" \
        wait_for "[ -z \"\$(windows_named $pid Tarvikbackup)\" ]" 50
}

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
expect "the window manager did not start" wait_for "xprop -root _NET_WORKAREA 2>/dev/null | grep -q =" 100

"$program/TarvikBackUp" /auto &
pid=$!
main=
wait_for "main=\$(windows_named $pid 'Back Up' | head -n1); [ -n \"\$main\" ]" 100
expect "the main window did not come up" test -n "$main"
if [ -n "$main" ]; then
    expect_error_box "/auto"

    # name | keys, typed into the main window in one go: the program takes
    # them in order from its one queue of X events
    cases=(
        "F10, Down, Return|F10 Down Return"
        "a lone Alt, Down, Return|alt Down Return"
    )
    for row in "${cases[@]}"; do
        IFS='|' read -r name keys <<<"$row"
        # shellcheck disable=SC2086 # one word per key
        xdotool windowactivate --sync "$main" key --clearmodifiers $keys
        expect_error_box "$name"
    done

    # Tab walks on to the "Run Backup" button, Space presses it; Space on
    # the controls before it does nothing that opens a window.
    xdotool windowactivate --sync "$main"
    ran=0
    for _ in 1 2 3 4 5 6 7; do
        xdotool key Tab space
        if wait_for "[ -n \"\$(windows_named $pid Tarvikbackup)\" ]" 30; then
            ran=1
            break
        fi
        expect "Tab and Space opened the folder browser" \
            test -z "$(windows_named "$pid" 'Select Directory')"
    done
    expect "Tab and Space never ran Run Backup" test "$ran" -eq 1
    [ "$ran" -eq 1 ] && expect_error_box "Tab and Space"
fi

kill -TERM "$pid" 2>/dev/null
wait_for "! kill -0 $pid 2>/dev/null" 100 || kill -KILL "$pid"
wait "$pid"
kill "$wm"
wait "$wm" 2>/dev/null
finish
