#!/usr/bin/env bash
# Playing the 400x300 H.263 corpus video (sound included) in Vantrel against
# `ffmpeg -i FILE -f null -` decoding the same file, in the same run. Prints each one's
# CPU seconds per second of video (the share of one core) and their ratio.
#   bench/flash/flv_playback_vs_ffmpeg.sh [BUILD] [CORPUS]
set -euo pipefail
build=${1:-build}
corpus=${2:-../shared/corpus}
file="$corpus/flv/h263_400x300_25fps_mp3_44k.flv"
[ -f "$file" ] || { echo "no $file"; exit 0; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed"; exit 0; }
rounds=20
# CPU time of ffmpeg over several rounds (user + system, from bash's times).
start=$(date +%s.%N)
ffmpeg_cpu=$( { TIMEFORMAT='%U %S'; time (for _ in $(seq $rounds); do ffmpeg -v error -threads 1 -i "$file" -f null - ; done) ; } 2>&1 | awk '{print $1 + $2}')
ours=$("$build/bench/flash/audio_video_bench" --benchmark_filter='BM_FlvPlayback400x300|BM_FfmpegDecode400x300' \
        --benchmark_format=csv 2>/dev/null | awk -F, '/BM_FlvPlayback400x300/ {print $NF}' | tr -d '"')
length=2.025
awk -v f="$ffmpeg_cpu" -v r="$rounds" -v l="$length" -v o="$ours" 'BEGIN {
  fs = f / r / l;
  printf "ffmpeg -f null:    %.4f core share (includes process start)\n", fs;
  printf "vantrel playback:  %s core share\n", o;
  if (fs > 0 && o != "") printf "ratio vantrel / ffmpeg: %.2f\n", o / fs;
}'
