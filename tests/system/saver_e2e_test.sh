#!/bin/sh
# vantrel-saver run by itself: it covers the screen with the movie chosen in the
# options and ends at the first key press.
# usage: saver_e2e_test.sh BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
work=$(mktemp -d)
cleanup() {
  [ -n "${saver_pid:-}" ] && kill "$saver_pid" 2>/dev/null || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" SDL_AUDIODRIVER=dummy
unset VANTREL_APP_PATH QT_QPA_PLATFORM || true
mkdir -p "$XDG_CONFIG_HOME/Vantrel"
# The movie the player's Flash Screen Saver chose.
printf '[ScreenSaver]\n"FileName"="%s"\n' "$build/Media/Demo/Orbits.swf" > "$XDG_CONFIG_HOME/Vantrel/options.conf"

Xvfb -displayfd 3 -noreset -screen 0 640x480x24 -nolisten tcp 3> "$work/display" > /dev/null 2>&1 &
xvfb_pid=$!
i=0
until [ -s "$work/display" ]; do
  i=$((i + 1)); [ $i -lt 100 ] || fail "Xvfb did not start"; sleep 0.1
done
export DISPLAY=:$(head -1 "$work/display")

"$build/vantrel-saver" > "$work/saver.log" 2>&1 &
saver_pid=$!
i=0
until window=$(xdotool search --name '^Vantrel Screen Saver$' 2>/dev/null | head -1) && [ -n "$window" ]; do
  i=$((i + 1))
  if [ $i -ge 100 ] || ! kill -0 $saver_pid 2>/dev/null; then cat "$work/saver.log" >&2; fail "no saver window"; fi
  sleep 0.1
done
sleep 0.5
geometry=$(xdotool getwindowgeometry "$window" | awk '/Geometry/ { print $2 }')
[ "$geometry" = 640x480 ] || fail "the saver covers $geometry, not the 640x480 screen"
grep -q 'no movie chosen' "$work/saver.log" && fail "the saver did not find the chosen movie"

xdotool windowfocus --sync "$window" key space 2>/dev/null || xdotool key space
i=0
while kill -0 $saver_pid 2>/dev/null; do
  i=$((i + 1)); [ $i -lt 50 ] || fail "a key press did not end the saver"; sleep 0.1
done
saver_pid=
echo "saver test passed"
