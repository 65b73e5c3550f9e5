#!/bin/sh
# The README's recipe for splitting a collection over machines with GNU parallel, run
# with this machine as its own remote (--sshlogin :): the merged output must equal a run
# of vantrel-tool on one machine. Exits 77 (skipped) when parallel is not installed.
# usage: parallel_recipe_test.sh BUILD_DIR
set -eu
build=${1:?usage: parallel_recipe_test.sh BUILD_DIR}
tool=$build/vantrel-tool
command -v parallel >/dev/null 2>&1 || { echo "GNU parallel is not installed (Debian package parallel): skipped"; exit 77; }
[ -x "$tool" ] || { echo "vantrel-tool is not built: skipped"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"

# A small collection in three shares, from the program's own movies, with a file that
# is no movie among them.
col="$work/collection"
n=0
for movie in $(find "$build/Media" -name '*.swf' | LC_ALL=C sort); do
  n=$((n + 1))
  share=$(printf 'share%d' $((n % 3)))
  mkdir -p "$col/$share/sub"
  cp "$movie" "$col/$share/$(basename "$movie")"
  cp "$movie" "$col/$share/sub/copy$n.swf"
done
[ "$n" -gt 0 ] || { echo "no movies in $build/Media"; exit 1; }
echo "plain text" > "$col/share1/broken.swf"

fail() { echo "FAIL: $*"; exit 1; }

# 1. Facts of every file: the sorted list split over the machines, output kept in order.
find "$col" -type f \( -iname '*.swf' -o -iname '*.flv' -o -iname '*.exe' -o -iname '*.spl' \) |
  LC_ALL=C sort > "$work/files.txt"
parallel --will-cite --sshlogin : --keep-order -n 5 -a "$work/files.txt" \
  "$tool" info --json-lines -j 1 > "$work/merged.jsonl" || true
"$tool" info --json-lines -r "$col" > "$work/single.jsonl" || true
[ -s "$work/single.jsonl" ] || fail "the single run printed nothing"
cmp "$work/single.jsonl" "$work/merged.jsonl" || fail "merged facts differ from one machine's"
[ "$(wc -l < "$work/merged.jsonl")" -eq "$(wc -l < "$work/files.txt")" ] || fail "not one line per file"

# 2. Thumbnails: one share (top-level folder) per job, each under its own part of --out.
find "$col" -mindepth 1 -maxdepth 1 -type d | LC_ALL=C sort |
  parallel --will-cite --sshlogin : "$tool" thumbs {} -r -j 1 --out "$work/merged-thumbs/{/}" \
  > /dev/null 2>&1 || true
"$tool" thumbs "$col" -r --out "$work/single-thumbs" > /dev/null 2>&1 || true
[ -n "$(find "$work/single-thumbs" -name '*.jpg')" ] || fail "no thumbnails made"
diff -r "$work/single-thumbs" "$work/merged-thumbs" || fail "merged thumbnails differ from one machine's"
echo "parallel recipe: $(wc -l < "$work/files.txt") files, merged output equals one machine's"
