#!/bin/sh
# The tools over many files (not a timed test; numbers depend on the machine and its load).
#  1. `vantrel-tool thumbs` over every movie of the corpus with -j 1 and then -j 2 in the
#     same run: wall and CPU time, the ratio of the two and the cost per movie.
#  2. A tree of FILES movies (hard links to corpus movies, or copies of small ones when the
#     corpus is on another file system), 1000 to a folder: `info -r --json-lines` over it
#     and over a tenth of it (files a second; peak memory, which must not grow with the
#     number of files), then `thumbs -r -j 2` over THUMB_FILES of them (peak memory of the
#     parent, of the largest child, and of the whole process tree sampled twice a second).
# It compares the tool against itself: -j 1 against -j 2, a tenth of the tree against
# all of it.
# usage: bench/app/many_files_bench.sh [BUILD_DIR] [CORPUS_DIR] [FILES] [THUMB_FILES]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
corpus=${2:-$here/../../../shared/corpus}
files=${3:-100000}
thumb_files=${4:-$files}
tool=$build/vantrel-tool
[ -x "$tool" ] || { echo "build vantrel-tool first" >&2; exit 2; }
[ -d "$corpus" ] || { echo "no corpus at $corpus" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed" >&2; exit 2; }
command -v python3 >/dev/null || { echo "python3 is not installed" >&2; exit 2; }

# Beside the build, so hard links to a corpus on the same file system are possible.
work=$(mktemp -d -p "$build" many-files-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" HOME="$work"
now() { date +%s.%N; }
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"

# 1. thumbs over the corpus, -j 1 then -j 2.
cp -al "$corpus" "$work/corpus" 2>/dev/null || cp -r "$corpus" "$work/corpus"
for jobs in 1 2; do
  start=$(now)
  /usr/bin/time -f '%U %S %M' -o "$work/thumbs$jobs.time" \
    "$tool" thumbs "$work/corpus" -r --overwrite -j $jobs --out "$work/thumbs$jobs" \
    > "$work/thumbs$jobs.out" 2> "$work/thumbs$jobs.err" || true
  end=$(now)
  echo "$start $end" > "$work/thumbs$jobs.wall"
done
sed "s#/thumbs2/#/thumbs1/#" "$work/thumbs2.out" | cmp -s "$work/thumbs1.out" - || echo "WARNING: -j 1 and -j 2 printed different lines" >&2
awk -v w1="$(cat "$work/thumbs1.wall")" -v w2="$(cat "$work/thumbs2.wall")" \
    -v c1="$(tail -1 "$work/thumbs1.time")" -v c2="$(tail -1 "$work/thumbs2.time")" \
    -v n="$(wc -l < "$work/thumbs1.out")" -v found="$(tail -1 "$work/thumbs1.err")" 'BEGIN {
  split(w1, a, " "); split(w2, b, " "); split(c1, p, " "); split(c2, q, " ");
  t1 = a[2] - a[1]; t2 = b[2] - b[1];
  printf "thumbs over the corpus (%s)\n", found;
  printf "  -j 1: %.1f s wall, %.1f s CPU, %.1f ms wall and %.1f ms CPU per thumbnail\n", t1, p[1] + p[2], 1000 * t1 / n, 1000 * (p[1] + p[2]) / n;
  printf "  -j 2: %.1f s wall, %.1f s CPU, %.1f ms wall per thumbnail\n", t2, q[1] + q[2], 1000 * t2 / n;
  printf "  -j 2 is %.2f times as fast as -j 1\n", t1 / t2;
}'
rm -rf "$work/thumbs1" "$work/thumbs2"

# 2. The tree.
find "$work/corpus" -type f -iname '*.swf' -size -64k | LC_ALL=C sort > "$work/sources.txt"
python3 - "$work/sources.txt" "$work/tree" "$files" <<'PY'
import os, shutil, sys
sources = open(sys.argv[1]).read().split('\n')[:-1]
root, count = sys.argv[2], int(sys.argv[3])
for i in range(count):
    folder = os.path.join(root, "d%03d" % (i // 1000))
    if i % 1000 == 0:
        os.makedirs(folder)
    target = os.path.join(folder, "m%06d.swf" % i)
    source = sources[i % len(sources)]
    try:
        os.link(source, target)
    except OSError:
        shutil.copyfile(source, target)
PY
echo "tree: $files movies in $(ls "$work/tree" | wc -l) folders, from $(wc -l < "$work/sources.txt") corpus movies"

info_run() {  # label, folders...
  label=$1
  shift
  start=$(now)
  /usr/bin/time -f '%M' -o "$work/info.mem" "$tool" info --json-lines -r "$@" > "$work/info.out" 2>/dev/null || true
  end=$(now)
  awk -v a="$start" -v b="$end" -v n="$(wc -l < "$work/info.out")" -v m="$(tail -1 "$work/info.mem")" -v l="$label" 'BEGIN {
    printf "info -r --json-lines over %s: %d files in %.1f s, %.0f files a second, peak memory %.1f MB\n", l, n, b - a, n / (b - a), m / 1024;
  }'
}
tenth=$(( (files / 10 + 999) / 1000 ))
info_run "a tenth of the tree" $(ls -d "$work"/tree/d* | head -n "$tenth")
info_run "the whole tree" "$work/tree"

# thumbs -r -j 2 over THUMB_FILES of the tree: the whole tree's memory sampled meanwhile.
mkdir -p "$work/thumbtree"
folders=$(( (thumb_files + 999) / 1000 ))
for folder in $(ls -d "$work"/tree/d* | head -n "$folders"); do
  cp -al "$folder" "$work/thumbtree/" 2>/dev/null || cp -r "$folder" "$work/thumbtree/"
done
start=$(now)
/usr/bin/time -f '%M' -o "$work/thumbs.mem" "$tool" thumbs "$work/thumbtree" -r -j 2 --out "$work/thumbs" \
  > "$work/thumbs.out" 2> "$work/thumbs.err" &
timer=$!
sleep 0.2
tool_pid=$(pgrep -P "$timer" | head -1 || true)
peak=0
while kill -0 "$timer" 2>/dev/null; do
  if [ -n "$tool_pid" ]; then
    total=$(ps -o rss= -p "$tool_pid" --ppid "$tool_pid" 2>/dev/null | awk '{ s += $1 } END { print s + 0 }')
    [ "$total" -gt "$peak" ] && peak=$total
  fi
  sleep 0.5
done
wait "$timer" || true
end=$(now)
awk -v a="$start" -v b="$end" -v n="$(wc -l < "$work/thumbs.out")" -v m="$(tail -1 "$work/thumbs.mem")" -v p="$peak" 'BEGIN {
  printf "thumbs -r -j 2 over the tree: %d thumbnails in %.1f s (%.1f a second)\n", n, b - a, n / (b - a);
  printf "  peak memory: %.1f MB in one process (the parent or its largest child), %.1f MB for the whole tree at once (sampled)\n", m / 1024, p / 1024;
}'
tail -1 "$work/thumbs.err"
