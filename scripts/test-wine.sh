#!/usr/bin/env bash
# The Windows lane: cross-builds the whole program and its tests with MinGW-w64
# against Qt and libjpeg built from Debian's sources (once per machine, see
# scripts/build-mingw-deps.sh), gathers the runnable folder build/mingw/
# TarvikBackUp, and runs the tests under Wine, in a throw-away prefix inside
# the build folder and on a virtual X display (the windows platform plugin and
# the folder browser need one).
set -euo pipefail
cd "$(dirname "$0")/.."

# Built first, as the user who runs the lane, into the cache under its HOME:
# only their copies in the build folder are used below.
source scripts/mingw-prefixes.sh

# As root, Wine runs as an unprivileged user (see cmake/wine-run.sh), who must
# reach the checkout. When a parent folder shuts that user out (a checkout
# under /root, say), the lane runs in a copy of the sources it can reach.
wine_user="${TARVIK_WINE_USER:-nobody}"
if [ "$(id -u)" -eq 0 ] && [ -z "${TARVIK_WINE_COPY:-}" ] &&
    ! runuser -u "$wine_user" -- test -r "$PWD/CMakeLists.txt"; then
    copy=$(mktemp -d /tmp/tarvik-wine-XXXXXX)
    trap 'rm -rf "$copy"' EXIT
    chmod 755 "$copy"
    echo "test-wine: $wine_user cannot reach $PWD; running the lane in $copy"
    tar --exclude=./build --exclude=./.git -cf - . | tar -xf - -C "$copy"
    chmod -R a+rX "$copy"
    TARVIK_WINE_COPY=1 "$copy/scripts/test-wine.sh"
    exit $?
fi

# A build folder configured against another Qt (an older cache entry) starts
# afresh.
if [ -f build/mingw/CMakeCache.txt ] &&
    [ "$(sed -n 's/^TARVIK_MINGW_PREFIXES:[A-Z]*=//p' build/mingw/CMakeCache.txt)" != \
        "$TARVIK_MINGW_QT;$TARVIK_MINGW_JPEG" ]; then
    rm -rf build/mingw
fi
cmake --preset mingw
cmake --build --preset mingw

# The prefix lives in build/mingw/wine, which also serves as Wine's HOME. As
# root, Wine runs as an unprivileged user (see cmake/wine-run.sh), who must own
# the prefix.
wine_home="$PWD/build/mingw/wine"
export WINEPREFIX="$wine_home/prefix"
rm -rf "$wine_home"
mkdir -p "$wine_home"
if [ "$(id -u)" -eq 0 ]; then
    chown "$wine_user" "$wine_home"
    as_user=(runuser -u "$wine_user" -- env HOME="$wine_home")
    if ! "${as_user[@]}" test -x build/mingw/tests/DateTextsTest.exe; then
        echo "test-wine: user $wine_user cannot reach $PWD/build/mingw;" \
             "make the checkout readable to it or set TARVIK_WINE_USER" >&2
        exit 1
    fi
else
    as_user=(env HOME="$wine_home")
fi

TARVIK_WINE_TIMEOUT=300 cmake/wine-run.sh wineboot --init >/dev/null 2>&1
timeout --kill-after=10 120 "${as_user[@]}" wineserver --wait

# -ac: the display takes clients without its cookie, which the unprivileged
# user could not read. The first window a fresh prefix opens costs Wine a
# minute or two of setting up; one test program pays it first, under a bound
# of its own, so that no test pays it against its timeout.
status=0
timeout --kill-after=10 1200 \
    xvfb-run --auto-servernum --server-args="-ac -screen 0 1025x769x24" \
    env WINEPATH="Z:$PWD/build/mingw/TarvikBackUp" sh -c '
        TARVIK_WINE_TIMEOUT=300 cmake/wine-run.sh build/mingw/tests/TextTest.exe -o -,tap \
            >/dev/null 2>&1 || echo "test-wine: the first window under Wine did not open"
        exec ctest --preset mingw' || status=$?

# Whatever a test left running in the prefix (a console, a command interpreter)
# ends with the lane.
timeout 30 "${as_user[@]}" wineserver --kill || true
exit "$status"
