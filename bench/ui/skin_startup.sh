#!/usr/bin/env bash
# Start-up to the demo movie's first frame under Xvfb, with the shipped skin against
# without a skin (the baseline), in the same run, the two kinds of start taking turns
# after one warm-up start of each. Each start is timed from launch until the window
# showing the movie is mapped and a first frame has been drawn into it (the movie
# area's centre is no longer the black of a new window): the wall time, and the CPU time
# the player had used by then (user + system, from /proc), which the load of other
# programs on the machine does not inflate. A start that shows no frame within a minute
# counts as failed and is left out. Prints every time, the medians and their ratios.
# Usage: bench/ui/skin_startup.sh [BUILD_DIR] [RUNS]
set -uo pipefail
build=${1:-build}
runs=${2:-7}
command -v Xvfb >/dev/null && command -v xwininfo >/dev/null && command -v import >/dev/null ||
  { echo "needs Xvfb, x11-utils and imagemagick" >&2; exit 2; }
demo=$build/Media/Demo/Orbits.swf
[ -x "$build/vantrel" ] && [ -f "$demo" ] || { echo "build $build first (vantrel and the demo movie)" >&2; exit 2; }
work=$(mktemp -d)
# Xvfb picks a free display and writes its number; -noreset keeps it up between starts.
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -br -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 2; }
export DISPLAY=:$(head -1 "$work/display") QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy VANTREL_WEB_HOST=127.0.0.1:9
for _ in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
ticks=$(getconf CLK_TCK)

# CPU milliseconds (user + system) the process has used so far.
cpu_ms() { awk -v t="$ticks" '{ sub(/^.*\) /, ""); print int(($12 + $13) * 1000 / t) }' "/proc/$1/stat" 2>/dev/null; }

one_start() {  # $1: 1 skin, 0 none; prints "wall_ms cpu_ms", or "failed"
  local home=$work/home$RANDOM$RANDOM
  export HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache XDG_RUNTIME_DIR=$home/run
  mkdir -p "$XDG_CONFIG_HOME/Vantrel" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  printf '[System]\n"FirstRun"="False"\n"Tips"="False"\n"OneInstance"="False"\n[Update]\n"Auto"="False"\n[Window]\n"Skin"=dword:%d\n' \
    "$1" >"$XDG_CONFIG_HOME/Vantrel/options.conf"
  local start end id="" spot colour cpu="" result=failed
  start=$(date +%s%N)
  "$build/vantrel" "$demo" >/dev/null 2>&1 &
  local pid=$!
  local deadline=$((start + 60000000000))
  while kill -0 "$pid" 2>/dev/null && [ "$(date +%s%N)" -lt "$deadline" ]; do
    if [ -z "$id" ]; then
      id=$(xwininfo -root -tree 2>/dev/null | grep -F '"Vantrel - Orbits.swf"' | head -1 | awk '{print $1}')
      # A point a third of the way down the middle of the window: inside the movie.
      [ -n "$id" ] && spot=$(xwininfo -id "$id" 2>/dev/null | awk '/Width:/{w=$2} /Height:/{h=$2} END{print int(w/2)"+"int(h/3)}')
    fi
    if [ -n "$id" ]; then
      colour=$(import -window "$id" -crop "1x1+$spot" -format "%[fx:int(255*(r+g+b))]" info: 2>/dev/null)
      if [ -n "$colour" ] && [ "$colour" != "0" ]; then
        end=$(date +%s%N)
        cpu=$(cpu_ms "$pid")
        result="$(((end - start) / 1000000)) $cpu"
        break
      fi
    fi
    sleep 0.02
  done
  kill -KILL "$pid" 2>/dev/null  # SIGTERM is caught by the sound library and ignored
  wait "$pid" 2>/dev/null
  echo "$result"
}

median() { sort -n | awk '{a[NR]=$1} END{ if (NR) print a[int((NR+1)/2)]; else print "none" }'; }
one_start 0 >/dev/null
one_start 1 >/dev/null
plain_wall=(); plain_cpu=(); skin_wall=(); skin_cpu=(); failed=0
for _ in $(seq "$runs"); do
  for skin in 0 1; do
    read -r wall cpu <<<"$(one_start "$skin")"
    if [ "$wall" = failed ]; then failed=$((failed + 1)); continue; fi
    if [ "$skin" = 0 ]; then plain_wall+=("$wall"); plain_cpu+=("$cpu")
    else skin_wall+=("$wall"); skin_cpu+=("$cpu"); fi
  done
done
pw=$(printf '%s\n' "${plain_wall[@]}" | median); pc=$(printf '%s\n' "${plain_cpu[@]}" | median)
sw=$(printf '%s\n' "${skin_wall[@]}" | median); sc=$(printf '%s\n' "${skin_cpu[@]}" | median)
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg); failed starts: $failed"
echo "no skin (baseline): median wall ${pw} ms, CPU ${pc} ms  [wall ${plain_wall[*]}] [cpu ${plain_cpu[*]}]"
echo "shipped skin:       median wall ${sw} ms, CPU ${sc} ms  [wall ${skin_wall[*]}] [cpu ${skin_cpu[*]}]"
if [ "$pw" = none ] || [ "$sw" = none ]; then echo "no ratio: a kind of start never showed a frame"; exit 1; fi
awk -v sw="$sw" -v pw="$pw" -v sc="$sc" -v pc="$pc" \
  'BEGIN{printf "ratio skin / no skin: wall %.2f, CPU %.2f (limit 1.5)\n", sw/pw, (pc > 0 ? sc/pc : 0)}'
