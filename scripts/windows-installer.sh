#!/usr/bin/env bash
# Builds the per-user installer of the runnable folder STAGE
# (packaging/windows/TarvikBackUp.nsi, Debian's nsis) as OUTFILE. Its
# uninstaller removes what the installer wrote, file by file.
#
#   windows-installer.sh STAGE VERSION OUTFILE
set -euo pipefail
stage=$1
version=$2
outfile=$3
list=$(mktemp)
trap 'rm -f "$list"' EXIT
(cd "$stage" && find . -type f | LC_ALL=C sort | sed 's|^\./||; s|/|\\|g' |
    sed 's|.*|    Delete "$INSTDIR\\&"|') >"$list"
makensis -V2 -DVERSION="$version" -DSOURCE="$stage" -DFILES="$list" -DOUTFILE="$outfile" \
    "$(dirname "$0")/../packaging/windows/TarvikBackUp.nsi" >&2
