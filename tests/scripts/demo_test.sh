#!/usr/bin/env bash
# Runs the demonstration that `make run` gives without a display, twice in a
# row in a folder of its own, and checks what it printed and produced.
#
#   demo_test.sh SOURCE_DIR BINARY_DIR
set -uo pipefail
src=$1
bin=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TARVIK_DEMO_DIR=$work/demo
unset DISPLAY WAYLAND_DISPLAY
stamp=$(date +%Y%m%d)
source "$(dirname "$0")/expect.sh"
contains() { grep -qF -- "$2" <<<"$1"; }

first=$("$src/scripts/run.sh" "$bin" 2>&1)
status=$?
echo "$first"
expect "the first run failed with status $status" test "$status" -eq 0
expect "no notice about the missing display" contains "$first" "No display"
expect "the first run is not announced as such" contains "$first" "First run today"
expect "the script's folder line is not printed" contains "$first" "MD $TARVIK_DEMO_DIR/backup/BK-$stamp"
expect "the interpreter's count is not printed" contains "$first" "File(s) copied"
verdict=$(tail -n 2 <<<"$first" | head -n 1)
verified=$(tail -n 1 <<<"$first")
expect "the run does not end with the check of its copies" \
    test "${verified%% (list *}" = "Verified: all 5 copies are intact"
expect "the run does not end with its verdict and its check" \
    test "${verdict%% Log: *}" = "Verdict: 5 file(s) copied, 4 left out by the date, 0 failure(s)."
expect "the verdict does not name the run's log" test -s "${verdict##* Log: }"
copied=$TARVIK_DEMO_DIR/backup/BK-$stamp
expect "a file changed today was not copied" test -f "$copied/Documents/report.doc"
expect "a file in a sub-folder was not copied" test -f "$copied/Documents/Archive/plan.doc"
expect "a file from 2020 was copied" test ! -e "$copied/Documents/old-notes.txt"
expect "an empty folder was made for old files only" test ! -e "$copied/Photos/2025"
expect "the screenshot is not a PNG" \
    bash -c "head -c 8 '$TARVIK_DEMO_DIR/window.png' | od -An -c | grep -q 'P   N   G'"
expect "the script was not deleted when the program closed" test ! -e "$TARVIK_DEMO_DIR/backup/backup$stamp.bat"
settings=$TARVIK_DEMO_DIR/program/TarvikBackUp.INI
expect "the program did not save its placement when closed" grep -q '^InitMax=' "$settings"

second=$("$src/scripts/run.sh" "$bin" 2>&1)
status=$?
echo "$second"
expect "the second run failed with status $status" test "$status" -eq 0
expect "the second run does not explain what it meets" \
    bash -c "grep -qF 'exists from an earlier run today' <<<\"\$0\" || grep -qF 'Run Backup stops at once' <<<\"\$0\"" "$second"
expect "the second run lost the first run's copies" test -f "$copied/Documents/report.doc"

finish
