#!/usr/bin/env bash
# Start-up to the first frame on screen, whole process, under Xvfb: `vantrel` on the
# demo movie against a bare Qt window (bench_bare_window) started the same way. Each
# run gets a fresh home; the clock stops when the window is mapped and its middle
# shows more than one colour (for vantrel: the movie is painted).
# Usage: bench/app/first_frame.sh [BUILD_DIR] [RUNS]
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-7}
command -v Xvfb >/dev/null || { echo "Xvfb is missing" >&2; exit 1; }

display=:$((150 + RANDOM % 50))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
export DISPLAY=$display SDL_AUDIODRIVER=dummy
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

now_ms() { date +%s%3N; }

# Prints the milliseconds from launch until the window titled $1 shows a painted middle.
measure() {
  local title=$1; shift
  local work; work=$(mktemp -d)
  mkdir -p "$work/config/Vantrel" "$work/run"; chmod 700 "$work/run"
  printf '[System]\n"FirstRun"="False"\n' > "$work/config/Vantrel/options.conf"
  local start; start=$(now_ms)
  HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache \
    XDG_RUNTIME_DIR=$work/run "$@" >/dev/null 2>&1 &
  local pid=$! id="" elapsed=""
  for _ in $(seq 2000); do
    id=$(xwininfo -name "$title" 2>/dev/null | awk '/Window id:/ {print $4}')
    if [ -n "$id" ] && xwininfo -id "$id" 2>/dev/null | grep -q IsViewable; then
      if xwd -silent -id "$id" 2>/dev/null > "$work/s.xwd" &&
         [ "$(convert "$work/s.xwd" -gravity center -crop 50%x50%+0+0 +repage -format %k info: 2>/dev/null)" -gt 1 ]; then
        elapsed=$(( $(now_ms) - start ))
        break
      fi
    fi
    sleep 0.005
  done
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  rm -rf "$work"
  echo "${elapsed:-timeout}"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

bare=(); player=()
for _ in $(seq "$runs"); do
  bare+=("$(measure "Bare Qt window" "$build/bench/app/bench_bare_window")")
  player+=("$(measure "Vantrel - Orbits.swf" "$build/vantrel" "$build/Media/Demo/Orbits.swf")")
done
bare_median=$(printf '%s\n' "${bare[@]}" | median)
player_median=$(printf '%s\n' "${player[@]}" | median)
echo "bare Qt window: ${bare[*]} ms (median $bare_median)"
echo "vantrel demo:   ${player[*]} ms (median $player_median)"
awk -v p="$player_median" -v b="$bare_median" 'BEGIN { printf "ratio vantrel / bare: %.2f\n", p / b }'
