#!/usr/bin/env bash
# Measures what one input costs each fuzz target: RUNS executions (default 2000) from the
# committed seeds alone (a fresh working folder), -seed=1, processor time (user + system)
# of the whole process. Prints one line per target: runs, seconds, runs per second.
#   fuzz/cost.sh [-n RUNS] [TARGET...]      default: every built target
set -uo pipefail
cd "$(dirname "$0")/.."
. fuzz/targets.sh
runs=2000
if [ "${1:-}" = -n ]; then runs=$2; shift 2; fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(find build-fuzz/fuzz -type f -perm -u+x -printf '%f\n' | sort)
fi
work=$(mktemp -d /dev/shm/fuzzcost.XXXXXX)
trap 'rm -rf "$work"' EXIT
for target in "${targets[@]}"; do
  exe=$(fuzz_exe "$target")
  if [ -z "$exe" ]; then echo "$target: not built"; continue; fi
  fuzz_extra "$target"
  rm -rf "${work:?}/corpus" && mkdir "$work/corpus"
  /usr/bin/time -f '%U %S' -o "$work/time" "$exe" -runs="$runs" -seed=1 -rss_limit_mb=2048 \
    -timeout=120 -print_final_stats=1 "$work/corpus" "${extra[@]}" > "$work/log" 2>&1
  status=$?
  done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
  read -r user sys < "$work/time"
  awk -v t="$target" -v n="${done_runs:-0}" -v u="$user" -v s="$sys" -v st="$status" \
    'BEGIN { c = u + s; printf "%-28s %8d runs %8.1f s %9.1f runs/s%s\n", t, n, c, (c > 0 ? n / c : 0), (st ? "  (exit " st ")" : "") }'
done
