#!/usr/bin/env bash
# End to end under Xvfb, as a user walks it with the keyboard and the mouse: a movie
# plays; F3 shows the media browser in its place; F3 again refreshes the page, which
# stays; a click on another movie's tile plays that one; over the browser the playlist
# key (F6) leaves the page showing. Then F1 with no program on the
# desktop to open the help: the message window shows the page's address.
# Screenshots stay in BUILD_DIR/tests/ui/artifacts/walk_*.png.
# Usage: e2e_walk.sh BUILD_DIR. Exit 77 = skipped.
set -uo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; import -window root "$artifacts/walk_failed.png" 2>/dev/null; exit 1; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v xwininfo >/dev/null || skip "x11-utils is missing"
command -v xdotool >/dev/null || skip "xdotool is missing"
command -v import >/dev/null && command -v convert >/dev/null || skip "imagemagick is missing"
demo=$build/Media/Demo/Orbits.swf
[ -f "$demo" ] || skip "the demo movie is not built"
artifacts=$build/tests/ui/artifacts
mkdir -p "$artifacts"

source "$here/../support/e2e_x11.sh"
e2e_workdir
e2e_start_x
export VANTREL_WEB_HOST=127.0.0.1:9

folder=$work/Flash/
mkdir -p "$folder/Games"
cp "$demo" "$folder/a.swf"
cp "$demo" "$folder/b.swf"
printf '[System]\n"FirstRun"="False"\n"Tips"="False"\n[Recent]\n"MyFlash"="%s"\n[Browser]\n"SortBy"="Name"\n' \
  "$folder" >"$XDG_CONFIG_HOME/Vantrel/options.conf"
# A desktop that opens nothing: xdg-open finds no program for anything.
mkdir -p "$work/bin"
printf '#!/bin/sh\nexit 3\n' >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
export PATH=$work/bin:$PATH

gone() {
  for _ in $(seq 100); do
    [ -z "$(e2e_window_named "$1")" ] && return 0
    sleep 0.05
  done
  return 1
}
key() { xdotool windowfocus --sync "$player" 2>/dev/null; xdotool key --clearmodifiers "$@"; sleep 0.4; }
shot() { sleep 0.5; import -window root "$artifacts/walk_$1.png"; }
# Presses keys and waits for the player's caption to become $1.
key_then() {
  local caption=$1
  shift
  key "$@"
  player=$(e2e_wait_named "$caption")
}

"$build/vantrel" "$folder/a.swf" &
pids+=($!)
player=$(e2e_wait_named "Vantrel - a.swf") || fail "the movie did not open"
sleep 1.5
shot 1_movie

# F3: the browser takes the movie's place.
key_then "Vantrel - Browse Media" F3 || fail "F3 did not show the browser"
shot 2_browser

# F3 again: the page is made again and stays.
key F3
sleep 1
xdotool search --name "^Vantrel - Browse Media\$" >/dev/null || fail "F3 over the browser did not keep the page"
shot 3_refreshed

# A click on the tile of b.swf (the folder first, then a.swf and b.swf; tiles are 150
# pixels apart, and a folder draws its picture 35 right of and 26 below its tile's corner).
sleep 0.5
import -window root "$work/page.png"
corner=$(convert "$work/page.png" -fill black +opaque "rgb(232,185,74)" -trim -format '%X %Y' info: 2>/dev/null | tr -d '+')
read -r fx fy <<<"$corner"
[ -n "${fx:-}" ] && [ -n "${fy:-}" ] || fail "the folder tile is not on the screen"
xdotool mousemove "$((fx - 35 + 2 * 150 + 75))" "$((fy - 26 + 50))" click 1
player=$(e2e_wait_named "Vantrel - b.swf") || fail "a click on b.swf did not play it"
shot 4_other_movie

# Over the browser the playlist key only changes the menu's check: the page stays.
key_then "Vantrel - Browse Media" F3 || fail "F3 did not show the browser again"
key F6
sleep 0.5
xdotool search --name "^Vantrel - Browse Media\$" >/dev/null || fail "the playlist key over the browser left the page"
shot 5_playlist_key

# F1 with nothing on the desktop to open the help: the message window names the page.
key F1
message=$(e2e_wait_named "Vantrel") || fail "no message when nothing opened the help"
shot 6_no_opener
xdotool windowfocus --sync "$message" 2>/dev/null
xdotool key --clearmodifiers Return
gone "Vantrel" || fail "the message window did not close"
echo "PASS"
