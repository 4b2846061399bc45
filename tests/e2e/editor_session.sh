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
