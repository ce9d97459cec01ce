#!/usr/bin/env bash
# Renders the documentation's pictures with the program that `make
# screenshots` runs, into a temporary folder, and checks each is a PNG of the
# window or dialog it shows.
#
#   screenshots_test.sh SCREENSHOTS_PROGRAM
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/expect.sh"
# Width and height from a PNG's header.
png_size() {
    od -An -tu1 -j16 -N8 "$1" |
        awk '{ printf "%dx%d", (($1*256+$2)*256+$3)*256+$4, (($5*256+$6)*256+$7)*256+$8 }'
}

QT_QPA_PLATFORM=offscreen "$1" "$work"
expect "the program failed" test $? -eq 0
for name in window-backup window-settings window-missing-source about-dialog; do
    expect "$name.png is missing" test -s "$work/$name.png"
done
# The main window's client area (each page, and a missing source folder
# greyed) is 415 x 506 below its menu bar; the About dialog's is 233 x 270.
expect "the About picture is $(png_size "$work/about-dialog.png")" \
    test "$(png_size "$work/about-dialog.png")" = 233x270
for name in window-backup window-settings window-missing-source; do
    size=$(png_size "$work/$name.png")
    expect "$name.png is $size" test "${size%x*}" = 415 -a "${size#*x}" -gt 506
done
expect "the two pages look the same" \
    bash -c "! cmp -s '$work/window-backup.png' '$work/window-settings.png'"
expect "the missing folder's picture is the plain Backup page" \
    bash -c "! cmp -s '$work/window-backup.png' '$work/window-missing-source.png'"

finish
