#!/usr/bin/env bash
# The Windows lane: cross-builds core, platform (win32) and their tests with
# MinGW-w64 and runs them under Wine, in a throw-away prefix inside the build
# folder and on a virtual X display (the folder browser needs one).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset mingw
cmake --build --preset mingw

prefix="$PWD/build/mingw/wineprefix"
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

rm -rf "$prefix"
timeout --kill-after=10 300 wine wineboot --init >/dev/null 2>&1
timeout --kill-after=10 120 wineserver --wait

status=0
timeout --kill-after=10 480 \
    xvfb-run --auto-servernum --server-args="-screen 0 1025x769x24" \
    ctest --preset mingw || status=$?

# Whatever a test left running in the prefix (a console, a command interpreter)
# ends with the lane.
timeout 30 wineserver --kill || true
exit "$status"
