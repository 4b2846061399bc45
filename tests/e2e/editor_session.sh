# Sourced by the scripts that drive the built editor on an X server of their
# own: the folder it runs from, finding its windows, and File > Open.
# A Windows build (vestrel.exe) runs under wine, on Qt's windows platform,
# and is handed the game file's path as wine names it (Z:\...).

# prepare_app <vestrel> <zlibtool> <sample game file> <folder>: <folder>/app
# holds the editor, its tool and its working folder; <folder>/games a copy of
# the sample named unnamed_1964.bin.
prepare_app() {
    mkdir -p "$4/app/zlib/temp" "$4/games"
    cp "$1" "$4/app/$(basename "$1")"
    cp "$2" "$4/app/zlib/"
    cp "$3" "$4/games/unnamed_1964.bin"
}

# find_window <name pattern>: the first visible window so named; waits up to 15 s.
find_window() {
    local id
    for _ in $(seq 150); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# start_and_open <app folder> <game file>: starts the editor ($editor, its
# window $main) and opens the game file by typing its path into the dialog.
# Fails with 1 when the window does not appear, 2 when the dialog does not.
start_and_open() {
    # Tests run with the offscreen platform; these need the real X server.
    local path=$2
    if [ -f "$1/vestrel.exe" ]; then
        export QT_QPA_PLATFORM=windows
        path="Z:$(printf '%s' "$path" | tr / '\\')"
        # Its output goes to a file: wine's background programs inherit it
        # and would keep the test's own output open after it has ended.
        "${VESTREL_WINE:-wine}" "$1/vestrel.exe" >"$1/wine.log" 2>&1 </dev/null &
    else
        export QT_QPA_PLATFORM=xcb
        "$1/vestrel" &
    fi
    editor=$!
    main=$(find_window '^Vestrel  v 1\.0\.2$') || return 1
    xdotool windowfocus --sync "$main"
    xdotool key --clearmodifiers ctrl+o
    local dialog
    dialog=$(find_window '^unnamed_1964\.bin$') || return 2
    xdotool windowfocus --sync "$dialog"
    sleep 0.3
    xdotool type --delay 5 "$path"
    xdotool key Return
}

# rename_first_ball_and_save <app folder> <game file> <working folder>: on an
# X display, starts the editor, opens the game file, renames the first ball
# to "E2E Renamed Ball", saves with Ctrl+S, answers "Save File" and quits
# with Ctrl+Q. Prints FAIL and returns 1 when a step does not happen.
rename_first_ball_and_save() {
    local app=$1 game=$2 working=$3 box
    fail() { echo "FAIL: $*"; kill "$editor" 2>/dev/null || true; return 1; }
    start_and_open "$app" "$game" || case $? in
        1) fail "the main window did not appear"; return 1 ;;
        *) fail "the open dialog did not appear"; return 1 ;;
    esac
    # The dialog closes, the tool runs and the list fills. Keys sent while the
    # tool runs would reach a still empty list, so wait for the tool's result.
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name '^unnamed_1964\.bin$' >/dev/null 2>&1 || break
        sleep 0.1
    done
    for _ in $(seq 200); do
        [ -f "$working/unnamed_1964.bin.unzlib" ] && break
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
    box=$(find_window '^Vestrel$') || { fail "no message after saving"; return 1; }
    xdotool windowfocus --sync "$box"
    xdotool key Return
    sleep 0.3
    xdotool windowfocus --sync "$main"
    xdotool key ctrl+q
    for _ in $(seq 100); do
        kill -0 "$editor" 2>/dev/null || return 0
        sleep 0.1
    done
    fail "the editor did not end after Ctrl+Q"
}
