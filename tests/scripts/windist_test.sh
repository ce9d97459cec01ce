#!/usr/bin/env bash
# The Windows downloads as a user meets them, under Wine in the lane's
# throw-away prefix (WINEPREFIX, on the lane's virtual display):
# - the zip unpacked into an empty folder runs "/auto" beside a settings file,
#   cmd and xcopy make the backup tree, and closing the window saves there;
# - the installer with /S puts the program, its Start-menu entry and its
#   uninstaller where they belong, over an earlier version whose files it
#   removes; the installed program does the same; a second install keeps the
#   settings; the uninstaller with /S removes all but the settings file.
#
#   windist_test.sh SOURCE_DIR BINARY_DIR
set -euo pipefail
src=$1
bin=$2
source "$(dirname "$0")/expect.sh"
source "$src/scripts/wait-for.sh"
: "${WINEPREFIX:?run by the Wine lane (scripts/test-wine.sh)}"
# Every DLL must come from the program's own folder.
unset WINEPATH
wine_run() { "$src/cmake/wine-run.sh" "$@"; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

files=$("$src/scripts/make-windows-dist.sh" "$bin" "$work/out" 2>"$work/makensis.log") ||
    { cat "$work/makensis.log"; exit 1; }
zip=$(sed -n 1p <<<"$files")
setup=$(sed -n 2p <<<"$files")

# Wine's view of a path of ours: the Unix root is drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
mkdir -p "$work/src/sub" "$work/backups"
printf 'report\r\n' >"$work/src/sub/report.doc"
if [ "$(id -u)" -eq 0 ]; then chown -R nobody "$work"; fi
copy="$work/backups/BK-$(date +%Y%m%d)/src/sub/report.doc"

# Starts PROGRAM with /auto beside SETTINGS, which names the source and the
# backup folder; waits for the copy, closes the window as its close button
# does, and checks that the settings were saved.
auto_run() {
    local program=$1 settings=$2 what=$3
    rm -rf "$work/backups/"*
    printf '[DirectoryListBox]\r\nNumber=1\r\nsVal0=%s\r\n[BackupDirEdt]\r\nText=%s\r\n[SubDirCheckBox]\r\nChecked=1\r\n' \
        "$(windows_path "$work/src")" "$(windows_path "$work/backups")" >"$settings"
    [ "$(id -u)" -ne 0 ] || chown nobody "$settings"
    wine_run "$program" /auto &
    local pid=$!
    expect "$what: /auto made no backup" wait_for "test -f '$copy'" 1200
    # taskkill without /f sends the windows WM_CLOSE, as their close button does.
    wine_run taskkill /im TarvikBackUp.exe >/dev/null 2>&1 || true
    expect "$what: the program did not end when its window was closed" \
        wait_for "! kill -0 $pid 2>/dev/null" 600
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    expect "$what: closing did not save the settings beside the program" \
        grep -q '^\[BackUpForm\]' "$settings"
}

# 1. The zip.
mkdir "$work/unzipped"
unzip -q "$zip" -d "$work/unzipped"
[ "$(id -u)" -ne 0 ] || chown -R nobody "$work/unzipped"
folder=$work/unzipped/TarvikBackUp
expect "the zip holds a settings file" test -z "$(find "$folder" -iname '*.ini')"
for f in TarvikBackUp.exe README.txt licenses/LICENSE.txt licenses/SOURCES.txt \
    licenses/Qt-LGPL-3.txt platforms/qwindows.dll; do
    expect "the zip lacks $f" test -f "$folder/$f"
done
auto_run "$folder/TarvikBackUp.exe" "$folder/TarvikBackUp.INI" "zip"

# 2. The installer, for the user Wine runs as: first an earlier version's, made
# here from the zip's folder with one file more, which the update removes.
earlier=$work/earlier/TarvikBackUp
mkdir -p "$work/earlier"
cp -r "$folder" "$earlier"
rm -f "$earlier/TarvikBackUp.INI"
echo earlier >"$earlier/earlier.dll"
"$src/scripts/windows-installer.sh" "$earlier" 0.0.1 "$work/earlier/setup.exe" 2>/dev/null
[ "$(id -u)" -ne 0 ] || chown -R nobody "$work/earlier"
wine_run "$work/earlier/setup.exe" /S
user_dir=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n1)
installed=$user_dir/AppData/Local/Programs/TarvikBackUp
entry="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/TarvikBackUp.lnk"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TarvikBackUp'
expect "the program is not in $installed" test -f "$installed/TarvikBackUp.exe"
expect "no uninstaller" test -f "$installed/Uninstall.exe"
expect "no Start-menu entry" test -f "$entry"
expect "the uninstaller is not registered for the user" \
    sh -c "'$src/cmake/wine-run.sh' reg query '$key' /v UninstallString 2>/dev/null | grep -q Uninstall.exe"
auto_run "$installed/TarvikBackUp.exe" "$installed/TarvikBackUp.INI" "installed"
cp "$installed/TarvikBackUp.INI" "$work/saved.INI"
wine_run "$setup" /S
expect "a second install changed the settings" cmp -s "$installed/TarvikBackUp.INI" "$work/saved.INI"
expect "a second install lost the program" test -f "$installed/TarvikBackUp.exe"
expect "the update kept the earlier version's file" test ! -e "$installed/earlier.dll"

# The uninstaller runs on from a copy of itself in the temporary folder,
# removing the folders last.
wine_run "$installed/Uninstall.exe" /S
left() { (cd "$installed" && find . -mindepth 1); }
wait_for '[ "$(left)" = ./TarvikBackUp.INI ]' 600 || true
expect "the uninstaller left more than the settings file: $(left)" \
    test "$(left)" = ./TarvikBackUp.INI
expect "the uninstaller kept the Start-menu entry" test ! -e "$entry"
expect "the uninstaller kept its registration" \
    sh -c "! '$src/cmake/wine-run.sh' reg query '$key' >/dev/null 2>&1"
finish
