#!/usr/bin/env bash
# The piano roll's cost during PLAY: the CPU time of the window program (and of the X server)
# while a song plays for SECONDS, with the roll closed, open at its first size and open at
# 1270 x 850.  PLAY runs on the "file" audio driver, so no sound device is needed.  With
# --baseline OTHER_VEMA the other build is measured the same way, turn about, for a before/after
# table.
# usage: bench/roll_cpu.sh VEMA DATA_DIR [--seconds S] [--rounds N] [--baseline OTHER_VEMA]
set -uo pipefail
[ $# -ge 2 ] || { sed -n 2,7p "$0"; exit 2; }
vema=$1 shots=$(mktemp -d) failure_shot=roll_cpu_failure.png
# shellcheck source=../tests/gui/xvfb_lib.sh
source "$(dirname "$0")/../tests/gui/xvfb_lib.sh"
this=$1 data=$2
shift 2
seconds=10 rounds=2 baseline=
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --baseline) baseline=$2; shift 2 ;;
    *) echo "unknown option $1"; exit 2 ;;
  esac
done

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
xvfb_pid=$(pgrep -f "^Xvfb $DISPLAY ")

# CPU share (percent of one core) of vema, of its window thread (where the roll draws; the
# synthesizer has threads of its own) and of the X server over the measuring time.
measure() {
  local v0 w0 x0 t0 v1 w1 x1 t1
  v0=$(cpu_ticks "$pid") w0=$(cpu_ticks "$pid/task/$pid") x0=$(cpu_ticks "$xvfb_pid")
  t0=$(date +%s.%N)
  sleep "$seconds"
  v1=$(cpu_ticks "$pid") w1=$(cpu_ticks "$pid/task/$pid") x1=$(cpu_ticks "$xvfb_pid")
  t1=$(date +%s.%N)
  awk -v v="$((v1 - v0))" -v w="$((w1 - w0))" -v x="$((x1 - x0))" \
    -v t="$(echo "$t1 - $t0" | bc)" -v hz="$ticks" \
    'BEGIN { printf "%5.1f %5.1f %5.1f", 100 * v / hz / t, 100 * w / hz / t, 100 * x / hz / t }'
}

play_and_measure() {
  click 364 142  # PLAY
  sleep 2        # the synthesizer starts
  measure
  click 424 142  # STOP
  sleep 0.5
}

# One program: compose, then PLAY with the roll closed, open, and open large.
run_program() {
  local roll closed open large
  start_vema "$shots/roll_cpu.log" --audio-driver file
  click 390 87  # COMP
  press_return "$(wait_window "伴奏の曲調選択")"
  press_return "$(wait_window "")"
  wait_gone "" || fail "the completion message did not close"
  closed=$(play_and_measure)
  click 307 142  # ROLL
  roll=$(wait_window "ピアノロール") || fail "ROLL did not open the piano roll"
  sleep 1
  open=$(play_and_measure)
  timeout 5 xdotool windowsize "$roll" 1270 850
  sleep 1
  large=$(play_and_measure)
  power_off
  echo "$closed $open $large"
}

press_return() {
  focus "$1"
  timeout 5 xdotool key Return
}

cp "$data"/default.mld "$data"/default.ton "$data"/default.db "$work"/ || fail "no default data"
echo "CPU % of one core during PLAY ($seconds s each): vema / its window thread / Xvfb"
printf '%-10s %-19s %-19s %-19s\n' build "roll closed" "roll open" "1270x850"
for round in $(seq "$rounds"); do
  for which in this baseline; do
    [ "$which" = baseline ] && [ -z "$baseline" ] && continue
    if [ "$which" = this ]; then vema=$this; else vema=$baseline; fi
    read -r c1 c2 c3 o1 o2 o3 l1 l2 l3 <<<"$(run_program)"
    printf '%-10s %5s /%5s /%5s  %5s /%5s /%5s  %5s /%5s /%5s\n' "$which" "$c1" "$c2" "$c3" \
      "$o1" "$o2" "$o3" "$l1" "$l2" "$l3"
  done
done
rm -rf "$shots"
