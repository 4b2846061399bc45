#!/usr/bin/env bash
# usage: installed_e2e.sh --install <build folder> <sample game file>
#        installed_e2e.sh --prefix <installed prefix> <sample game file>
# Installs the build with `cmake --install` into a fresh prefix (or takes a
# prefix already there, such as a package's extracted contents), checks the
# layout, makes the prefix read-only for the user who runs the editor, and
# drives the installed editor through its real window: open the sample, rename
# the first ball, save, quit. Then checks with the installed vestrel-table that
# the game file holds the new name, that nothing under the prefix changed, and
# that the user's own working folder was used and left empty. Run as root, the
# editor runs as the unprivileged user nobody. Skipped (77) without xvfb-run or
# xdotool, or as root without setpriv.
set -euo pipefail
mode=$1 from=$2 sample=$3
session=$(dirname "$(realpath "$0")")/editor_session.sh

for needed in xvfb-run xdotool; do
    command -v "$needed" >/dev/null || { echo "SKIP: $needed is not installed"; exit 77; }
done
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null || { echo "SKIP: running as root without setpriv to drop to another user"; exit 77; }
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

work=$(mktemp -d)
chmod 755 "$work"
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
case $mode in
    --install)
        prefix=$work/prefix
        cmake --install "$from" --prefix "$prefix" >"$work/install.log" ||
            { cat "$work/install.log"; echo "FAIL: cmake --install failed"; exit 1; } ;;
    --prefix) prefix=$(realpath "$from") ;;
    *) echo "usage: installed_e2e.sh --install <build folder> | --prefix <prefix>  <sample game file>" >&2; exit 2 ;;
esac

for entry in bin/vestrel bin/vestrel-table libexec/vestrel/vestrel libexec/vestrel/zlib/zlibtool \
    libexec/vestrel/resources/click.wav libexec/vestrel/resources/over.wav share/applications/vestrel.desktop \
    share/icons/hicolor/48x48/apps/vestrel.png share/icons/hicolor/256x256/apps/vestrel.png \
    share/doc/vestrel/README.md share/doc/vestrel/LICENSE-LiberationSans.txt; do
    [ -e "$prefix/$entry" ] || { echo "FAIL: $entry is not installed"; exit 1; }
done
[ -L "$prefix/bin/vestrel" ] || { echo "FAIL: bin/vestrel is not a link to the editor"; exit 1; }
[ ! -e "$prefix/libexec/vestrel/zlib/temp" ] || { echo "FAIL: a working folder was installed"; exit 1; }
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/vestrel.desktop" || { echo "FAIL: vestrel.desktop"; exit 1; }
fi

# Read-only for the user: without write bits, and (as root) run by another
# user. A working folder beside the editor, as an unpacked zip has, is then
# read-only too, and the editor must turn to the user's own all the same.
mkdir "$prefix/libexec/vestrel/zlib/temp"
chmod -R a-w "$prefix"
snapshot() { (cd "$prefix" && find . -printf '%p %y %s %m %T@ %l\n' | sort && find . -type f -exec sha256sum {} + | sort); }
before=$(snapshot)

# The user may not be able to read the sources' folder.
cp "$session" "$work/editor_session.sh"
session=$work/editor_session.sh
home=$work/home
mkdir -p "$home/runtime" "$work/games"
chmod 700 "$home/runtime"
cp "$sample" "$work/games/unnamed_1964.bin"
game=$work/games/unnamed_1964.bin
chmod 644 "$game"
if [ ${#as_user[@]} -gt 0 ]; then
    chown -R nobody:nogroup "$home" "$work/games"
    "${as_user[@]}" test -x "$prefix/bin/vestrel" ||
        { echo "FAIL: the user nobody cannot reach $prefix"; exit 1; }
    if "${as_user[@]}" touch "$prefix/.written" 2>/dev/null; then
        echo "FAIL: the user can write to $prefix"; exit 1
    fi
fi
original=$(sha256sum "$game" | cut -d' ' -f1)
working=$home/.local/share/Vestrel/zlib/temp

"${as_user[@]}" env -i HOME="$home" XDG_RUNTIME_DIR="$home/runtime" PATH=/usr/bin:/bin LANG=C.UTF-8 \
    xvfb-run -a -s "-screen 0 1280x800x24" \
    bash -c 'set -euo pipefail; source "$1"; rename_first_ball_and_save "$2" "$3" "$4"' \
    _ "$session" "$prefix/bin" "$game" "$working"

[ "$(sha256sum "$game" | cut -d' ' -f1)" != "$original" ] || { echo "FAIL: the game file was not saved"; exit 1; }
first=$("$prefix/bin/vestrel-table" list "$game" | head -n 1)
case $first in
    "1 : E2E Renamed Ball"$'\t'*) ;;
    *) echo "FAIL: the first ball reads: $first"; exit 1 ;;
esac
[ "$("$prefix/bin/vestrel-table" list "$game" | wc -l)" -eq 40 ] || { echo "FAIL: the saved file lost balls"; exit 1; }
[ "$(snapshot)" = "$before" ] || { echo "FAIL: something under the prefix changed"; diff <(echo "$before") <(snapshot) | head; exit 1; }
[ -d "$working" ] || { echo "FAIL: the user's working folder $working was not used"; exit 1; }
left=$(find "$working" -mindepth 1 | wc -l)
[ "$left" -eq 0 ] || { echo "FAIL: $left entries left in $working"; find "$working"; exit 1; }
echo "PASS: the installed editor, run by $("${as_user[@]}" id -un) on a read-only prefix, opened, edited and saved the game file"
