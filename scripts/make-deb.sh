#!/usr/bin/env bash
# Builds tarvikbackup_<version>_amd64.deb from a built tree (preset default)
# into OUTPUT_DIR: the program and minicmd in /usr/lib/tarvikbackup, the
# launcher, the desktop entry and icons as `cmake --install` lays them out
# under /usr, the systemd user units, the manual pages, the copyright file.
# The dependencies come from the binaries (dpkg-shlibdeps).
#
# lintian finds no error and no warning in it. What it still notes, at the
# level of information: the binaries are those of the plain build, built
# without _FORTIFY_SOURCE and -z now (hardening-no-fortify-functions,
# hardening-no-bindnow); the one override is explained in
# packaging/debian/lintian-overrides.
#
#   make-deb.sh BINARY_DIR OUTPUT_DIR
set -euo pipefail
source "$(dirname "$0")/dist-prologue.sh"
distPrologue make-deb "$1" "$2"
# Where dpkg-shlibdeps expects a package's files in a source tree.
root=$work/debian/tarvikbackup
# Files root:root with the usual modes whoever builds, as a package holds them.
umask 022

DESTDIR=$root cmake --install "$bin" --prefix /usr >/dev/null
# The list make uninstall reads is for installs by hand; dpkg keeps its own.
rm "$root/usr/lib/tarvikbackup/uninstall.txt"
strip --strip-unneeded --remove-section=.comment --remove-section=.note \
    "$root/usr/lib/tarvikbackup/TarvikBackUp" "$root/usr/lib/tarvikbackup/minicmd"

# The user units, starting the packaged launcher.
units=$root/usr/lib/systemd/user
mkdir -p "$units"
sed 's|%h/.local/bin/tarvikbackup|/usr/bin/tarvikbackup|' \
    "$src/docs/scheduling/tarvikbackup.service" >"$units/tarvikbackup.service"
cp "$src/docs/scheduling/tarvikbackup.timer" "$units/"

man=$root/usr/share/man/man1
doc=$root/usr/share/doc/tarvikbackup
mkdir -p "$man" "$doc"
for page in tarvikbackup minicmd; do
    sed "s/@VERSION@/$version/" "$src/resources/man/$page.1" | gzip -9n >"$man/$page.1.gz"
done
cp "$src/packaging/debian/copyright" "$doc/"
sed "s/@VERSION@/$version/" "$src/packaging/debian/changelog" | gzip -9n >"$doc/changelog.gz"
mkdir -p "$root/usr/share/lintian/overrides"
cp "$src/packaging/debian/lintian-overrides" "$root/usr/share/lintian/overrides/tarvikbackup"

# dpkg-shlibdeps reads the package's name from a source tree's control file,
# and knows the package's root by its DEBIAN folder.
mkdir -p "$root/DEBIAN"
printf 'Source: tarvikbackup\n\nPackage: tarvikbackup\nArchitecture: amd64\n' \
    >"$work/debian/control"
depends=$(cd "$work" && dpkg-shlibdeps -O \
    debian/tarvikbackup/usr/lib/tarvikbackup/TarvikBackUp \
    debian/tarvikbackup/usr/lib/tarvikbackup/minicmd |
    sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "make-deb: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
    "$src/packaging/debian/control.in" >"$root/DEBIAN/control"
(cd "$root" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) \
    >"$root/DEBIAN/md5sums"

package=$out/tarvikbackup_${version}_amd64.deb
dpkg-deb --root-owner-group --build "$root" "$package" >/dev/null
echo "$package"
