#!/usr/bin/env bash
# The demonstration: a sample source tree and a settings file beside a copy of
# the built program, the program started with /auto on a virtual display, the
# interpreter's backup awaited, a screenshot taken, the program closed as a
# session end closes it (SIGTERM, so it saves its settings), and then what it
# produced printed.
#
#   scripts/demo.sh [BUILD_DIR]       (TARVIK_DEMO_DIR overrides BUILD_DIR/demo)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
demo=${TARVIK_DEMO_DIR:-$build/demo}
program=$demo/program
sources=$demo/sources
backup=$demo/backup
log=$demo/interpreter.log
shot=$demo/window.png
kept_script=$demo/last-script.bat
settings=$program/TarvikBackUp.INI
# The interpreter's run records stay with the demonstration.
export XDG_STATE_HOME=$demo/state
stamp=$(date +%Y%m%d)
guard_name=BK-$(date +%x | tr -d '/\\')

source "$root/scripts/wait-for.sh"

on_display() {
    unset QT_QPA_PLATFORM
    export XDG_RUNTIME_DIR=$demo/runtime
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
    export TERMINAL=$root/scripts/demo-terminal.sh TARVIK_DEMO_LOG=$log
    rm -f "$log" "$log.done" "$kept_script" "$shot"
    "$program/TarvikBackUp" /auto &
    local pid=$!
    # The window is up once the screen shows something; the backup is done
    # once the interpreter's log is marked finished. When the guard stops the
    # run, no interpreter starts at all.
    wait_for "'$build/tools/tarvik-grabscreen' '$shot' 2>/dev/null" 300 ||
        echo "The window did not appear within 30 seconds."
    if [ -f "$backup/backup$stamp.bat" ]; then
        wait_for "[ -f '$log.done' ]" 600 || echo "The interpreter did not finish within 60 seconds."
        cp "$backup/backup$stamp.bat" "$kept_script"
        "$build/tools/tarvik-grabscreen" "$shot" || true
    fi
    kill -TERM "$pid"
    wait "$pid" || echo "The program ended with status $?."
}

if [ "${2:-}" = "--on-display" ]; then
    on_display
    exit 0
fi

for needed in "$build/app/TarvikBackUp" "$build/app/minicmd" "$build/tools/tarvik-grabscreen"; do
    [ -x "$needed" ] || { echo "Build first (make build): $needed is missing." >&2; exit 1; }
done

mkdir -p "$program" "$backup"
cp -f "$build/app/TarvikBackUp" "$build/app/minicmd" "$program/"

if [ ! -d "$sources" ]; then
    echo "Preparing a sample source tree in $sources"
    mkdir -p "$sources/Documents/Archive" "$sources/Photos/2025" "$sources/Projects/tool/src"
    echo "Quarterly report" >"$sources/Documents/report.doc"
    echo "Dear Jo," >"$sources/Documents/letter.txt"
    echo "Plans for next year" >"$sources/Documents/Archive/plan.doc"
    echo "Old notes" >"$sources/Documents/old-notes.txt"
    echo "2019 summary" >"$sources/Documents/Archive/summary-2019.doc"
    head -c 20000 /dev/urandom >"$sources/Photos/holiday.jpg"
    head -c 20000 /dev/urandom >"$sources/Photos/2025/summer.jpg"
    printf 'int main() { return 0; }\n' >"$sources/Projects/tool/src/main.cpp"
    echo "# tool" >"$sources/Projects/tool/README.md"
    touch -d '2020-03-15 10:00' "$sources/Documents/old-notes.txt" \
        "$sources/Documents/Archive/summary-2019.doc" "$sources/Photos/2025/summer.jpg" \
        "$sources/Projects/tool/README.md"
fi
# The files "changed today" are changed again on every run, so a run on a
# later day has something to copy too.
touch "$sources/Documents/report.doc" "$sources/Documents/letter.txt" \
    "$sources/Documents/Archive/plan.doc" "$sources/Photos/holiday.jpg" \
    "$sources/Projects/tool/src/main.cpp"

if [ ! -f "$settings" ]; then
    echo "Writing the settings file $settings"
    {
        printf '[DirectoryListBox]\r\nNumber=3\r\n'
        printf 'sVal0=%s\r\nsVal1=%s\r\nsVal2=%s\r\n' "$sources/Documents" "$sources/Photos" "$sources/Projects"
        printf '[BackupDirEdt]\r\nText=%s\r\n' "$backup"
        printf '[SubDirCheckBox]\r\nChecked=1\r\n'
    } >"$settings"
fi

if [ -d "$backup/$guard_name" ]; then
    echo "The backup folder holds $guard_name (today in your short date format), so Run Backup stops at once: no script, no copy."
elif [ -d "$backup/BK-$stamp" ]; then
    echo "BK-$stamp exists from an earlier run today and $guard_name does not, so this run writes the script again and copies into the same folder."
else
    echo "First run today: the script will create BK-$stamp and copy every file changed today."
fi

if command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 1024x768x24 -br -nolisten tcp" "$0" "$build" --on-display
else
    echo "xvfb-run is missing (Debian package xvfb); cannot show the window." >&2
    exit 1
fi

echo
if [ -f "$kept_script" ]; then
    echo "The script the program generated ($backup/backup$stamp.bat, deleted when the program closed):"
    sed 's/\r$//; s/^/    /' "$kept_script"
    echo
    echo "What the interpreter printed:"
    sed 's/^/    /' "$log"
    last=$("$program/minicmd" --last || true)
    summary=$(printf '%s\n' "$last" | sed -n 's/^Summary: //p')
    run_log=$(printf '%s\n' "$last" | sed -n 's/^Log: //p')
    verdict=$(printf '%s\n' "$summary" |
        sed -n 's/^\([0-9]*\) file(s) copied ([^)]*) in [^,]*, \([0-9]*\) left out by the date, \([0-9]*\) failure(s)\.$/\1 file(s) copied, \2 left out by the date, \3 failure(s)/p')
    verdict="Verdict: ${verdict:-no run was recorded}. Log: ${run_log:-none}"
else
    echo "No script was generated: the guard stopped the run."
    verdict="Verdict: nothing was copied, the guard stopped the run. Log: none"
fi
echo
echo "The backup tree in $backup:"
(cd "$backup" && find . -mindepth 1 | LC_ALL=C sort | sed 's|^\./|    |')
echo
echo "Screenshot of the window: $shot"
echo "Settings file (saved when the program closed): $settings"
echo
echo "$verdict"
# The copies of this very run, read back from the backup and held against
# what the run recorded of each.
if [ -n "${run_log:-}" ] && [ "$run_log" != none ]; then
    "$program/minicmd" --verify "$run_log" || true
else
    echo "Verified: nothing, no copy was made."
fi
