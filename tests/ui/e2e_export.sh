#!/usr/bin/env bash
# End to end under Xvfb, driven from the keyboard as a user would: File > Export Video
# on the demo movie, Export in the dialog; the progress window comes and goes, an MP4
# of the movie's four seconds with H.264 pictures and AAC sound is written, and its
# folder is handed to the file manager (a stand-in xdg-open here records it).
# Screenshots stay in BUILD_DIR/tests/ui/artifacts/.
# Usage: e2e_export.sh BUILD_DIR. Exit 77 = skipped.
set -uo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v xwininfo >/dev/null || skip "x11-utils is missing"
command -v xdotool >/dev/null || skip "xdotool is missing"
command -v import >/dev/null || skip "imagemagick is missing"
command -v ffprobe >/dev/null || skip "ffprobe is missing"
demo=$build/Media/Demo/Orbits.swf
[ -f "$demo" ] || skip "the demo movie is not built"
artifacts=$build/tests/ui/artifacts
mkdir -p "$artifacts"

source "$here/../support/e2e_x11.sh"
e2e_workdir
e2e_start_x
export VANTREL_WEB_HOST=127.0.0.1:9

out=$work/videos
mkdir -p "$out" "$work/bin"
printf '#!/bin/sh\necho "$@" >>"%s/opened.txt"\n' "$work" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
export PATH=$work/bin:$PATH
printf '[System]\n"FirstRun"="False"\n"Tips"="False"\n[Export]\n"Folder"="%s/"\n' "$out" \
  >"$XDG_CONFIG_HOME/Vantrel/options.conf"
cp "$demo" "$work/Orbits.swf"
"$build/vantrel" "$work/Orbits.swf" &
pids+=($!)

player=$(e2e_wait_named "Vantrel - Orbits.swf") || fail "no player window"
sleep 1

# File > Export Video: the fifth item (Open, Add to Playlist, Download, Convert to EXE).
xdotool windowfocus --sync "$player" 2>/dev/null
e2e_key alt
e2e_key Down
e2e_key Down Down Down Down
import -window root "$artifacts/export_menu.png"
e2e_key Return
dialog=$(e2e_wait_named "Export Video") || fail "File > Export Video did not open the dialog"
sleep 0.5
import -window root "$artifacts/export_dialog.png"
xdotool windowfocus --sync "$dialog" 2>/dev/null
e2e_key Return  # Export
for _ in $(seq 600); do [ -s "$work/opened.txt" ] && break; sleep 0.1; done
[ -s "$work/opened.txt" ] || fail "the export did not finish, or did not show its folder"
grep -q "$out" "$work/opened.txt" || fail "the file manager was shown $(cat "$work/opened.txt"), not $out"
video=$out/Orbits.mp4
[ -f "$video" ] || fail "no $video"
ls "$out" | grep -q vantrel- && fail "a temporary file was left: $(ls "$out")"
streams=$(ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 "$video" | tr '\n' ' ')
duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$video")
echo "streams: $streams duration: $duration"
[ "$streams" = "h264,480,360 aac " ] || fail "streams are '$streams', not H.264 480x360 and AAC"
awk -v d="$duration" 'BEGIN { exit !(d > 3.9 && d < 4.1) }' || fail "the video lasts $duration s, not the movie's 4 s"
[ -z "$(e2e_window_named "Export Video")" ] || fail "the dialog stayed open"
import -window root "$artifacts/export_done.png"
echo "PASS"
