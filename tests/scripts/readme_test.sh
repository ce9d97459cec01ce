#!/usr/bin/env bash
# Runs the commands the README gives, so that it cannot go stale. Every line of
# its ```sh blocks runs in order, from the source folder, with HOME in a
# temporary folder: `make install` installs there, the scheduling commands copy
# there, and no display is set. `make uninstall` runs last, after the commands
# that use what `make install` put in place. Two commands are not run here:
#   make test         this test is part of what it runs;
#   make screenshots  it writes into docs/; ScreenshotsTest runs its program
#                     into a temporary folder instead.
# systemd's user manager does not run inside a container, so `systemctl
# --user` is a stand-in that verifies the installed units with systemd-analyze
# (which also checks that the program they start is installed and executable).
# The ```bat blocks are for Windows and are not run on Linux.
#
#   readme_test.sh SOURCE_DIR
set -uo pipefail
src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/bin"
export HOME=$work/home TARVIK_DEMO_DIR=$work/demo
# The run records the README's commands ask about are those of the
# demonstration `make run` gives (it keeps them with itself).
export XDG_STATE_HOME=$TARVIK_DEMO_DIR/state
unset DISPLAY WAYLAND_DISPLAY MAKEFLAGS MFLAGS

cat >"$work/bin/systemctl" <<'STANDIN'
#!/bin/sh
[ "$1" = --user ] || { echo "systemctl stand-in: only --user is known" >&2; exit 2; }
units=$HOME/.config/systemd/user
case "$2" in
daemon-reload)
    for unit in "$units"/*; do systemd-analyze verify "$unit" || exit 1; done ;;
enable)
    [ "$3" = --now ] && shift
    timer=$units/$3
    [ -f "$timer" ] && systemd-analyze verify "$timer" "${timer%.timer}.service" ;;
*)
    echo "systemctl stand-in: '$2' is not known" >&2; exit 2 ;;
esac
STANDIN
chmod +x "$work/bin/systemctl"
export PATH=$work/bin:$PATH

all=$(awk '/^```sh$/ { inside = 1; next } /^```/ { inside = 0 } inside' "$src/README.md")
commands=$(grep -vx "make uninstall" <<<"$all")
grep -qx "make uninstall" <<<"$all" && commands+=$'\n'"make uninstall"
source "$(dirname "$0")/expect.sh"
cd "$src" || exit 1
while IFS= read -r command; do
    case "$command" in
    "make test" | "make screenshots")
        echo "not run here: $command"
        continue
        ;;
    esac
    echo "\$ $command"
    if output=$(eval "$command" 2>&1); then
        passed=$((passed + 1))
    else
        echo "$output" | tail -20
        echo "FAIL: $command"
        failed=$((failed + 1))
    fi
done <<<"$commands"

# The commands must have done what the README says they do.
expect "the timer was not put in place" test -f "$HOME/.config/systemd/user/tarvikbackup.timer"
# Closing the window must not take a backup still copying down with it.
expect "the service stops more than the program" \
    grep -qx "KillMode=process" "$HOME/.config/systemd/user/tarvikbackup.service"
expect "the autostart entry was not put in place" \
    test -f "$HOME/.config/autostart/tarvikbackup-autostart.desktop"
expect "make run gave no demonstration" test -f "$TARVIK_DEMO_DIR/window.png"
expect "make uninstall left the launcher" test ! -e "$HOME/.local/bin/tarvikbackup"
finish
