#!/usr/bin/env bash
# `make run`: the program on the user's desktop; on a machine without a display,
# the demonstration instead.
set -euo pipefail
build=${1:-build/default}
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$build/app/TarvikBackUp"
fi
echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running the demonstration on a virtual display instead."
exec "$(dirname "$0")/demo.sh" "$build"
