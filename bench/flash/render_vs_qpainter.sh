#!/usr/bin/env bash
# Drawing speed of the rasterizer against the first release's QPainter renderer, in
# the same run: builds render_bench.cpp here and in a worktree of the baseline commit
# (default: the last commit that drew with QPainter), runs both on the same movies
# and prints each movie's speed-up (old ms / new ms) and the new x_realtime.
#   bench/flash/render_vs_qpainter.sh [BUILD] [BASELINE_COMMIT] [FILTER]
# Environment:
#   VANTREL_QPAINTER_BASELINE=DIR  keep the baseline's worktree and build in DIR and
#                                  reuse them on later runs (otherwise a temporary
#                                  one is built from scratch and removed at the end)
#   VANTREL_BENCH_RUNS=N           run both sides N times, alternating (default 1)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
baseline=${2:-6f98bd0}
filter=${3:-.}
runs=${VANTREL_BENCH_RUNS:-1}
# The baseline's build sits inside its worktree like every other checkout's, so
# compiler caches shared between checkouts (ccache with a common base folder) hit.
if [[ -n "${VANTREL_QPAINTER_BASELINE:-}" ]]; then
  mkdir -p "$VANTREL_QPAINTER_BASELINE"
  old=$(cd "$VANTREL_QPAINTER_BASELINE" && pwd)
  want=$(git rev-parse --verify "$baseline^{commit}")
  if [[ -d "$old/tree" ]] && [[ "$(git -C "$old/tree" rev-parse HEAD 2>/dev/null)" != "$want" ]]; then
    echo "baseline worktree $old/tree is not at $baseline: rebuilding it" >&2
    git worktree remove --force "$old/tree" >/dev/null 2>&1 || rm -rf "$old/tree"
    git worktree prune
  fi
else
  old=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-qpainter.XXXXXX")
  cleanup() { git worktree remove --force "$old/tree" >/dev/null 2>&1 || true; rm -rf "$old"; }
  trap cleanup EXIT
fi

if [[ ! -d "$old/tree" ]]; then
  git worktree add --detach "$old/tree" "$baseline" >/dev/null
fi
# Copy only when changed, so a kept build is not relinked for nothing.
cmp -s bench/flash/render_bench.cpp "$old/tree/bench/flash/render_bench.cpp" ||
  cp bench/flash/render_bench.cpp "$old/tree/bench/flash/"
if ! grep -q 'add_executable(render_bench' "$old/tree/bench/flash/CMakeLists.txt"; then
  cat >> "$old/tree/bench/flash/CMakeLists.txt" <<'CMAKE'
add_executable(render_bench render_bench.cpp)
target_compile_definitions(render_bench PRIVATE VANTREL_CORPUS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus")
target_link_libraries(render_bench PRIVATE vantrel_flash benchmark::benchmark vantrel_warnings)
CMAKE
fi
# The corpus sits beside the checkout; the baseline's needs it at the same place.
[[ -e "$old/shared" ]] || ln -s "$(cd .. && pwd)/shared" "$old/shared"
if [[ ! -f "$old/tree/build/build.ninja" ]]; then
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S "$old/tree" -B "$old/tree/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_BENCH=ON "${launcher[@]}" >/dev/null
fi
cmake --build "$old/tree/build" -j2 --target render_bench >/dev/null
cmake --build "$build" -j2 --target render_bench >/dev/null

run() { "$1" --benchmark_filter="$filter" --benchmark_format=csv 2>/dev/null | grep '^"BM_Draw'; }
for ((i = 1; i <= runs; i++)); do
  new_csv=$(run "$build/bench/flash/render_bench")
  old_csv=$(run "$old/tree/build/bench/flash/render_bench")
  [[ $runs -gt 1 ]] && echo "run $i of $runs"
  # csv columns: name,iterations,real_time,cpu_time,time_unit,...,x_realtime (last)
  python3 - "$new_csv" "$old_csv" <<'PY'
import csv, io, sys
def read(text):
    rows = {}
    for row in csv.reader(io.StringIO(text)):
        rows[row[0]] = (float(row[3]), float(row[-1]) if row[-1] else 0.0)
    return rows
new, old = read(sys.argv[1]), read(sys.argv[2])
print(f"{'movie':58} {'new ms':>8} {'old ms':>8} {'speed-up':>8} {'x realtime':>10}")
for name, (ms, realtime) in new.items():
    if name not in old: continue
    print(f"{name:58} {ms:8.3f} {old[name][0]:8.3f} {old[name][0] / ms:8.2f} {realtime:10.1f}")
PY
done
