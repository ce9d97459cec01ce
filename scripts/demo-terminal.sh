#!/bin/sh
# Stands in for a terminal emulator during the demonstration: runs the command
# it is given (after the emulator's "-e") with its output kept in a log, then
# marks the log as finished with the command's exit status.
[ "${1:-}" = "-e" ] && shift
"$@" >"$TARVIK_DEMO_LOG" 2>&1
echo $? >"$TARVIK_DEMO_LOG.done"
