#!/bin/sh
# How fast `vantrel-tool export` makes a video: the bundled demo movie (4 s, 30 fps) at
# 1280x720, 30 fps, H.264 with its sound, on one core (taskset), against the movie's own
# duration; and, in the same run, ffmpeg encoding the same frames from PNG files
# (exported first, not timed) with the same encoder settings (x264's ultrafast analysis
# with CABAC and three B-frames, CRF 20, one thread): what coding alone costs once the
# pictures exist.
# usage: bench/browser/export_bench.sh [BUILD_DIR] [RUNS]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
runs=${2:-3}
tool=$build/vantrel-tool
demo=$build/Media/Demo/Orbits.swf
[ -x "$tool" ] && [ -f "$demo" ] || { echo "build vantrel-tool and the demo movie first" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed" >&2; exit 2; }
command -v /usr/bin/time >/dev/null || { echo "/usr/bin/time is not installed" >&2; exit 2; }
one_core="taskset -c 0"
command -v taskset >/dev/null || one_core=""

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" HOME="$work"
duration=4.0  # 120 frames at 30 fps

# The same frames as PNG files for ffmpeg (not timed).
"$tool" export "$demo" -o "$work/png/%05d.png" --size 1280x720 > /dev/null

# Wall and CPU seconds of a command: "wall cpu".
measure() {
  start=$(date +%s.%N)
  /usr/bin/time -f '%U %S' -o "$work/cpu" "$@" > /dev/null 2> "$work/err" || { cat "$work/err" >&2; exit 1; }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" '{ printf "%.3f %.3f\n", b - a, $1 + $2 }' "$work/cpu"
}
# The fastest of the runs (wall and CPU each), the one least disturbed by others.
best() { awk 'NF { if (!n || $1 < w) w = $1; if (!n || $2 < c) c = $2; n = 1 } END { print w, c }'; }
best_export=""
best_ffmpeg=""
i=0
while [ "$i" -lt "$runs" ]; do
  i=$((i + 1))
  e=$(measure $one_core "$tool" export "$demo" -o "$work/demo.mp4" --size 1280x720 --fps 30)
  f=$(measure $one_core ffmpeg -v error -y -framerate 30 -i "$work/png/%05d.png" -c:v libx264 -preset ultrafast \
    -x264-params cabac=1:bframes=3:b-adapt=0:deblock=0,0 -crf 20 -pix_fmt yuv420p -threads 1 "$work/ffmpeg.mp4")
  echo "run $i: export $e, ffmpeg from PNG $f (wall cpu seconds)"
  best_export=$(printf '%s\n%s\n' "$best_export" "$e" | best)
  best_ffmpeg=$(printf '%s\n%s\n' "$best_ffmpeg" "$f" | best)
done
# On a machine others share, the one core is not always ours: the CPU time is the speed
# the export has on a core of its own.
echo "$best_export $best_ffmpeg" | awk -v d="$duration" '{
  printf "vantrel-tool export (draw + sound + H.264 + AAC, 1280x720): %.2f s wall, %.2f s CPU: %.1f times faster than the movie (%.1f s) by wall time, %.1f by CPU time\n", $1, $2, d / $1, d, d / $2;
  printf "ffmpeg H.264 from the same frames as PNG files:          %.2f s wall, %.2f s CPU: %.1f times faster than the movie by wall time, %.1f by CPU time\n", $3, $4, d / $3, d / $4;
  printf "export / ffmpeg: %.2f times the wall time, %.2f times the CPU time\n", $1 / $3, $2 / $4;
}'
