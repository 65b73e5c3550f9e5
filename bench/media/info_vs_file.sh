#!/bin/sh
# Throughput of `vantrel-tool info` against `file -b` on the same list of movies, in the
# same run, with a warm cache: plain movies ("FWS") of the corpus, then every movie.
# usage: bench/media/info_vs_file.sh [BUILD_DIR] [CORPUS_DIR] [REPEAT]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
corpus=${2:-$here/../../../shared/corpus}
repeat=${3:-40}
tool=$build/vantrel-tool
[ -x "$tool" ] || { echo "no $tool: build first" >&2; exit 2; }
[ -d "$corpus" ] || { echo "no corpus at $corpus" >&2; exit 2; }
command -v file >/dev/null || { echo "file(1) is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data"

find "$corpus" -name '*.swf' -type f | sort > "$work/all"
: > "$work/plain"
while IFS= read -r f; do
  [ "$(head -c 3 "$f")" = FWS ] && printf '%s\n' "$f" >> "$work/plain"
done < "$work/all"

# The list repeated, so each timing covers thousands of files.
repeated() { i=0; while [ $i -lt "$repeat" ]; do cat "$1"; i=$((i + 1)); done; }
repeated "$work/plain" > "$work/plain.many"
repeated "$work/all" > "$work/all.many"

command -v /usr/bin/time >/dev/null || { echo "/usr/bin/time is not installed" >&2; exit 2; }

run() {  # list command... -> "wall_seconds cpu_seconds"
  list=$1; shift
  tr '\n' '\0' < "$list" | /usr/bin/time -f '%e %U %S' -o "$work/time" xargs -0 "$@" > /dev/null 2>&1 || true
  tail -1 "$work/time" | awk '{ printf "%s %s\n", $1, $2 + $3 }'
}

# Warm the page cache and the header copies of the compressed movies.
run "$work/all" "$tool" info --json > /dev/null
run "$work/all" file -b > /dev/null

# Best of three runs each, by wall time and by CPU time (user + system): on a loaded
# machine the CPU time is the steadier measure.
report() {  # name list
  n=$(wc -l < "$2")
  : > "$work/tool.times"; : > "$work/file.times"
  for _ in 1 2 3; do
    run "$2" "$tool" info --json >> "$work/tool.times"
    run "$2" file -b >> "$work/file.times"
  done
  tw=$(sort -g -k1 "$work/tool.times" | head -1 | cut -d' ' -f1)
  tc=$(sort -g -k2 "$work/tool.times" | head -1 | cut -d' ' -f2)
  fw=$(sort -g -k1 "$work/file.times" | head -1 | cut -d' ' -f1)
  fc=$(sort -g -k2 "$work/file.times" | head -1 | cut -d' ' -f2)
  awk -v name="$1" -v n="$n" -v tw="$tw" -v tc="$tc" -v fw="$fw" -v fc="$fc" 'BEGIN {
    m = 0.005  # /usr/bin/time counts in hundredths; never divide by zero
    if (tw < m) tw = m; if (tc < m) tc = m; if (fw < m) fw = m; if (fc < m) fc = m
    printf "%-20s %6d files | wall: info %7.0f/s  file -b %6.0f/s  %5.1fx | cpu: info %7.0f/s  file -b %6.0f/s  %5.1fx\n",
      name, n, n / tw, n / fw, fw / tw, n / tc, n / fc, fc / tc }'
}
report "plain movies (FWS)" "$work/plain.many"
report "all movies" "$work/all.many"
