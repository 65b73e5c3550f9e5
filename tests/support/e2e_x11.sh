# Shared set-up of the end-to-end scripts, sourced by them: a work folder removed at
# exit with every process the script started, and an X server of its own with a fresh
# user (home, XDG folders) for the player.

# Creates $work and the pids array; the EXIT trap ends the pids and removes $work.
e2e_workdir() {
  work=$(mktemp -d)
  pids=()
  trap e2e_cleanup EXIT
}

e2e_cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}

# Starts Xvfb on a display it picks itself (no clash with other servers; -noreset, so
# that a player started after the last one quit does not meet a resetting server) and points
# DISPLAY, Qt, SDL and the XDG folders at it and at $work. Exits 77 (skip) when the
# server does not come up.
e2e_start_x() {
  Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$work/.display" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/.display" ] && break; sleep 0.05; done
  [ -s "$work/.display" ] || { echo "SKIP: Xvfb did not start"; exit 77; }
  export DISPLAY=:$(head -1 "$work/.display") QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy
  export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
  export XDG_RUNTIME_DIR=$work/run
  mkdir -p "$XDG_CONFIG_HOME/Vantrel" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
}

# The id of the program's top-level window captioned exactly $1 ("" when there is none).
e2e_window_named() { xwininfo -root -tree 2>/dev/null | grep -F "\"$1\": (\"vantrel\"" | head -1 | awk '{print $1}'; }

# Prints the id of the window captioned $1 once it is there; fails after thirty seconds
# (a busy machine may start the program slowly).
e2e_wait_named() {
  for _ in $(seq 600); do
    id=$(e2e_window_named "$1")
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}

# Presses keys in the focused window, then lets the program answer.
e2e_key() { xdotool key --clearmodifiers "$@"; sleep 0.3; }
