#!/usr/bin/env bash
# End to end under Xvfb: a folder of 20 corpus movies (distinct names, two subfolders)
# is the user's Flash folder; vantrel started without a file shows it as the browser
# page. Checks: every name in browse.xml in the designed order and format, thumbnails
# in the cache within 10 s, a click on a subfolder shows it, Back returns, a click on a
# movie plays it, and the page (not the playlist pane) fills the window meanwhile.
# Usage: e2e_browser.sh BUILD_DIR CORPUS_DIR. Exit 77 = skipped.
set -uo pipefail
build=$1
corpus=$2
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; [ -n "${work:-}" ] && [ -n "${VANTREL_SHOT_DIR:-}" ] && cp "$work"/*.png "$VANTREL_SHOT_DIR/" 2>/dev/null; exit 1; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v xdotool >/dev/null || skip "xdotool is not installed"
command -v xwininfo >/dev/null && command -v import >/dev/null || skip "x11 tools or imagemagick are missing"
[ -d "$corpus/visual" ] || skip "corpus not found under $corpus"
mapfile -t movies < <(find "$corpus/visual" -name test.swf | grep -v avm2 | sort | head -20)
[ ${#movies[@]} -eq 20 ] || skip "fewer than 20 corpus movies"

source "$(dirname "$0")/../support/e2e_x11.sh"
e2e_workdir

e2e_start_x

folder=$work/Flash/
mkdir -p "$folder/Games" "$folder/Intros"
# Sixteen movies at the top (sorted by name), two in each subfolder.
for i in "${!movies[@]}"; do
  name=$(basename "$(dirname "${movies[$i]}")")
  if [ "$i" -lt 16 ]; then cp "${movies[$i]}" "$folder/$(printf '%02d' "$i")_$name.swf"
  elif [ "$i" -lt 18 ]; then cp "${movies[$i]}" "$folder/Games/$name.swf"
  else cp "${movies[$i]}" "$folder/Intros/$name.swf"; fi
done
printf '[System]\n"FirstRun"="False"\n[Recent]\n"MyFlash"="%s"\n[Browser]\n"SortBy"="Name"\n' "$folder" \
  > "$XDG_CONFIG_HOME/Vantrel/options.conf"

window_of() { xwininfo -root -tree 2>/dev/null | grep -F "\"Vantrel - $1\"" | head -1 | awk '{print $1}'; }
wait_window() {
  for _ in $(seq 200); do
    id=$(window_of "$1")
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}

started=$(date +%s.%N)
"$build/vantrel" &
pids+=($!)
id=$(wait_window "Browse Media") || fail "the browser page never showed"
xml=$XDG_DATA_HOME/Vantrel/browse.xml
for _ in $(seq 100); do [ -f "$xml" ] && break; sleep 0.05; done
[ -f "$xml" ] || fail "no browse.xml"

# browse.xml: the two folders first, then the sixteen movies in name order, each with
# JPEG, TITLE and TYPE; FOUND counts the movies only.
grep -q "<FOUND>Media Files Found: 16</FOUND>" "$xml" || fail "FOUND is not 16: $(grep FOUND "$xml")"
grep -q "<FOLDER>$folder</FOLDER>" "$xml" || fail "FOLDER is not $folder"
mapfile -t titles < <(grep -o '<TITLE>[^<&]*' "$xml" | sed 's/<TITLE>//')
[ "${titles[0]}" = Games ] && [ "${titles[1]}" = Intros ] || fail "the folders do not come first: ${titles[*]:0:3}"
for i in $(seq 0 15); do
  want=$(printf '%02d_' "$i")
  [[ "${titles[$((i + 2))]}" == "$want"* ]] || fail "entry $((i + 2)) is ${titles[$((i + 2))]}, not $want..."
done
flat=$(printf '%s' "${folder}00_" | tr '/' '#')
grep -qF "<JPEG>$flat" "$xml" || fail "the first movie's JPEG element is not the flattened path $flat..."
[ "$(grep -c '<TYPE>1</TYPE>' "$xml")" = 16 ] && [ "$(grep -c '<TYPE>3</TYPE>' "$xml")" = 2 ] || fail "wrong TYPE counts"

# Thumbnails appear in the cache while the window stays up.
cache="$XDG_CACHE_HOME/Vantrel Cache"
for _ in $(seq 200); do
  [ "$(find "$cache" -name '*.swf.jpg' 2>/dev/null | wc -l)" -ge 16 ] && break
  sleep 0.05
done
made=$(find "$cache" -name '*.swf.jpg' | wc -l)
elapsed=$(echo "$(date +%s.%N) - $started" | bc)
[ "$made" -ge 16 ] || fail "only $made of 16 thumbnails after 10 s"
echo "16 thumbnails in ${elapsed} s after start"

# Tiles are 150 x 132 pixels in rows; a folder tile draws its folder picture 35 pixels
# right of and 26 below the tile's corner. The first row holds the two folders, then the
# movies, so tile n of the first row lies 150 * n pixels right of the first.
sleep 0.3
import -window root "$work/page.png"
bbox=$(convert "$work/page.png" -fill black +opaque "rgb(232,185,74)" -trim -format '%X %Y' info: 2>/dev/null)
read -r fx fy <<< "$(echo "$bbox" | tr -d '+')"
[ -n "${fx:-}" ] && [ -n "${fy:-}" ] || fail "the folder tiles are not on the screen"
tile_x=$((fx - 35)) tile_y=$((fy - 26))
click_tile() { xdotool mousemove "$((tile_x + $1 * 150 + 75))" "$((tile_y + 50))" click 1; }

click_tile 0
for _ in $(seq 100); do grep -q "<FOLDER>${folder}Games/</FOLDER>" "$xml" && break; sleep 0.05; done
grep -q "<FOLDER>${folder}Games/</FOLDER>" "$xml" || fail "a click on Games did not show it"
grep -q "<FOUND>Media Files Found: 2</FOUND>" "$xml" || fail "Games does not list its two movies"
xdotool key --window "$id" alt+Left
for _ in $(seq 100); do grep -q "<FOLDER>$folder</FOLDER>" "$xml" && break; sleep 0.05; done
grep -q "<FOLDER>$folder</FOLDER>" "$xml" || fail "Back did not return to the folder"
import -window root "$work/back.png"

# A click on a movie plays it.
click_tile 3
movie_id=$(wait_window "${titles[3]}") || { import -window root "$work/click.png"; fail "a click on ${titles[3]} did not play it"; }
import -window root "$work/movie.png"
if [ -n "${VANTREL_SHOT_DIR:-}" ]; then cp "$work"/*.png "$VANTREL_SHOT_DIR/"; fi
echo "PASS"
