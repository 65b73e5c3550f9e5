#!/usr/bin/env bash
# End to end under Xvfb: the player with its sound device open (SDL's dummy driver) ends
# on a plain `kill` (SIGTERM) within a few seconds.
# Usage: e2e_sigterm.sh BUILD_DIR. Exit 77 = skipped.
set -uo pipefail
build=$1
skip() { echo "SKIP: $*"; exit 77; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v xwininfo >/dev/null || skip "x11-utils (xwininfo) is missing"
movie=$build/Media/Demo/Orbits.swf
[ -f "$movie" ] || skip "the demo movie is not built"

source "$(dirname "$0")/../support/e2e_x11.sh"
e2e_workdir
e2e_start_x
printf '[System]\n"FirstRun"="False"\n' > "$XDG_CONFIG_HOME/Vantrel/options.conf"

"$build/vantrel" "$movie" &
player=$!
pids+=($player)
for _ in $(seq 200); do
  xwininfo -root -tree 2>/dev/null | grep -qF '"Vantrel - Orbits.swf"' && break
  sleep 0.05
done
# The sound device is open once SDL's audio thread runs.
for _ in $(seq 100); do
  grep -qi "sdlaudio" /proc/$player/task/*/comm 2>/dev/null && break
  sleep 0.05
done
grep -qi "sdlaudio" /proc/$player/task/*/comm 2>/dev/null || { echo "FAIL: the player did not open its sound device"; exit 1; }

kill -TERM "$player"
for _ in $(seq 100); do
  kill -0 "$player" 2>/dev/null || break
  sleep 0.05
done
if kill -0 "$player" 2>/dev/null; then
  echo "FAIL: the player is still running 5 s after SIGTERM"
  exit 1
fi
wait "$player"
echo "PASS: SIGTERM ended the player (status $?)"
