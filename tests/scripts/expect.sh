# Sourced by the test scripts here: `expect MESSAGE COMMAND...` runs one check
# and counts it; `finish` prints the closing line and gives the exit status.
passed=0
failed=0

expect() {
    local message=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        echo "FAIL: $message"
        failed=$((failed + 1))
    fi
}

finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
}

# For the scripts that drive the program on a virtual X display with a real
# window manager: `on_virtual_display "TOOL..." "$0" BINARY_DIR...` at the
# script's start. Outside the display it checks that xvfb-run, openbox and
# the TOOLs are installed, makes a work folder (removed at the end), runs the
# script again on a display with "--on-display" after its arguments, and
# exits with that run's status. On the display it returns with the folder in
# $work, the built program copied into $program, a HOME and runtime folder of
# its own, no platform chosen for it, and wait_for at hand.
on_virtual_display() {
    local tools=$1 script=$2
    shift 2
    if [ "${!#}" = "--on-display" ]; then
        work=$ON_DISPLAY_WORK
        program=$work/program
        unset QT_QPA_PLATFORM WAYLAND_DISPLAY
        export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime
        mkdir -p "$program" "$HOME" && mkdir -p -m 700 "$XDG_RUNTIME_DIR"
        cp "$1/app/TarvikBackUp" "$program/"
        source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wait-for.sh"
        return
    fi
    local needed
    for needed in xvfb-run openbox $tools; do
        command -v "$needed" >/dev/null || { echo "FAIL: $needed is missing (make deps)"; exit 1; }
    done
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    export ON_DISPLAY_WORK=$work
    xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$script" "$@" --on-display
    exit
}
