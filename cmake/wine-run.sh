#!/bin/sh
# Runs one Windows executable under Wine, in the prefix named by WINEPREFIX,
# and never for longer than TARVIK_WINE_TIMEOUT seconds (a console program that
# waits for input would otherwise hang the suite).
#
# Wine maps a file's read-only attribute to its Unix permissions, which root
# ignores; as root, the program therefore runs as TARVIK_WINE_USER (nobody), so
# that read-only files and folders behave as they do for a Windows user. The
# prefix must then belong to that user (scripts/test-wine.sh sees to it).
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the throw-away prefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: their installers would open a dialog and wait for an answer.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export HOME="$(dirname "$WINEPREFIX")"

run_as=""
if [ "$(id -u)" -eq 0 ]; then
    run_as="runuser -u ${TARVIK_WINE_USER:-nobody} --"
fi
exec timeout --kill-after=5 "${TARVIK_WINE_TIMEOUT:-120}" $run_as wine "$@"
