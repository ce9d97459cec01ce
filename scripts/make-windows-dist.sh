#!/usr/bin/env bash
# Builds the Windows downloads from the MinGW build (preset mingw) into
# OUTPUT_DIR: TarvikBackUp-<version>-win64.zip, the runnable folder with a
# README and the licences of what it bundles but no settings file (unpacking
# an update over an old folder keeps the user's), and
# TarvikBackUp-<version>-win64-setup.exe, the per-user installer of the same
# folder (packaging/windows/TarvikBackUp.nsi, Debian's nsis).
#
#   make-windows-dist.sh BINARY_DIR OUTPUT_DIR
set -euo pipefail
source "$(dirname "$0")/dist-prologue.sh"
distPrologue make-windows-dist "$1" "$2"
[ -f "$bin/TarvikBackUp/TarvikBackUp.exe" ] ||
    { echo "make-windows-dist: $bin/TarvikBackUp is not built" >&2; exit 1; }
umask 022
stage=$work/TarvikBackUp
cp -r "$bin/TarvikBackUp" "$stage"
# A settings file a test or a trial run left there is someone's, not ours.
find "$stage" -iname '*.ini' -delete

crlf() { sed 's/\r*$/\r/'; }
sed "s/@VERSION@/$version/" "$src/packaging/windows/README.txt" | crlf >"$stage/README.txt"

# The licences of everything in the folder, and where the DLLs came from.
licenses=$stage/licenses
mkdir -p "$licenses"
crlf <"$src/LICENSE" >"$licenses/LICENSE.txt"
crlf </usr/share/common-licenses/LGPL-3 >"$licenses/Qt-LGPL-3.txt"
crlf </usr/share/common-licenses/GPL-3 >"$licenses/GPL-3.txt"
crlf </usr/share/doc/libqt6core6/copyright >"$licenses/Qt-copyright.txt"
crlf <"$src/scripts/qt6-base-mingw.patch" >"$licenses/Qt-changes.patch"
crlf </usr/share/doc/libjpeg62-turbo/copyright >"$licenses/libjpeg-turbo-copyright.txt"
crlf </usr/share/doc/gcc-mingw-w64-base/copyright >"$licenses/gcc-mingw-w64-copyright.txt"
crlf </usr/share/doc/mingw-w64-common/copyright >"$licenses/mingw-w64-copyright.txt"
source_of() { dpkg-query -W -f='${source:Package} ${source:Version}' "$1"; }
crlf >"$licenses/SOURCES.txt" <<TEXT
The DLLs beside TarvikBackUp.exe were built from these Debian source packages
(Debian 12), with the MinGW-w64 cross compiler:

  Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll, platforms\\qwindows.dll,
  styles\\qwindowsvistastyle.dll:
      $(source_of qt6-base-dev), with the changes in Qt-changes.patch
      (LGPL-3: Qt-LGPL-3.txt with GPL-3.txt; Qt-copyright.txt)
  libjpeg-62.dll:
      $(source_of libjpeg62-turbo-dev) (libjpeg-turbo-copyright.txt)
  libstdc++-6.dll, libgcc_s_seh-1.dll:
      $(source_of g++-mingw-w64-x86-64-posix) (GPL-3 with the GCC Runtime
      Library Exception: gcc-mingw-w64-copyright.txt)
  libwinpthread-1.dll:
      $(source_of mingw-w64-x86-64-dev) (mingw-w64-copyright.txt)

The sources are Debian's: apt-get source PACKAGE=VERSION. Qt can be rebuilt
from them with scripts/build-mingw-deps.sh of the TarvikBackUp sources, and
the DLLs here replaced by your own build.

TarvikBackUp itself is under the MIT License (LICENSE.txt).
TEXT

zip=$out/TarvikBackUp-$version-win64.zip
rm -f "$zip"
(cd "$work" && TZ=UTC zip -qrX "$zip" TarvikBackUp)

setup=$out/TarvikBackUp-$version-win64-setup.exe
"$src/scripts/windows-installer.sh" "$stage" "$version" "$setup"
echo "$zip"
echo "$setup"
