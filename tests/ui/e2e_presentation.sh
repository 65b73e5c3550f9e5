#!/usr/bin/env bash
# End to end under Xvfb: the shipped skin cuts the window's outline (the screen shows
# through its lower corners), full screen + Escape, F8 twice and a restart keep the
# window's size, and a fresh start with a file that is no movie keeps a usable window.
# Screenshots stay in BUILD_DIR/tests/ui/artifacts/.
# Usage: e2e_presentation.sh BUILD_DIR. Exit 77 = skipped.
set -uo pipefail
build=$1
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v xwininfo >/dev/null || skip "x11-utils (xwininfo) is missing"
command -v xdotool >/dev/null || skip "xdotool is missing"
command -v import >/dev/null && command -v convert >/dev/null || skip "imagemagick is missing"
demo=$build/Media/Demo/Orbits.swf
[ -f "$demo" ] || skip "the demo movie is not built"

artifacts=$build/tests/ui/artifacts
mkdir -p "$artifacts"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# -br: a black root, so that holes in the window show black. Xvfb picks a free display
# and writes its number.
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -br -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || skip "Xvfb did not start"
export DISPLAY=:$(head -1 "$work/display") QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy VANTREL_WEB_HOST=127.0.0.1:9
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

home() {
  export HOME=$work/$1 XDG_CONFIG_HOME=$work/$1/config XDG_DATA_HOME=$work/$1/data XDG_CACHE_HOME=$work/$1/cache
  export XDG_RUNTIME_DIR=$work/$1/run
  mkdir -p "$XDG_CONFIG_HOME/Vantrel" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
}

# The player's own top-level window (Qt's helper windows carry no class).
window_of() { xwininfo -root -tree 2>/dev/null | grep -F "\"Vantrel$1\": (\"vantrel\"" | head -1 | awk '{print $1}'; }
wait_window() {
  for _ in $(seq 200); do
    id=$(window_of "$1")
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}
geometry() { xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}'; }
pixel() { convert "$1" -format "%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]" -crop "1x1+$2+$3" info:; }
settle() { sleep "${1:-0.4}"; }
# Changing the frame makes a new X window: find it again and give it the focus first.
press() {
  id=$(wait_window "$1") || fail "the window is gone before $2"
  xdotool windowfocus --sync "$id" 2>/dev/null
  xdotool key --clearmodifiers "$2"
  settle
}

# ---- The skin's outline and the window's size through full screen, F8 and a restart.
home skin
printf '[System]\n"FirstRun"="False"\n"Tips"="False"\n[Window]\n"MenuBar"="False"\n' > "$XDG_CONFIG_HOME/Vantrel/options.conf"
cp "$demo" "$work/Orbits.swf"
"$build/vantrel" "$work/Orbits.swf" &
player=$!
pids+=($player)
id=$(wait_window " - Orbits.swf") || fail "no player window"
settle 1
read -r x y w h <<<"$(geometry "$id")"
echo "window at $x,$y size ${w}x$h"
import -window root "$artifacts/skin_shape.png"
corner=$(pixel "$artifacts/skin_shape.png" "$x" "$((y + h - 1))")
middle=$(pixel "$artifacts/skin_shape.png" "$((x + w / 2))" "$((y + h - 1))")
echo "lower left corner $corner, lower middle $middle"
[ "$corner" = "0,0,0" ] || fail "the lower left corner is not cut out of the window ($corner)"
[ "$middle" != "0,0,0" ] || fail "the skin's bar is missing at the bottom ($middle)"

press " - Orbits.swf" ctrl+f
id=$(wait_window " - Orbits.swf"); read -r _ _ fw fh <<<"$(geometry "$id")"
import -window root "$artifacts/full_screen.png"
# Without a window manager Xvfb does not make the window full screen; the player's
# side of it (pane and bar hidden) still happens, and must be undone by Escape.
echo "full screen: ${fw}x$fh"
press " - Orbits.swf" Escape
id=$(wait_window " - Orbits.swf"); read -r _ _ w2 h2 <<<"$(geometry "$id")"
[ "${w2}x$h2" = "${w}x$h" ] || fail "after full screen and Escape the window is ${w2}x$h2, not ${w}x$h"
press " - Orbits.swf" F8
import -window root "$artifacts/interface_hidden.png"
press " - Orbits.swf" F8
id=$(wait_window " - Orbits.swf"); read -r _ _ w3 h3 <<<"$(geometry "$id")"
import -window root "$artifacts/interface_back.png"
[ "${w3}x$h3" = "${w}x$h" ] || fail "after F8 twice the window is ${w3}x$h3, not ${w}x$h"
press " - Orbits.swf" ctrl+q
for _ in $(seq 100); do kill -0 "$player" 2>/dev/null || break; sleep 0.05; done
kill -0 "$player" 2>/dev/null && fail "Ctrl+Q did not end the player"

"$build/vantrel" "$work/Orbits.swf" &
pids+=($!)
id=$(wait_window " - Orbits.swf") || fail "no player window after the restart"
settle 1
read -r x4 y4 w4 h4 <<<"$(geometry "$id")"
import -window root "$artifacts/restarted.png"
echo "restarted at $x4,$y4 size ${w4}x$h4"
[ "${w4}x$h4" = "${w}x$h" ] || fail "after a restart the window is ${w4}x$h4, not ${w}x$h"
kill "${pids[-1]}" 2>/dev/null

# ---- A fresh start with a file that is no movie.
home broken
printf '[System]\n"FirstRun"="False"\n"Tips"="False"\n' > "$XDG_CONFIG_HOME/Vantrel/options.conf"
echo "just some text" > "$work/notes.swf"
"$build/vantrel" "$work/notes.swf" &
pids+=($!)
id=$(wait_window "") || fail "no player window for a broken file"
settle 1
read -r _ _ w5 h5 <<<"$(geometry "$id")"
import -window root "$artifacts/failed_load.png"
echo "failed load: ${w5}x$h5"
[ "$w5" -ge 320 ] && [ "$h5" -ge 200 ] || fail "a failed load leaves a ${w5}x$h5 window"
echo "PASS"
