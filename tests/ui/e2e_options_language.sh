#!/usr/bin/env bash
# End to end under Xvfb, from the keyboard as a user would: Tools > Options..., a
# changed box, OK, and the change is in options.conf; after a restart the dialog shows it
# again (confirming it unchanged keeps it). Tools > Language > German re-labels the menu
# bar at once, and the next start comes up in German. Screenshots stay in
# BUILD_DIR/tests/ui/artifacts/.
# Usage: e2e_options_language.sh BUILD_DIR. Exit 77 = skipped.
set -uo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v xwininfo >/dev/null || skip "x11-utils is missing"
command -v xdotool >/dev/null || skip "xdotool is missing"
command -v import >/dev/null && command -v compare >/dev/null || skip "imagemagick is missing"
demo=$build/Media/Demo/Orbits.swf
[ -f "$demo" ] || skip "the demo movie is not built"
[ -f "$build/Languages/German.xml" ] || skip "the German language file is not in the build"
artifacts=$build/tests/ui/artifacts
mkdir -p "$artifacts"

source "$here/../support/e2e_x11.sh"
e2e_workdir
e2e_start_x
export VANTREL_WEB_HOST=127.0.0.1:9
conf=$XDG_CONFIG_HOME/Vantrel/options.conf
printf '[System]\n"FirstRun"="False"\n"Tips"="False"\n"Language"="English"\n[Update]\n"Auto"="False"\n' >"$conf"
cp "$demo" "$work/Orbits.swf"

window_named() { xwininfo -root -tree 2>/dev/null | grep -F "\"$1\": (\"vantrel\"" | head -1 | awk '{print $1}'; }
wait_named() {
  for _ in $(seq 200); do
    id=$(window_named "$1")
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}
wait_gone() { for _ in $(seq 200); do [ -z "$(window_named "$1")" ] && return 0; sleep 0.05; done; return 1; }
key() { xdotool key --clearmodifiers "$@"; sleep 0.3; }
start_player() {
  "$build/vantrel" "$work/Orbits.swf" &
  player_pid=$!
  pids+=("$player_pid")
  player=$(wait_named "Vantrel - Orbits.swf") || fail "no player window"
  sleep 1
  xdotool windowfocus --sync "$player" 2>/dev/null
}
quit_player() {
  xdotool windowfocus --sync "$player" 2>/dev/null
  key ctrl+q
  for _ in $(seq 100); do kill -0 "$player_pid" 2>/dev/null || return 0; sleep 0.05; done
  fail "Ctrl+Q did not end the player"
}
# Tools is the menu left of Help; the first Down opens it on its first item, Up from
# there wraps round to the last items (Language, then Options...).
open_tools() { key alt; key Left Left; key Down; }
# The menu bar's strip of the window, for comparing captions.
menu_strip() {
  import -window "$player" -crop 400x22+0+0 +repage "$1"
}

# ---- Options: One Instance off, OK, written.
start_player
open_tools
key Up Up
import -window root "$artifacts/options_menu.png"
key Return
options=$(wait_named "Options") || fail "Tools > Options... opened no dialog"
sleep 0.5
xdotool windowfocus --sync "$options" 2>/dev/null
# The page list has the focus; Tab reaches the first box of the first page.
key Tab
key space
import -window root "$artifacts/options_changed.png"
key Return
wait_gone "Options" || fail "OK did not close the options dialog"
grep -q '"OneInstance"="False"' "$conf" || fail "the changed option is not in options.conf after OK: $(grep OneInstance "$conf")"

# ---- Language: German re-labels the menu bar at once.
menu_strip "$work/english.png"
open_tools
key Up Right
key Down Return
sleep 0.5
menu_strip "$work/german.png"
cp "$work/english.png" "$artifacts/menu_english.png"
cp "$work/german.png" "$artifacts/menu_german.png"
changed=$(compare -metric AE "$work/english.png" "$work/german.png" null: 2>&1)
echo "menu bar pixels changed by the language switch: $changed"
[ "${changed%% *}" != 0 ] || fail "switching to German left the menu bar as it was"
quit_player
grep -q '"Language"="German"' "$conf" || fail "the language is not kept when the options are saved"

# ---- A restart: the German menu bar, and the options dialog shows the change.
start_player
menu_strip "$work/restart.png"
cp "$work/restart.png" "$artifacts/menu_after_restart.png"
same=$(compare -metric AE "$work/german.png" "$work/restart.png" null: 2>&1)
[ "${same%% *}" = 0 ] || fail "after a restart the menu bar is not the German one ($same pixels differ)"
open_tools
key Up Up
key Return
options=$(wait_named "Optionen") || options=$(wait_named "Options") || fail "no options dialog after the restart"
sleep 0.5
import -window root "$artifacts/options_after_restart.png"
xdotool windowfocus --sync "$options" 2>/dev/null
key Return
sleep 0.3
grep -q '"OneInstance"="False"' "$conf" || fail "after a restart the dialog did not show the saved option (OK wrote it back as $(grep OneInstance "$conf"))"
quit_player
echo "PASS"
