#!/usr/bin/env bash
# End to end under Xvfb: a first vantrel plays one movie, a second vantrel started with
# another movie hands it over and ends; the first window then shows the second movie,
# one process remains, and the movie area on a screenshot is not blank.
# Usage: e2e_handover.sh BUILD_DIR CORPUS_DIR. Exit 77 = skipped.
set -uo pipefail
build=$1
corpus=$2
skip() { echo "SKIP: $*"; exit 77; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v xwininfo >/dev/null && command -v xwd >/dev/null || skip "x11-apps (xwininfo, xwd) are missing"
command -v convert >/dev/null || skip "imagemagick is missing"
first_movie=$corpus/visual/simple_shapes/overlaps/test.swf
second_movie=$corpus/visual/gradient_same_ratios/test.swf
[ -f "$first_movie" ] && [ -f "$second_movie" ] || skip "corpus movies not found under $corpus"

source "$(dirname "$0")/../support/e2e_x11.sh"
e2e_workdir

e2e_start_x
# The first-run questions were answered before.
printf '[System]\n"FirstRun"="False"\n' > "$XDG_CONFIG_HOME/Vantrel/options.conf"
cp "$first_movie" "$work/first movie.swf"
cp "$second_movie" "$work/second.swf"

window_of() { xwininfo -root -tree 2>/dev/null | grep -F "\"Vantrel - $1\"" | head -1 | awk '{print $1}'; }
wait_window() {
  for _ in $(seq 200); do
    id=$(window_of "$1")
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}

"$build/vantrel" "$work/first movie.swf" &
first=$!
pids+=($first)
wait_window "first movie.swf" >/dev/null || { echo "FAIL: the first window never showed"; exit 1; }
[ -f "$XDG_DATA_HOME/Vantrel/Flash Player.Log.html" ] || { echo "FAIL: the first instance wrote no log"; exit 1; }

# The second start hands over and ends without touching the first one's log.
before=$(stat -c %Y.%s "$XDG_DATA_HOME/Vantrel/Flash Player.Log.html")
timeout 20 "$build/vantrel" "$work/second.swf"
status=$?
[ $status -eq 0 ] || { echo "FAIL: the second instance ended with $status"; exit 1; }
after=$(stat -c %Y.%s "$XDG_DATA_HOME/Vantrel/Flash Player.Log.html")
[ "$before" = "$after" ] || { echo "FAIL: the second instance touched the log"; exit 1; }
id=$(wait_window "second.swf") || { echo "FAIL: the first window does not show the second movie"; exit 1; }
kill -0 "$first" 2>/dev/null || { echo "FAIL: the first instance is gone"; exit 1; }
count=$(pgrep -c -f "^$build/vantrel " || true)
[ "$count" = 1 ] || { echo "FAIL: $count vantrel processes remain"; exit 1; }

sleep 0.5
xwd -silent -id "$id" > "$work/shot.xwd" || { echo "FAIL: no screenshot"; exit 1; }
convert "$work/shot.xwd" "$work/shot.png"
# The movie area: the middle of the window, away from the menu bar and the pane.
geometry=$(convert "$work/shot.png" -format '%w %h' info:)
read -r width height <<< "$geometry"
colours=$(convert "$work/shot.png" -crop "$((width / 3))x$((height / 3))+$((width / 6))+$((height / 3))" +repage \
  -format '%k' info:)
echo "window $id ${width}x${height}; colours in the movie area: $colours"
[ "$colours" -gt 1 ] || { echo "FAIL: the movie area is blank"; exit 1; }
if [ -n "${VANTREL_SHOT_DIR:-}" ]; then cp "$work/shot.png" "$VANTREL_SHOT_DIR/e2e_handover.png"; fi
echo "PASS"
