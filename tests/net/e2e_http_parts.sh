#!/usr/bin/env bash
# End to end under Xvfb: `vantrel http://127.0.0.1:PORT/site/main.swf` plays a movie
# served here that loads its parts by relative address: a second movie into _level1
# (a blue rectangle), variables (shown as a red mark) and an XML document (a green
# mark). The window must show all three colours.
# Usage: e2e_http_parts.sh BUILD_DIR SERVER_BINARY MOVIES_BINARY. Exit 77 = skipped.
set -uo pipefail
build=$1
server=$2
movies=$3
skip() { echo "SKIP: $*"; exit 77; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v xwininfo >/dev/null && command -v xwd >/dev/null || skip "x11-apps (xwininfo, xwd) are missing"
command -v convert >/dev/null || skip "imagemagick is missing"

source "$(dirname "$0")/../support/e2e_x11.sh"
e2e_workdir

"$movies" "$work/site/site" || { echo "FAIL: the served movies could not be written"; exit 1; }
"$server" "$work/site" 12 60 > "$work/port" 2> "$work/requests" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(head -1 "$work/port")
[ -n "$port" ] || { echo "FAIL: the test server did not start"; exit 1; }

e2e_start_x
printf '[System]\n"FirstRun"="False"\n"Tips"="False"\n[Update]\n"Auto"="False"\n' > "$XDG_CONFIG_HOME/Vantrel/options.conf"

"$build/vantrel" "http://127.0.0.1:$port/site/main.swf" &
pids+=($!)
id=
for _ in $(seq 200); do
  id=$(xwininfo -root -tree 2>/dev/null | grep -F '"Vantrel - main.swf"' | head -1 | awk '{print $1}')
  [ -n "$id" ] && break
  sleep 0.05
done
[ -n "$id" ] || { echo "FAIL: no window plays the movie; server saw: $(cat "$work/requests")"; exit 1; }

# The share of the window's pixels near a colour (0..1).
share() { convert "$work/shot.png" -alpha off -fuzz 12% -fill black +opaque "$1" -fill white -opaque "$1" \
  -format '%[fx:mean]' info:; }
for _ in $(seq 40); do
  sleep 0.25
  xwd -silent -id "$id" > "$work/shot.xwd" 2>/dev/null || continue
  convert "$work/shot.xwd" "$work/shot.png" || continue
  red=$(share '#FF0000'); green=$(share '#00A000'); blue=$(share '#0000FF')
  awk -v r="$red" -v g="$green" -v b="$blue" 'BEGIN { exit !(r > 0.01 && g > 0.01 && b > 0.01) }' && break
done
echo "red $red, green $green, blue $blue; server saw: $(tr '\n' ' ' < "$work/requests")"
if [ -n "${VANTREL_SHOT_DIR:-}" ]; then cp "$work/shot.png" "$VANTREL_SHOT_DIR/e2e_http_parts.png"; fi
for part in /site/main.swf /site/second.swf /site/parts/vars.txt /site/data/doc.xml; do
  grep -q "^GET $part" "$work/requests" || { echo "FAIL: $part was not requested"; exit 1; }
done
awk -v r="$red" 'BEGIN { exit !(r > 0.01) }' || { echo "FAIL: the variables' mark is not shown"; exit 1; }
awk -v g="$green" 'BEGIN { exit !(g > 0.01) }' || { echo "FAIL: the XML document's mark is not shown"; exit 1; }
awk -v b="$blue" 'BEGIN { exit !(b > 0.01) }' || { echo "FAIL: the second movie is not shown"; exit 1; }
echo "PASS"
