#!/usr/bin/env bash
# Starts vema with a FIFO in place of each of default.mld, default.ton and default.db: the
# program must not wait on them but say, in one message box each, that it cannot open them, and
# then show its main window.  Screenshots go to SHOT_DIR.
# usage: fifo_inputs_gui_test.sh VEMA DATA_DIR SHOT_DIR  (DATA_DIR is not used: the files are FIFOs)
set -uo pipefail
vema=$1 shots=$3

failure_shot=fifo-failure.png
# shellcheck source=xvfb_lib.sh
source "$(dirname "$0")/xvfb_lib.sh"

for f in default.mld default.ton default.db; do mkfifo "$work/$f" || fail "no FIFO"; done
"$vema" --dir "$work" >"$shots/fifo.log" 2>&1 &
pid=$!

for i in 1 2 3; do
  box=$(wait_window "") || fail "message box $i did not appear"  # message boxes have no caption
  sleep 0.3
  import -window root "$shots/fifo-message-$i.png"
  press_return "$box"
  # The next box has the same name: wait for this one's window to go.
  for j in $(seq 50); do
    windows | cut -f1 | grep -qx "$box" || break
    sleep 0.2
  done
  windows | cut -f1 | grep -qx "$box" && fail "message box $i did not close"
done
wait_window "ＶＥＭＡ ９７ ver1.02" >/dev/null || fail "main window did not appear"
for f in default.mld default.ton default.db; do
  [ -p "$work/$f" ] || fail "$f is no longer the FIFO"
done
power_off
echo "PASS"
