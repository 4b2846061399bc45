#!/usr/bin/env bash
# usage: take_screenshot.sh <vestrel> <zlibtool> <sample game file> <out.png>
# Shows the editor on its own X server with the sample game file open and a
# ball selected, and saves a picture of the window (for docs/window.png).
set -euo pipefail
vestrel=$1 tool=$2 sample=$3 out=$(realpath -m "$4")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app/zlib/temp" "$work/games"
cp "$vestrel" "$work/app/vestrel"
cp "$tool" "$work/app/zlib/"
cp "$sample" "$work/games/unnamed_1964.bin"

cat >"$work/show.sh" <<'SHOW'
#!/usr/bin/env bash
set -euo pipefail
app=$1 game=$2 out=$3
export QT_QPA_PLATFORM=xcb
"$app/vestrel" &
editor=$!
find_window() {
    for _ in $(seq 150); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
main=$(find_window '^Vestrel  v 1\.0\.2$')
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers ctrl+o
dialog=$(find_window '^unnamed_1964\.bin$')
xdotool windowfocus --sync "$dialog"
sleep 0.3
xdotool type --delay 5 "$game"
xdotool key Return
sleep 1
xdotool windowfocus --sync "$main"
xdotool key Down Down Down Down
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$main")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
xdotool key ctrl+q
wait "$editor" || true
SHOW
xvfb-run -a -s "-screen 0 1280x800x24" bash "$work/show.sh" "$work/app" "$work/games/unnamed_1964.bin" "$out"
echo "$out"
