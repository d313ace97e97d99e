#!/usr/bin/env bash
# Starts vema in a temporary copy of the default data under Xvfb and opens every editor window
# from the main window: FORM shows and hides the form editor, whose "データをLOAD" opens the
# custom form dialog; STYLE shows and hides the composition style window, whose "編集" opens
# the melody style editor.  Screenshots go to SHOT_DIR.
# usage: editor_windows_from_main.sh VEMA DATA_DIR SHOT_DIR
set -uo pipefail
vema=$1 data=$2 shots=$3

failure_shot=editors_failure.png
# shellcheck source=../gui/xvfb_lib.sh
source "$(dirname "$0")/../gui/xvfb_lib.sh"

escape() {
  focus "$1"
  timeout 5 xdotool key Escape
}

form_title="楽式、コード進行の直接指定モード"
style_title="作曲スタイルの選択"
editor_title="旋律作法ｽﾀｲﾙDBの確率編集＆ｶｽｶﾏｲｽﾞ"
custom_title="カスタムフォームの読み込み"

cp "$data"/default.mld "$data"/default.ton "$data"/default.db "$work"/ || fail "no default data"
start_vema "$shots/editors_vema.log"

# FORM (68 x 30 at 78, 126) shows the form editor.
click 112 141
form=$(wait_window "$form_title") || fail "FORM did not show the form editor"
sleep 0.5
import -window root "$shots/editors_form.png"

# "データをLOAD" (bottom left of the form editor) opens the custom form dialog in load mode.
read -r fx fy <<<"$(corner "$form")"
click $((fx + 196)) $((fy + 374))
custom=$(wait_window "$custom_title") || fail "データをLOAD did not open the custom form dialog"
sleep 0.5
import -window root "$shots/editors_custom_form.png"
escape "$custom"
wait_gone "$custom_title" || fail "Escape did not close the custom form dialog"

# FORM again hides the form editor.
click 112 141
wait_gone "$form_title" || fail "FORM did not hide the form editor"

# STYLE (68 x 30 at 148, 126) shows the composition style window.
click 182 141
style=$(wait_window "$style_title") || fail "STYLE did not show the style window"
sleep 0.5
import -window root "$shots/editors_style.png"

# "編集" beside the .ton row opens the melody style editor.
read -r sx sy <<<"$(corner "$style")"
click $((sx + 456)) $((sy + 101))
editor=$(wait_window "$editor_title") || fail "編集 did not open the style editor"
sleep 0.5
import -window root "$shots/editors_style_editor.png"
escape "$editor"
wait_gone "$editor_title" || fail "Escape did not close the style editor"

# STYLE again hides the style window; once more shows it.
click 182 141
wait_gone "$style_title" || fail "STYLE did not hide the style window"
click 182 141
wait_window "$style_title" >/dev/null || fail "STYLE did not show the style window again"

echo "PASS"
