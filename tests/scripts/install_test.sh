#!/usr/bin/env bash
# Installs into a temporary prefix with the commands `make install` and
# `make uninstall` run, and checks what lands where, that the desktop entry is
# valid, and that uninstalling leaves the prefix as it was: empty, or holding
# only the settings file the program wrote itself.
#
#   install_test.sh SOURCE_DIR BINARY_DIR
set -euo pipefail
src=$1
bin=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/expect.sh"

listing() { (cd "$1" && find . -mindepth 1 | LC_ALL=C sort); }

run_install() {
    cmake --install "$bin" --prefix "$1" >/dev/null
}
run_uninstall() {
    cmake -DPREFIX="$1" -P "$src/cmake/Uninstall.cmake" >/dev/null
}

# 1. An empty prefix is empty again afterwards.
prefix=$work/empty
mkdir -p "$prefix"
run_install "$prefix"
for f in lib/tarvikbackup/TarvikBackUp lib/tarvikbackup/minicmd bin/tarvikbackup; do
    expect "$f is not installed as an executable" test -x "$prefix/$f"
done
for size in 16 32 48 64; do
    expect "the ${size}px icon is missing" \
        test -f "$prefix/share/icons/hicolor/${size}x${size}/apps/tarvikbackup.png"
done
desktop=$prefix/share/applications/tarvikbackup.desktop
expect "the desktop entry does not start the launcher" \
    grep -qx "Exec=\"$prefix/bin/tarvikbackup\"" "$desktop"
expect "desktop-file-validate rejects the entry (or is missing: package desktop-file-utils)" \
    desktop-file-validate "$desktop"
expect "the launcher does not start the installed program" \
    grep -q "exec \"$prefix/lib/tarvikbackup/TarvikBackUp\"" "$prefix/bin/tarvikbackup"
# The run record is asked for through the launcher, from any folder.
status=0
said=$(cd / && XDG_STATE_HOME=$work/state "$prefix/bin/tarvikbackup" --last) || status=$?
expect "tarvikbackup --last does not reach the interpreter (status $status): $said" \
    test "$status" = 2 -a "$said" = "No backup run is recorded in $work/state/tarvikbackup."
run_uninstall "$prefix"
left=$(listing "$prefix")
expect "uninstall left: $left" test -z "$left"

# 2. A prefix with folders of its own keeps them, and the settings file stays.
prefix=$work/lived-in
mkdir -p "$prefix/bin" "$prefix/share/applications"
echo keep >"$prefix/bin/other-tool"
before=$(listing "$prefix")
run_install "$prefix"
printf '[BackupDirEdt]\r\nText=/backups\r\n' >"$prefix/lib/tarvikbackup/TarvikBackUp.INI"
run_uninstall "$prefix"
after=$(listing "$prefix")
expected=$(printf '%s\n./lib\n./lib/tarvikbackup\n./lib/tarvikbackup/TarvikBackUp.INI' "$before" | LC_ALL=C sort)
expect "after uninstall:
$after
expected:
$expected" test "$after" = "$expected"

# 3. Installing twice and uninstalling once still removes everything.
prefix=$work/twice
mkdir -p "$prefix"
run_install "$prefix"
run_install "$prefix"
run_uninstall "$prefix"
left=$(listing "$prefix")
expect "a second install left files behind: $left" test -z "$left"

# 4. A file an earlier version installed, which this one does not, goes too.
prefix=$work/upgraded
mkdir -p "$prefix"
run_install "$prefix"
echo old >"$prefix/lib/tarvikbackup/old-plugin.so"
echo "file $prefix/lib/tarvikbackup/old-plugin.so" >>"$prefix/lib/tarvikbackup/uninstall.txt"
run_install "$prefix"
run_uninstall "$prefix"
left=$(listing "$prefix")
expect "an earlier version's file stayed: $left" test -z "$left"

finish
