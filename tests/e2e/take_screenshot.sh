#!/usr/bin/env bash
# usage: take_screenshot.sh <vestrel> <zlibtool> <sample game file> <out.png> [scale]
# Shows the editor on its own X server with the sample game file open and a
# ball selected, and saves a picture of the window (for docs/window.png; with
# scale 2, as on a desktop at 200 %, for docs/window@2x.png).
set -euo pipefail
vestrel=$1 tool=$2 sample=$3 out=$(realpath -m "$4") scale=${5:-1}
screen="1280x800x24"
[ "$scale" = 1 ] || screen="2560x1600x24"
export QT_SCALE_FACTOR=$scale
session=$(dirname "$(realpath "$0")")/editor_session.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$session"
prepare_app "$vestrel" "$tool" "$sample" "$work"

cat >"$work/show.sh" <<'SHOW'
#!/usr/bin/env bash
set -euo pipefail
app=$1 game=$2 out=$3
source "$4"
start_and_open "$app" "$game"
sleep 1
xdotool windowfocus --sync "$main"
xdotool key Down Down Down Down
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$main")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
xdotool key ctrl+q
wait "$editor" || true
SHOW
xvfb-run -a -s "-screen 0 $screen" bash "$work/show.sh" "$work/app" "$work/games/unnamed_1964.bin" "$out" "$session"
echo "$out"
