#!/usr/bin/env bash
# usage: open_save_e2e.sh <vestrel> <zlibtool> <sample game file> [<checking zlibtool>]
# Runs the editor on its own X server and drives it as a user would, with
# key presses only: Ctrl+O, the path typed into the file dialog, Enter; a ball
# selected and renamed; Ctrl+S, Enter on "Save File"; Ctrl+Q. Then checks that
# the game file holds the renamed ball and that the working folder is empty.
# The check runs the zlibtool given last (for a Windows build, a Linux one).
set -euo pipefail
vestrel=$1 tool=$2 sample=$3 check_tool=${4:-$2}
session=$(dirname "$(realpath "$0")")/editor_session.sh

for needed in xvfb-run xdotool; do
    command -v "$needed" >/dev/null || { echo "SKIP: $needed is not installed"; exit 77; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$session"
prepare_app "$vestrel" "$tool" "$sample" "$work"
game="$work/games/unnamed_1964.bin"
before=$(sha256sum "$game" | cut -d' ' -f1)

xvfb-run -a -s "-screen 0 1280x800x24" \
    bash -c 'set -euo pipefail; source "$1"; rename_first_ball_and_save "$2" "$3" "$2/zlib/temp"' _ "$session" "$work/app" "$game"

after=$(sha256sum "$game" | cut -d' ' -f1)
[ "$before" != "$after" ] || { echo "FAIL: the game file was not saved"; exit 1; }
# The saved file must decompress to the sample's 40 balls, the first renamed.
cp "$game" "$work/check.bin"
"$check_tool" "$work/check.bin" -d
table="$work/check.bin.unzlib"
size=$(stat -c %s "$table")
[ "$size" -eq $((32 + 40 * 72)) ] || { echo "FAIL: the saved table is $size bytes, not 40 balls"; exit 1; }
name=$(dd if="$table" bs=1 skip=32 count=64 status=none | tr -d '\0')
[ "$name" = "E2E Renamed Ball" ] || { echo "FAIL: the first ball is named '$name'"; exit 1; }
leftovers=$(find "$work/app/zlib/temp" -type f | wc -l)
[ "$leftovers" -eq 0 ] || { echo "FAIL: $leftovers files left in the working folder"; exit 1; }
echo "PASS: opened, renamed the first ball, saved and quit; the game file holds the new name"
