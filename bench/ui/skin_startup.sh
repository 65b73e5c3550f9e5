#!/usr/bin/env bash
# Start-up to the demo movie's first frame under Xvfb, with the shipped skin against
# without a skin (the baseline), in the same run: each start is timed from launch until
# the window showing the movie is mapped and a first frame has been drawn into it (the
# movie area is no longer blank). Prints the medians and their ratio.
# Usage: bench/ui/skin_startup.sh [BUILD_DIR] [RUNS]
set -uo pipefail
build=${1:-build}
runs=${2:-5}
command -v Xvfb >/dev/null && command -v xwininfo >/dev/null && command -v import >/dev/null ||
  { echo "needs Xvfb, x11-utils and imagemagick" >&2; exit 2; }
demo=$build/Media/Demo/Orbits.swf
work=$(mktemp -d)
# Xvfb picks a free display and writes its number.
Xvfb -displayfd 3 -screen 0 1024x768x24 -br -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 2; }
export DISPLAY=:$(head -1 "$work/display") QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

one_start() {  # $1: 1 skin, 0 none; prints milliseconds
  local home=$work/home$RANDOM
  export HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache XDG_RUNTIME_DIR=$home/run
  mkdir -p "$XDG_CONFIG_HOME/Vantrel" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  printf '[System]\n"FirstRun"="False"\n"Tips"="False"\n[Window]\n"Skin"=dword:%d\n' "$1" > "$XDG_CONFIG_HOME/Vantrel/options.conf"
  local start end id="" geometry
  start=$(date +%s%N)
  "$build/vantrel" "$demo" &
  local pid=$!
  while :; do
    id=$(xwininfo -root -tree 2>/dev/null | grep -F '"Vantrel - Orbits.swf"' | head -1 | awk '{print $1}')
    if [ -n "$id" ]; then
      # The movie area's centre is drawn once it is no longer the black of a new window.
      geometry=$(xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print x+int(w/2)"x"y+int(h/3)}')
      colour=$(import -window root -crop "1x1+${geometry/x/+}" -format "%[fx:int(255*(r+g+b))]" info: 2>/dev/null)
      [ -n "$colour" ] && [ "$colour" != "0" ] && break
    fi
    sleep 0.05
  done
  end=$(date +%s%N)
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  echo $(((end - start) / 1000000))
}

median() { sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }
plain=(); skinned=()
for _ in $(seq "$runs"); do
  plain+=("$(one_start 0)")
  skinned+=("$(one_start 1)")
done
p=$(printf '%s\n' "${plain[@]}" | median)
s=$(printf '%s\n' "${skinned[@]}" | median)
echo "no skin (baseline): median ${p} ms  [${plain[*]}]"
echo "shipped skin:       median ${s} ms  [${skinned[*]}]"
awk -v s="$s" -v p="$p" 'BEGIN{printf "ratio skin / no skin: %.2f (limit 1.5)\n", s/p}'
