#!/usr/bin/env bash
# Starts vema in a temporary copy of the default data under Xvfb and drives it from outside: the
# main window in its place, the piano roll before and after COMP (which writes out.mid, out.mml
# and work.txt), drawing the melody, zooming and following PLAY with its cursor; TONE shows and
# hides the instrument window; SAVE writes MusicXML, WAV and (without an extension) MIDI; POWER
# ends the program.  Screenshots go to SHOT_DIR.
# usage: main_window_gui_test.sh VEMA DATA_DIR SHOT_DIR SCHEMA_DIR
set -uo pipefail
vema=$1 data=$2 shots=$3 schema=$4

failure_shot=failure.png
# shellcheck source=xvfb_lib.sh
source "$(dirname "$0")/xvfb_lib.sh"

geometry() {  # X Y WIDTH HEIGHT of a window
  eval "$(timeout 5 xdotool getwindowgeometry --shell "$1")"
  echo "$X $Y $WIDTH $HEIGHT"
}
# The number of pixels of one colour in a part of a screenshot: FILE COLOUR WxH+X+Y
count_colour() {
  convert "$1" -crop "$3" +repage -fill black +opaque "$2" -fill white -opaque "$2" \
    -format '%[fx:round(mean*w*h)]' info:
}
# The x range "LEFT RIGHT" of a colour in a part of a screenshot (empty when absent).
colour_columns() {
  convert "$1" -crop "$3" +repage -fill black +opaque "$2" -fill white -opaque "$2" \
    -format '%@' info: 2>/dev/null | awk -F'[x+]' '$1 > 0 && $1 < 10000 { print $3, $3 + $1 - 1 }'
}

melody='rgb(255,150,40)'
cursor='rgb(255,70,70)'
roll_title="ピアノロール"

cp "$data"/default.mld "$data"/default.ton "$data"/default.db "$work"/ || fail "no default data"
# The "file" audio driver plays in real time into fluidsynth.wav, so that PLAY runs without a
# sound device.
start_vema "$shots/vema.log" --audio-driver file
main=$(wait_window "ＶＥＭＡ ９７ ver1.02") || fail "main window did not appear"
geometry=$(timeout 5 xdotool getwindowgeometry "$main")
echo "$geometry" | grep -q "Position: 0,0" || fail "main window not at 0,0: $geometry"
echo "$geometry" | grep -q "Geometry: 446x158" || fail "main window not 446x158: $geometry"
import -window root -crop 446x158+0+0 "$shots/main.png"

# ROLL (36 x 32 at 289, 126) opens the piano roll, empty before the first song.
click 307 142
roll=$(wait_window "$roll_title") || fail "ROLL did not open the piano roll"
sleep 0.5
# The drawing area: the window below its bar of buttons, whose legend shows the parts' colours.
bar=44
read -r rx ry rw rh <<<"$(geometry "$roll")"
area="${rw}x$((rh - bar))+${rx}+$((ry + bar))"
import -window root "$shots/roll_empty.png"
[ "$(count_colour "$shots/roll_empty.png" "$melody" "$area")" -eq 0 ] ||
  fail "the empty piano roll shows melody notes"

# COMP with the roll open: the roll shows the new song.
compose roll
for f in out.mid out.mml work.txt; do
  [ -s "$work/$f" ] || fail "$f was not written"
done
[ "$(head -c 4 "$work/out.mid")" = "MThd" ] || fail "out.mid is no MIDI file"
grep -q . "$work/work.txt" || fail "work.txt is empty"
wait_window "$roll_title" >/dev/null || fail "the piano roll is not shown after COMP"
sleep 0.8
read -r rx ry rw rh <<<"$(geometry "$roll")"
area="${rw}x$((rh - bar))+${rx}+$((ry + bar))"
# Melody pixels in a screenshot once they satisfy a test ("-gt 500", "-ne 10", ...), waiting up
# to 5 s for the window to repaint.
melody_after() {
  local file=$1 count i
  shift
  for i in $(seq 20); do
    import -window root "$shots/$file"
    count=$(count_colour "$shots/$file" "$melody" "$area")
    [ "$count" "$@" ] && break
    sleep 0.25
  done
  echo "$count"
}
notes=$(melody_after roll.png -gt 500)
[ "$notes" -gt 500 ] || fail "the piano roll shows no melody after COMP ($notes pixels)"
echo "melody pixels: $notes"

