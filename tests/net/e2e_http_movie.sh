#!/usr/bin/env bash
# End to end under Xvfb: `vantrel http://127.0.0.1:PORT/Orbits.swf` downloads the movie
# from a server started here (bounded in requests and time), plays it, and the movie
# area on a screenshot is not blank.
# Usage: e2e_http_movie.sh BUILD_DIR SERVER_BINARY. Exit 77 = skipped.
set -uo pipefail
build=$1
server=$2
skip() { echo "SKIP: $*"; exit 77; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v xwininfo >/dev/null && command -v xwd >/dev/null || skip "x11-apps (xwininfo, xwd) are missing"
command -v convert >/dev/null || skip "imagemagick is missing"
movie=$build/Media/Demo/Orbits.swf
[ -f "$movie" ] || skip "the demo movie was not built"

source "$(dirname "$0")/../support/e2e_x11.sh"
e2e_workdir

mkdir -p "$work/site/demo"
cp "$movie" "$work/site/demo/Orbits.swf"
"$server" "$work/site" 10 60 > "$work/port" 2> "$work/requests" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(head -1 "$work/port")
[ -n "$port" ] || { echo "FAIL: the test server did not start"; exit 1; }

e2e_start_x
# The first-run questions were answered and the automatic update check is off, so the
# only address the player asks for is the movie's.
printf '[System]\n"FirstRun"="False"\n[Update]\n"Auto"="False"\n' > "$XDG_CONFIG_HOME/Vantrel/options.conf"

"$build/vantrel" "http://127.0.0.1:$port/demo/Orbits.swf" &
pids+=($!)
id=
for _ in $(seq 200); do
  id=$(xwininfo -root -tree 2>/dev/null | grep -F '"Vantrel - Orbits.swf"' | head -1 | awk '{print $1}')
  [ -n "$id" ] && break
  sleep 0.05
done
[ -n "$id" ] || { echo "FAIL: no window plays the movie; server saw: $(cat "$work/requests")"; exit 1; }
grep -q '^GET /demo/Orbits.swf' "$work/requests" || { echo "FAIL: the movie was not requested"; exit 1; }
ls "$XDG_CACHE_HOME/Vantrel Cache/" | grep -q '_demo_Orbits.swf$' || { echo "FAIL: no copy in the cache"; exit 1; }

sleep 0.5
xwd -silent -id "$id" > "$work/shot.xwd" || { echo "FAIL: no screenshot"; exit 1; }
convert "$work/shot.xwd" "$work/shot.png"
geometry=$(convert "$work/shot.png" -format '%w %h' info:)
read -r width height <<< "$geometry"
colours=$(convert "$work/shot.png" -crop "$((width / 3))x$((height / 3))+$((width / 3))+$((height / 3))" +repage \
  -format '%k' info:)
echo "window $id ${width}x${height}; colours in the movie area: $colours"
[ "$colours" -gt 1 ] || { echo "FAIL: the movie area is blank"; exit 1; }
if [ -n "${VANTREL_SHOT_DIR:-}" ]; then cp "$work/shot.png" "$VANTREL_SHOT_DIR/e2e_http_movie.png"; fi
echo "PASS"
