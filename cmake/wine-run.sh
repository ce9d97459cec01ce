#!/bin/sh
# Runs one Windows executable under Wine, in the prefix named by WINEPREFIX,
# and never for longer than TARVIK_WINE_TIMEOUT seconds (a console program that
# waits for input would otherwise hang the suite).
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the throw-away prefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: their installers would open a dialog and wait for an answer.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec timeout --kill-after=5 "${TARVIK_WINE_TIMEOUT:-120}" wine "$@"
