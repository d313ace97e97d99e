#!/usr/bin/env bash
# Starts vema under Xvfb with a fresh home folder, sets the number of candidate melodies in the
# composition style window to 3 (typed into the field), checks that wx's config store holds it,
# starts vema again and steps the field up once: the config store must then hold 4, so the
# second run started from the kept 3 (and not from the default 16).  Screenshots to SHOT_DIR.
# usage: best_of_setting.sh VEMA DATA_DIR SHOT_DIR
set -uo pipefail
vema=$1 data=$2 shots=$3

failure_shot=best_of_failure.png
# shellcheck source=../gui/xvfb_lib.sh
source "$(dirname "$0")/../gui/xvfb_lib.sh"

export HOME="$work/home"
unset XDG_CONFIG_HOME
mkdir -p "$HOME"
config="$HOME/.config/vema/vema.conf"  # the desktop's config folder
style_title="作曲スタイルの選択"

# Starts the program, shows the style window and sets fx fy to the position of the count field.
open_style_window() {
  start_vema "$shots/best_of_vema.log"
  click 182 141
  style=$(wait_window "$style_title") || fail "STYLE did not show the style window"
  sleep 0.5
  focus "$style"
  read -r sx sy <<<"$(corner "$style")"
  fx=$((sx + 215)) fy=$((sy + 160))
}

stop_program() {
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  pid=
}

: >"$shots/best_of_vema.log"
cp "$data"/default.mld "$data"/default.ton "$data"/default.db "$work"/ || fail "no default data"

open_style_window
import -window root "$shots/best_of_default.png"
[ -e "$config" ] && fail "the config store was written before any change"
click "$fx" "$fy"
timeout 5 xdotool key ctrl+a
timeout 5 xdotool type --delay 50 3
timeout 5 xdotool key Tab
sleep 0.5
import -window root "$shots/best_of_three.png"
grep -q '^BestOf=3$' "$config" 2>/dev/null || fail "typing 3 did not store 3 ($(cat "$config" 2>/dev/null))"
stop_program

open_style_window
click "$fx" "$fy"
timeout 5 xdotool key Up
sleep 0.5
import -window root "$shots/best_of_four.png"
grep -q '^BestOf=4$' "$config" || fail "the second run did not start from 3 ($(cat "$config"))"
stop_program

echo "PASS"
