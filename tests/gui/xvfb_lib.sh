# Shared part of the window tests: a temporary work folder, the started program's windows and
# waiting for them by name.  Sourced after the caller has set vema, shots and failure_shot; the
# first time it runs the caller again under Xvfb (skipped with 77 when the tools are missing).
if [ -z "${VEMA_UNDER_XVFB:-}" ]; then
  for tool in xvfb-run xdotool import; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
  done
  # -noreset: the server stays up between the program's runs (a server that resets when its
  # last client goes refuses the next one for a moment, which a busy machine makes long).
  VEMA_UNDER_XVFB=1 exec xvfb-run -a -s '-screen 0 1280x1024x24 -noreset' "$0" "$@"
fi

export NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$shots"

fail() {
  echo "FAIL: $*"
  import -window root "$shots/$failure_shot" 2>/dev/null
  exit 1
}

# The window ids of vema's visible windows, one "id<TAB>name" per line.
windows() {
  local w
  for w in $(timeout 5 xdotool search --pid "$pid" --onlyvisible 2>/dev/null); do
    printf '%s\t%s\n' "$w" "$(timeout 5 xdotool getwindowname "$w" 2>/dev/null)"
  done
}

# Waits (up to the given seconds, 40 by default) for a visible window with this exact name and
# prints its id.
wait_window() {
  local line end=$((SECONDS + ${2:-40}))
  while ((SECONDS < end)); do
    line=$(windows | awk -F '\t' -v n="$1" '$2 == n { print $1; exit }')
    [ -n "$line" ] && { echo "$line"; return 0; }
    sleep 0.2
  done
  return 1
}

# Waits (up to 10 s) until no visible window has this name.
wait_gone() {
  local i
  for i in $(seq 50); do
    windows | awk -F '\t' -v n="$1" '$2 == n { found = 1 } END { exit !found }' || return 0
    sleep 0.2
  done
  return 1
}

# The top-left corner of a window: "X Y".
corner() {
  timeout 5 xdotool getwindowgeometry "$1" | awk '/Position:/ { split($2, p, ","); print p[1], p[2] }'
}

click() { timeout 5 xdotool mousemove "$1" "$2" click 1; sleep 0.3; }

# There is no window manager under Xvfb: a window gets the keyboard explicitly.
focus() {
  timeout 5 xdotool windowfocus "$1" 2>/dev/null
  sleep 0.2
}
press_return() { focus "$1"; timeout 5 xdotool key Return; }

# COMP (68 x 30 at 356, 72): "適用" in the feel dialog and OK in the completion message (message
# boxes have no caption text); screenshots of both as PREFIX-feel.png and PREFIX-done.png.
compose() {
  local feel done_box
  click 390 87
  feel=$(wait_window "伴奏の曲調選択") || fail "feel dialog did not appear"
  sleep 0.3
  import -window root "$shots/$1-feel.png"
  press_return "$feel"
  wait_gone "伴奏の曲調選択" || fail "feel dialog did not close"
  done_box=$(wait_window "") || fail "no completion message"
  import -window root "$shots/$1-done.png"
  press_return "$done_box"
  wait_gone "" || fail "completion message did not close"
}

# Starts "$vema" on "$work" from inside "$work" with the arguments after the log file (appended
# to), sets pid and waits for the main window.
start_vema() {
  local log=$1 try
  shift
  for try in 1 2 3; do
    (cd "$work" && exec "$vema" --dir "$work" "$@") >>"$log" 2>&1 &
    pid=$!
    # A program that could not reach the X server at all (it was busy with another client's
    # going) is started again; any other early end is a failure below.
    sleep 1
    kill -0 "$pid" 2>/dev/null && break
    wait "$pid"
    tail -1 "$log" | grep -q "Unable to initialize GTK" || break
  done
  # A first start on a fresh home folder builds the toolkit's caches: slow on a busy machine.
  wait_window "ＶＥＭＡ ９７ ver1.02" 90 >/dev/null || fail "main window did not appear"
  sleep 0.5
}

# POWER (44 x 19 at 8, 15) ends the program, with status 0, within 10 s.
power_off() {
  timeout 5 xdotool mousemove 30 24 click 1
  local i status
  for i in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  kill -0 "$pid" 2>/dev/null && fail "POWER did not end the program"
  wait "$pid"
  status=$?
  pid=
  [ "$status" -eq 0 ] || fail "vema ended with status $status"
}
