#!/usr/bin/env bash
# The Debian package as `make dist` builds it: lintian finds neither an error
# nor an unexplained warning; unpacked into a throw-away root, its program
# runs a backup for a user who does not own the program's folder, and that
# user's settings are read from and saved to their own config folder.
#
#   deb_test.sh SOURCE_DIR BINARY_DIR
set -euo pipefail
src=$1
bin=$2
source "$(dirname "$0")/expect.sh"
source "$src/scripts/wait-for.sh"
work=$(mktemp -d)
trap 'kill -KILL "${pid:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT
chmod 755 "$work"

deb=$("$src/scripts/make-deb.sh" "$bin" "$work/out")
expect "lintian reports errors or warnings" \
    lintian --fail-on error,warning --tag-display-limit 0 "$deb"
control=$(dpkg-deb --field "$deb")
expect "no Qt among the dependencies: $control" grep -q '^Depends:.*libqt6widgets6' <<<"$control"
expect "libnotify-bin is not recommended" grep -qx 'Recommends: libnotify-bin' <<<"$control"

root=$work/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/tarvikbackup usr/lib/tarvikbackup/TarvikBackUp usr/lib/tarvikbackup/minicmd \
    usr/share/man/man1/tarvikbackup.1.gz usr/share/man/man1/minicmd.1.gz \
    usr/share/applications/tarvikbackup.desktop usr/lib/systemd/user/tarvikbackup.timer \
    usr/share/doc/tarvikbackup/copyright; do
    expect "the package lacks $f" test -e "$root/$f"
done
expect "the packaged service does not start the packaged launcher" \
    grep -qx 'ExecStart=/usr/bin/tarvikbackup /auto' "$root/usr/lib/systemd/user/tarvikbackup.service"

# A user other than the folder's owner: root's unpacked files for "nobody";
# for anyone else, a folder they may not write to stands for it.
home=$work/home
mkdir -p "$home/.config/tarvikbackup" "$work/src/sub" "$work/backups"
echo report >"$work/src/sub/report.doc"
settings=$home/.config/tarvikbackup/TarvikBackUp.INI
printf '[DirectoryListBox]\r\nNumber=1\r\nsVal0=%s\r\n[BackupDirEdt]\r\nText=%s\r\n[SubDirCheckBox]\r\nChecked=1\r\n' \
    "$work/src" "$work/backups" >"$settings"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody "$home" "$work/src" "$work/backups"
    as_user=(runuser -u nobody --)
else
    chmod 555 "$root/usr/lib/tarvikbackup"
fi
program=$root/usr/lib/tarvikbackup/TarvikBackUp
"${as_user[@]}" env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_CONFIG_HOME HOME="$home" \
    XDG_STATE_HOME="$home/.local/state" QT_QPA_PLATFORM=offscreen "$program" /auto &
pid=$!
copy="$work/backups/BK-$(date +%Y%m%d)/src/sub/report.doc"
expect "the /auto run made no backup of the source" wait_for "test -f '$copy'" 600
# A session's end: the program saves and ends.
kill -TERM "$pid"
expect "the program did not end on SIGTERM" wait_for "! kill -0 $pid 2>/dev/null" 300
wait "$pid" || true
expect "the window's placement was not saved in the user's config folder" \
    grep -q '^\[BackUpForm\]' "$settings"
expect "the source list did not survive the save" grep -q "^sVal0=$work/src" "$settings"
expect "a settings file appeared beside the packaged program" \
    test ! -e "$root/usr/lib/tarvikbackup/TarvikBackUp.INI"
finish