# "＋" (the second button of the roll's bar) zooms in, "－" back to the same picture.
click $((rx + 62)) $((ry + 19))
zoomed=$(melody_after roll_zoomed.png -ne "$notes")
[ "$zoomed" -ne "$notes" ] || fail "＋ did not change the piano roll"
click $((rx + 22)) $((ry + 19))
back=$(melody_after roll_back.png -eq "$notes")
[ "$back" -eq "$notes" ] || fail "－ after ＋ did not give the first picture back ($back, $notes)"

# PLAY: the cursor appears (once the synthesizer has started) and moves on; STOP takes it away.
click 364 142
left1=
for i in $(seq 40); do
  import -window root "$shots/roll_playing.png"
  read -r left1 _ <<<"$(colour_columns "$shots/roll_playing.png" "$cursor" "$area")"
  [ -n "$left1" ] && break
  sleep 0.25
done
[ -n "$left1" ] || fail "no playback cursor during PLAY"
sleep 1.5
import -window root "$shots/roll_playing2.png"
read -r left2 _ <<<"$(colour_columns "$shots/roll_playing2.png" "$cursor" "$area")"
[ -n "$left2" ] && [ "$left2" -gt "$left1" ] || fail "the cursor did not move on ($left1, $left2)"
echo "cursor: $left1 -> $left2"
click 424 142
for i in $(seq 20); do
  sleep 0.25
  import -window root "$shots/roll_stopped.png"
  [ "$(count_colour "$shots/roll_stopped.png" "$cursor" "$area")" -eq 0 ] && break
done
[ "$(count_colour "$shots/roll_stopped.png" "$cursor" "$area")" -eq 0 ] ||
  fail "the cursor stayed after STOP"

# ROLL hides the roll and shows it again.
click 307 142
wait_gone "$roll_title" || fail "second ROLL did not hide the piano roll"
click 307 142
wait_window "$roll_title" >/dev/null || fail "third ROLL did not show the piano roll"

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
click 253 142
wait_gone "音色の設定" || fail "TONE did not hide the instrument window again"

# SAVE (70 x 32 at 8, 126): the file type follows the name's extension; a bare name is MIDI.
save_as() {
  click 43 142
  local dialog
  dialog=$(wait_window "名前を付けて保存") || fail "SAVE did not open the save dialog"
  timeout 5 xdotool windowfocus "$dialog" 2>/dev/null
  sleep 0.5
  timeout 5 xdotool key ctrl+a
  timeout 5 xdotool type --delay 20 "$1"
  timeout 5 xdotool key Return
  wait_gone "名前を付けて保存" || fail "the save dialog did not close for $1"
}
save_as "$work/song.musicxml"
for i in $(seq 50); do [ -s "$work/song.musicxml" ] && break; sleep 0.2; done
grep -q "<score-partwise" "$work/song.musicxml" || fail "SAVE wrote no MusicXML score"
if command -v xmllint >/dev/null; then
  XML_CATALOG_FILES="$schema/catalog-local.xml" xmllint --nonet --noout \
    --schema "$schema/musicxml.xsd" "$work/song.musicxml" || fail "the saved score is not valid"
fi
save_as "$work/song.wav"
for i in $(seq 300); do [ -s "$work/song.wav" ] && break; sleep 0.2; done
[ "$(head -c 4 "$work/song.wav")" = "RIFF" ] || fail "SAVE wrote no WAV file"
save_as "$work/plain"
for i in $(seq 50); do [ -s "$work/plain.mid" ] && break; sleep 0.2; done
cmp -s "$work/plain.mid" "$work/out.mid" || fail "a name without extension did not get the song as MIDI"
import -window root "$shots/roll_end.png"

power_off
echo "PASS"
