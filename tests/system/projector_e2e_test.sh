#!/bin/sh
# A projector built by vantrel-tool pack (with the stub that ships, no --stub) plays
# its movie by itself: under Xvfb its window carries the projector's name and the
# screen shows the movie; vantrel-tool unpack gives the movie back byte for byte.
# usage: projector_e2e_test.sh BUILD_DIR [MOVIE]
# MOVIE defaults to a corpus movie (the build's demo movie when there is no corpus).
set -eu
build=$(cd "$1" && pwd)
movie=${2:-}
if [ -z "$movie" ]; then
  corpus=$(cd "$build/.." && pwd)/../shared/corpus
  movie=$corpus/visual/gradient_issue_9892/test.swf
  if [ ! -f "$movie" ]; then
    echo "corpus movie missing: using the demo movie"
    movie=$build/Media/Demo/Orbits.swf
  fi
fi
work=$(mktemp -d)
cleanup() {
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" SDL_AUDIODRIVER=dummy
unset VANTREL_APP_PATH QT_QPA_PLATFORM || true
mkdir -p "$HOME"

cp "$movie" "$work/source.swf"
"$build/vantrel-tool" pack "$work/source.swf" "$work/Gradient Show" > /dev/null || fail "pack without --stub"
cmp -s "$movie" "$work/source.swf" || fail "pack changed its source movie"
[ -x "$work/Gradient Show" ] || fail "the projector is not executable"
# The same tool reads our projectors back, whatever the Windows-projector option says.
"$build/vantrel-tool" unpack "$work/Gradient Show" "$work/back.swf" --any-exe > /dev/null || fail "unpack"
cmp "$movie" "$work/back.swf" || fail "the unpacked movie differs from the packed one"

# A display of our own: Xvfb picks a free number and writes it to fd 3.
Xvfb -displayfd 3 -noreset -screen 0 800x600x24 -nolisten tcp 3> "$work/display" > "$work/xvfb.log" 2>&1 &
xvfb_pid=$!
i=0
until [ -s "$work/display" ]; do
  i=$((i + 1)); [ $i -lt 100 ] || fail "Xvfb did not start"; sleep 0.1
done
display=:$(head -1 "$work/display")
export DISPLAY=$display
i=0
until xdpyinfo > /dev/null 2>&1; do
  i=$((i + 1)); [ $i -lt 50 ] || fail "Xvfb did not start"; sleep 0.1
done
# The root window starts black; the projector must change that.
xsetroot -solid black 2>/dev/null || true

"$work/Gradient Show" > "$work/projector.log" 2>&1 &
projector_pid=$!
i=0
until xwininfo -root -tree 2>/dev/null | grep -q '"Gradient Show"'; do
  i=$((i + 1))
  if [ $i -ge 100 ] || ! kill -0 $projector_pid 2>/dev/null; then
    cat "$work/projector.log" >&2
    fail "no window titled 'Gradient Show'"
  fi
  sleep 0.1
done
sleep 1
import -window root "$work/shot.png"
kill $projector_pid 2>/dev/null || true
wait $projector_pid 2>/dev/null || true
colours=$(convert "$work/shot.png" -format '%k' info:)
[ "$colours" -gt 1 ] || fail "the screen is blank (one colour)"
echo "projector test passed ($colours colours on screen)"
