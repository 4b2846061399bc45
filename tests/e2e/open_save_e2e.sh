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

cat >"$work/drive.sh" <<'DRIVE'
#!/usr/bin/env bash
set -euo pipefail
app=$1 game=$2
source "$3"
fail() { echo "FAIL: $*"; kill "$editor" 2>/dev/null || true; exit 1; }
start_and_open "$app" "$game" || case $? in
    1) fail "the main window did not appear" ;;
    *) fail "the open dialog did not appear" ;;
esac
# The dialog closes, the tool runs and the list fills. Keys sent while the
# tool runs would reach a still empty list, so wait for the tool's result.
for _ in $(seq 100); do
    xdotool search --onlyvisible --name '^unnamed_1964\.bin$' >/dev/null 2>&1 || break
    sleep 0.1
done
for _ in $(seq 200); do
    [ -f "$app/zlib/temp/unnamed_1964.bin.unzlib" ] && break
    sleep 0.1
done
# The table is loaded once the tool has ended; under wine that takes longer.
for _ in $(seq 100); do
    pgrep -f 'zlib[/\]zlibtool' >/dev/null || break
    sleep 0.1
done
if [ -f "$app/vestrel.exe" ]; then sleep 2; else sleep 0.5; fi
xdotool windowfocus --sync "$main"
xdotool key Down Home       # a ball selected, then the first one
xdotool key Tab Tab Tab     # Index, ID, then the name box
xdotool key ctrl+a
xdotool type --delay 5 "E2E Renamed Ball"
xdotool key ctrl+s
box=$(find_window '^Vestrel$') || fail "no message after saving"
xdotool windowfocus --sync "$box"
xdotool key Return
sleep 0.3
xdotool windowfocus --sync "$main"
xdotool key ctrl+q
for _ in $(seq 100); do
    kill -0 "$editor" 2>/dev/null || exit 0
    sleep 0.1
done
fail "the editor did not end after Ctrl+Q"
DRIVE

xvfb-run -a -s "-screen 0 1280x800x24" bash "$work/drive.sh" "$work/app" "$game" "$session"

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
