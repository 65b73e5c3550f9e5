#!/bin/sh
# Thumbnails per second of `vantrel-tool thumbs` over every movie of the corpus (whole
# command: search, identification, loading, the chosen frame, JPEG, "Flash Info.xml"),
# next to the same count of bare libjpeg-turbo writes of 120x90 pictures in the same
# run; then the per-movie CPU cost (median, 90th percentile) from bench_thumbnails.
# The corpus is linked into a temporary tree, so the thumbnails never land in it.
# usage: bench/browser/thumbs_bench.sh [BUILD_DIR] [CORPUS_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
corpus=${2:-$here/../../../shared/corpus}
tool=$build/vantrel-tool
baseline=$build/bench/browser/bench_thumbnails
[ -x "$tool" ] && [ -x "$baseline" ] || { echo "build vantrel-tool and bench_thumbnails first" >&2; exit 2; }
[ -d "$corpus" ] || { echo "no corpus at $corpus" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" HOME="$work"
cp -al "$corpus" "$work/movies" 2>/dev/null || cp -r "$corpus" "$work/movies"

command -v /usr/bin/time >/dev/null || { echo "/usr/bin/time is not installed" >&2; exit 2; }
now() { date +%s.%N; }
start=$(now)
/usr/bin/time -f '%U %S' -o "$work/thumbs.cpu" \
  "$tool" thumbs "$work/movies" -r --overwrite --info-xml > "$work/thumbs.out" 2> "$work/thumbs.err" || true
end=$(now)
count=$(wc -l < "$work/thumbs.out")
[ "$count" -gt 0 ] || { echo "no thumbnails written" >&2; cat "$work/thumbs.err" >&2; exit 1; }
start_bare=$(now)
/usr/bin/time -f '%U %S' -o "$work/bare.cpu" "$baseline" --jpeg-writes "$count" "$work/bare"
end_bare=$(now)
cpu=$(awk '{ print $1 + $2 }' "$work/thumbs.cpu")
cpu_bare=$(awk '{ print $1 + $2 }' "$work/bare.cpu")
awk -v n="$count" -v a="$start" -v b="$end" -v c="$start_bare" -v d="$end_bare" -v p="$cpu" -v q="$cpu_bare" 'BEGIN {
  t = b - a; u = d - c;
  printf "vantrel-tool thumbs: %d thumbnails in %.2f s wall (%.0f per second), %.2f s CPU\n", n, t, n / t, p;
  printf "bare libjpeg-turbo:  %d 120x90 writes in %.2f s wall (%.0f per second), %.2f s CPU\n", n, u, n / u, q;
  printf "thumbs / bare: %.1f times the wall time, %.1f times the CPU time\n", t / u, (q > 0 ? p / q : 0);
}'
tail -3 "$work/thumbs.err"
"$baseline" --per-movie "$work/movies"
