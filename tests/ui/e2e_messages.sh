#!/usr/bin/env bash
# End to end under Xvfb, driven from the keyboard as a user would: Tools > Extract
# Resources with a destination that does not exist asks in the program's own message
# window whether to create it (nothing is made before the answer), "Create Folder"
# makes it and the summary follows; and the Opacity option fades the movie, not the
# window.
# Screenshots stay in BUILD_DIR/tests/ui/artifacts/.
# Usage: e2e_messages.sh BUILD_DIR. Exit 77 = skipped.
set -uo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v xwininfo >/dev/null && command -v xprop >/dev/null || skip "x11-utils is missing"
command -v xdotool >/dev/null || skip "xdotool is missing"
command -v import >/dev/null || skip "imagemagick is missing"
demo=$build/Media/Demo/Orbits.swf
[ -f "$demo" ] || skip "the demo movie is not built"
artifacts=$build/tests/ui/artifacts
mkdir -p "$artifacts"

source "$here/../support/e2e_x11.sh"
e2e_workdir
e2e_start_x
export VANTREL_WEB_HOST=127.0.0.1:9

dest=$work/extracted
printf '[System]\n"FirstRun"="False"\n"Tips"="False"\n[View]\n"FlashAlpha"=dword:50\n[Decompiler]\n"Destination"="%s"\n' \
  "$dest/" >"$XDG_CONFIG_HOME/Vantrel/options.conf"
cp "$demo" "$work/Orbits.swf"
"$build/vantrel" "$work/Orbits.swf" &
pids+=($!)

# Top-level windows of the player by their exact caption.
window_named() { xwininfo -root -tree 2>/dev/null | grep -F "\"$1\": (\"vantrel\"" | head -1 | awk '{print $1}'; }
wait_named() {
  for _ in $(seq 200); do
    id=$(window_named "$1")
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}
key() { xdotool key --clearmodifiers "$@"; sleep 0.3; }

player=$(wait_named "Vantrel - Orbits.swf") || fail "no player window"
sleep 1

# ---- Opacity "Medium" from the options fades the movie into its background once, and
# the window itself stays opaque; View > Opacity > Full brings the movie back. Compared
# by the movie's mean red above its background's (11 of 255) in the same run.
xprop -id "$player" _NET_WM_WINDOW_OPACITY | grep -q "not found" ||
  fail "the window was made translucent: $(xprop -id "$player" _NET_WM_WINDOW_OPACITY)"
eval "$(xwininfo -id "$player" | awk '/Absolute upper-left X/ {print "wx=" $NF} /Absolute upper-left Y/ {print "wy=" $NF}
  /Width:/ {print "ww=" $NF} /Height:/ {print "wh=" $NF}')"
# The middle of the movie, well inside the menu bar, the skin's bar and the playlist pane.
movie_red() {
  import -window root "$1"
  convert "$1" -crop "$((ww - 260))x$((wh - 120))+$((wx + 20))+$((wy + 40))" +repage -format '%[fx:mean.r-11/255]' info:
}
medium=$(movie_red "$artifacts/opacity_medium.png")
xdotool windowfocus --sync "$player" 2>/dev/null
key alt
key Right        # View
key Down         # opens on Full Screen
key Up Up Up     # round to Opacity
key Right Return # Full
sleep 0.5
full=$(movie_red "$artifacts/opacity_full.png")
echo "movie's mean red above its background: Medium $medium, Full $full"
awk -v m="$medium" -v f="$full" 'BEGIN { exit !(f > 0.05 && m / f > 0.3 && m / f < 0.75) }' ||
  fail "Medium opacity does not fade the movie about half way (Medium $medium, Full $full)"

# ---- Tools (two menus left of Help) > Extract Resources (the fifth enabled item: the
# build's vantrel-saver beside the player enables Flash Screen Saver...).
xdotool windowfocus --sync "$player" 2>/dev/null
key alt
key Left Left
key Down
key Down Down Down Down
import -window root "$artifacts/extract_menu.png"
key Return
extractor=$(wait_named "Resource Extractor") || fail "Extract Resources did not open the extractor"
sleep 0.5
import -window root "$artifacts/extractor.png"
xdotool windowfocus --sync "$extractor" 2>/dev/null
key Return  # Extract
question=""
for _ in $(seq 100); do
  question=$(xwininfo -root -tree | grep -F '"Resource Extractor": ("vantrel"' | awk '{print $1}' | grep -v "^$extractor$" | head -1)
  [ -n "$question" ] && break
  sleep 0.05
done
[ -n "$question" ] || fail "no question in the message window"
sleep 0.5
import -window root "$artifacts/extract_question.png"
[ -e "$dest" ] && fail "the folder was made before the answer"
xwininfo -id "$question" -children | grep -q . || fail "the message window has no content"
xdotool windowfocus --sync "$question" 2>/dev/null
key Return  # Create Folder
for _ in $(seq 100); do [ -d "$dest" ] && break; sleep 0.05; done
[ -d "$dest" ] || fail "Create Folder did not make $dest"
sleep 0.5
import -window root "$artifacts/extract_summary.png"
echo "PASS"
