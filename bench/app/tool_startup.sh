#!/bin/sh
# Whole-process time of one short vantrel-tool command against `file -b` on the same
# movie, in the same run: `vantrel-tool --version`, `vantrel-tool info MOVIE` and
# `file -b MOVIE`, each started REPEAT times; best of three rounds per command.
# usage: bench/app/tool_startup.sh [BUILD_DIR] [MOVIE] [REPEAT]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
movie=${2:-$here/../../../shared/corpus/visual/gradient_issue_9892/test.swf}
repeat=${3:-200}
tool=$build/vantrel-tool
[ -x "$tool" ] || { echo "no $tool: build first" >&2; exit 2; }
[ -f "$movie" ] || movie=$build/Media/Demo/Orbits.swf
command -v file > /dev/null || { echo "file(1) is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"

now() { date +%s%N; }
round() {  # command... -> nanoseconds for REPEAT runs
  start=$(now)
  i=0
  while [ $i -lt "$repeat" ]; do "$@" > /dev/null 2>&1; i=$((i + 1)); done
  echo $(( $(now) - start ))
}
best() {  # command... -> best of three rounds, microseconds per run
  b=
  for _ in 1 2 3; do
    t=$(round "$@")
    if [ -z "$b" ] || [ "$t" -lt "$b" ]; then b=$t; fi
  done
  echo $(( b / repeat / 1000 ))
}

"$tool" info "$movie" > /dev/null  # warm the page cache
file -b "$movie" > /dev/null
f=$(best file -b "$movie")
v=$(best "$tool" --version)
n=$(best "$tool" info "$movie")
# The engine helper carries every library, as the tool did before the split.
e=0
[ -x "$build/vantrel-tool-engine" ] && e=$(best "$build/vantrel-tool-engine" info "$movie")
echo "movie: $movie ($repeat runs per round, best of 3)"
awk -v f="$f" -v v="$v" -v n="$n" -v e="$e" 'BEGIN {
  printf "file -b MOVIE                    %6d us/run  1.00x\n", f
  printf "vantrel-tool --version           %6d us/run  %.2fx file -b\n", v, v / f
  printf "vantrel-tool info MOVIE          %6d us/run  %.2fx file -b\n", n, n / f
  if (e > 0) printf "  same, every library loaded     %6d us/run  %.2fx file -b\n", e, e / f }'
echo "libraries loaded by vantrel-tool:"
ldd "$tool" | awk '{ print "  " $1 }' | grep -Ei 'qt|avcodec|avformat|sdl' || echo "  (no Qt, FFmpeg or SDL)"
