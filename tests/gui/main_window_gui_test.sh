#!/usr/bin/env bash
# Starts vema in a temporary copy of the default data under Xvfb, presses COMP, answers the
# feel dialog, checks that out.mid, out.mml and work.txt were written, that TONE shows and hides
# the instrument window and that POWER ends the program.  Screenshots go to SHOT_DIR.
# usage: main_window_gui_test.sh VEMA DATA_DIR SHOT_DIR
set -uo pipefail
vema=$1 data=$2 shots=$3

failure_shot=failure.png
# shellcheck source=../gui/xvfb_lib.sh
source "$(dirname "$0")/../gui/xvfb_lib.sh"

cp "$data"/default.mld "$data"/default.ton "$data"/default.db "$work"/ || fail "no default data"
start_vema "$shots/vema.log"
main=$(wait_window "ＶＥＭＡ ９７ ver1.02") || fail "main window did not appear"
geometry=$(timeout 5 xdotool getwindowgeometry "$main")
echo "$geometry" | grep -q "Position: 0,0" || fail "main window not at 0,0: $geometry"
echo "$geometry" | grep -q "Geometry: 446x158" || fail "main window not 446x158: $geometry"
import -window root -crop 446x158+0+0 "$shots/main.png"

compose main
for f in out.mid out.mml work.txt; do
  [ -s "$work/$f" ] || fail "$f was not written"
done
[ "$(head -c 4 "$work/out.mid")" = "MThd" ] || fail "out.mid is no MIDI file"
grep -q . "$work/work.txt" || fail "work.txt is empty"

# TONE (70 x 32 at 218, 126) shows the instrument window; a second press hides it.
click 253 142
wait_window "音色の設定" >/dev/null || fail "TONE did not show the instrument window"
sleep 0.5
import -window root "$shots/tone.png"
click 253 142
wait_gone "音色の設定" || fail "second TONE did not hide the instrument window"
click 253 142
tone=$(wait_window "音色の設定") || fail "third TONE did not show the instrument window"

# "閉じる" (left of "ｷｬﾝｾﾙ" in the bottom-right corner) hides it and clears its shown flag, so
# the next TONE shows it again.
eval "$(timeout 5 xdotool getwindowgeometry --shell "$tone")"
click $((X + WIDTH - 146)) $((Y + HEIGHT - 28))
wait_gone "音色の設定" || fail "閉じる did not hide the instrument window"
click 253 142
wait_window "音色の設定" >/dev/null || fail "TONE after 閉じる did not show the instrument window"

power_off
echo "PASS"
