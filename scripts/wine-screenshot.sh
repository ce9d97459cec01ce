#!/usr/bin/env bash
# Photographs the main window as the Windows build draws it under Wine: the
# runnable folder (build/mingw/TarvikBackUp) is copied beside a sample
# settings file and started in a Wine virtual desktop (Wine draws the title
# bar there) on a virtual X display; the Linux build's tarvik-grabscreen takes
# the picture once two grabs in a row agree, and the program is closed.
# With TARVIK_SHOT_SETUP naming the installer `make dist` builds, the program
# is installed with it instead (/S) and started from its Start-menu entry,
# with the sample settings file in the installed folder.
#
#   scripts/wine-screenshot.sh OUTPUT.png [MINGW_BUILD_DIR] [LINUX_BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "$1")
mingw=$(cd "${2:-$root/build/mingw}" && pwd)
linux=$(cd "${3:-$root/build/default}" && pwd)
grab=$linux/tools/tarvik-grabscreen
for needed in "$mingw/TarvikBackUp/TarvikBackUp.exe" "$grab"; do
    [ -x "$needed" ] || { echo "Build first: $needed is missing." >&2; exit 1; }
done

if [ "${4:-}" = --on-display ]; then
    work=$TARVIK_SHOT_WORK
else
    work=$(mktemp -d)
fi
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    timeout 30 wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
# The display's own run (--on-display) leaves the folder to the outer one.
if [ "${4:-}" != --on-display ]; then
    trap cleanup EXIT
    cp -r "$mingw/TarvikBackUp" "$work/program"
    printf '%s\r\n' '[DirectoryListBox]' 'Number=3' 'sVal0=C:\Users\Jo\Documents' \
        'sVal1=C:\Users\Jo\Pictures\Holidays' 'sVal2=D:\Projects\Website' \
        '[BackupDirEdt]' 'Text=E:\Backups' '[SubDirCheckBox]' 'Checked=1' \
        '[FileTypesListBox]' 'Number=2' 'sVal0=*.doc' 'sVal1=*.xls' >"$work/program/TarvikBackUp.INI"
fi

source "$root/scripts/wait-for.sh"
if [ "${4:-}" = --on-display ]; then
    timeout 300 wineboot --init >/dev/null 2>&1
    if [ -n "${TARVIK_SHOT_SETUP:-}" ]; then
        timeout 120 wine "$TARVIK_SHOT_SETUP" /S
        user_dir=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public |
            head -n1)
        cp "$work/program/TarvikBackUp.INI" "$user_dir/AppData/Local/Programs/TarvikBackUp/"
        entry="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/TarvikBackUp.lnk"
        [ -f "$entry" ] || { echo "The installer made no Start-menu entry." >&2; exit 1; }
        wine explorer /desktop=TarvikBackUp,800x700 start /unix "$entry" >/dev/null 2>&1 &
    else
        (cd "$work/program" && wine explorer /desktop=TarvikBackUp,800x700 TarvikBackUp.exe \
            >/dev/null 2>&1 &)
    fi
    # Up once the screen shows more than the background, drawn once two grabs
    # a second apart agree.
    wait_for "'$grab' '$work/a.png' 2>/dev/null" 600 || { echo "No window appeared." >&2; exit 1; }
    wait_for "sleep 1; '$grab' '$work/b.png' && cmp -s '$work/a.png' '$work/b.png' ||
              { mv '$work/b.png' '$work/a.png'; false; }" 60 ||
        { echo "The window did not settle." >&2; exit 1; }
    cp "$work/a.png" "$out"
    exit 0
fi
export TARVIK_SHOT_WORK=$work
timeout 600 xvfb-run --auto-servernum --server-args="-screen 0 800x700x24" \
    "$0" "$out" "$mingw" "$linux" --on-display
echo "Saved $out"
