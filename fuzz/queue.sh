#!/usr/bin/env bash
# Runs fuzz targets one after another, a million executions each (FUZZ_RUNS), with their
# committed seeds and tokens and the working corpus in fuzz-out/TARGET; one libFuzzer log
# per target in LOGS (default /work/fuzzlogs) as TARGET.log, and a line per start and end
# in LOGS/queue.log. Normal priority on purpose: the queue is meant to have a core.
#   fuzz/queue.sh TARGET...     (after `scripts/fuzz 1` or `cmake --build build-fuzz` has built them)
# FUZZ_FLAGS adds libFuzzer options to every target of this queue (say -entropic=0).
# A file LOGS/queue.pause holds the queue between targets while it exists.
set -uo pipefail
cd "$(dirname "$0")/.."
. fuzz/targets.sh
logs=${FUZZ_LOGS:-/work/fuzzlogs}
runs=${FUZZ_RUNS:-1000000}
read -r -a flags <<< "${FUZZ_FLAGS:-}"
mkdir -p "$logs"
# A smaller quarantine than ASan's 256 MB: freed memory is reused sooner, which halves the
# cost of the targets that set up a script runtime per input (page faults), and still
# catches a use after free within the last 64 MB freed.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64}
say() { echo "$(date -u +%H:%M:%S) $*" >> "$logs/queue.log"; }
for target in "$@"; do
  while [ -e "$logs/queue.pause" ]; do sleep 30; done
  exe=$(fuzz_exe "$target")
  if [ -z "$exe" ]; then say "no $target"; continue; fi
  fuzz_extra "$target"
  mkdir -p "fuzz-out/$target"
  log=$logs/$target.log
  [ -e "$log" ] && mv "$log" "$logs/$target.$(date -u +%H%M%S).log"
  say "start $target${FUZZ_FLAGS:+ ($FUZZ_FLAGS)}"
  start=$(date +%s)
  # Crash, leak and timeout files land beside the working corpus, as fuzz-out/TARGET-crash-*.
  # No allocator purging: past half the RSS limit libFuzzer would return memory to the
  # system every second, and the targets with a script runtime then spend a third of
  # their time in madvise.
  "$exe" -runs="$runs" -rss_limit_mb=2048 -timeout=120 -print_final_stats=1 \
    -purge_allocator_interval=-1 \
    -artifact_prefix="fuzz-out/$target-" "${flags[@]}" "fuzz-out/$target" "${extra[@]}" > "$log" 2>&1
  status=$?
  units=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  say "end $target: exit $status, ${units:-?} executions, $(( $(date +%s) - start )) s"
done
say "queue done"
