#!/usr/bin/env bash
# The installed programs, as a user meets them: `cmake --install` of the build into a fresh
# staging folder (DESTDIR), then the installed programs run with fresh home folders and nothing
# from the build or the sources:
# - the layout (programs, private module, default files, help, menu entry, icons, catalogue
#   entry, manual pages) and no path of the source or build folder inside the installed files;
# - the menu entry and the catalogue entry pass their validators, the manual pages format
#   without warnings and name every option of vema-cli;
# - vema-cli --version, compose and export without --dir: the song folder is made from the
#   installed default files and the songs are written there; a song folder that cannot be made
#   is one clear error; play renders a WAV through the installed module and, without a sound
#   device, fails with one line;
# - vema --help and --version answer without a display, and vema alone ends with a message;
# - the window program started under Xvfb from the menu entry's command line makes its song and
#   settings folders (taking over the settings of ~/.vema), paints its main window, and HELP
#   opens the installed help book, which names the version.
# usage: install_test.sh BUILD_DIR SOURCE_DIR VERSION SHOT_DIR
set -uo pipefail
build=$1 source=$2 version=$3 shots=$4

vema=unused failure_shot=install_failure.png
window=0
if command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && command -v import >/dev/null
then
  # Under a virtual X server of its own: xvfb-run -a starting from a random number, so that it
  # does not race the other window tests (which start from 99) for the same display.
  if [ -z "${VEMA_UNDER_XVFB:-}" ]; then
    VEMA_UNDER_XVFB=1 exec xvfb-run -a -n $((1000 + RANDOM % 8000)) \
      -s '-screen 0 1280x1024x24' "$0" "$@"
  fi
  # shellcheck source=../gui/xvfb_lib.sh
  source "$source/tests/gui/xvfb_lib.sh"
  window=1
else
  echo "note: Xvfb, xdotool or ImageMagick missing: the window is not tried"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  fail() { echo "FAIL: $*"; exit 1; }
fi

root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /usr --strip >"$work/install.log" 2>&1 ||
  fail "cmake --install failed: $(tail -5 "$work/install.log")"
usr=$root/usr
bin=$usr/bin

# --- The layout.
for f in bin/vema-cli share/vema/data/default.mld share/vema/data/default.ton \
         share/vema/data/default.db share/man/man1/vema-cli.1.gz share/doc/vema/copyright \
         share/doc/vema/changelog.gz; do
  [ -f "$usr/$f" ] || fail "not installed: $f"
done
module=$(find "$usr/lib" -name libvema_fluid.so)
[ "$(echo "$module" | wc -w)" -eq 1 ] || fail "player module not installed once: $module"
case $module in "$usr"/lib/*/libvema_fluid.so) ;; *) fail "module not in a private folder: $module" ;; esac
[ -e "$bin/libvema_fluid.so" ] && fail "the module is beside the programs"
gui=0
if [ -f "$bin/vema" ]; then
  gui=1
  for f in share/vema/help/vema.hhp share/vema/help/index.htm share/man/man1/vema.1.gz; do
    [ -f "$usr/$f" ] || fail "not installed: $f"
  done
  for size in 16 32 48 64 128 256; do
    icon=$usr/share/icons/hicolor/${size}x$size/apps/vema.png
    [ "$(identify -format '%wx%h' "$icon" 2>/dev/null)" = "${size}x$size" ] ||
      fail "icon $size missing or of another size"
  done
  desktop=$(ls "$usr"/share/applications/*.desktop)
  [ "$(echo "$desktop" | wc -w)" -eq 1 ] || fail "not one menu entry: $desktop"
  metainfo=$usr/share/metainfo/$(basename "$desktop" .desktop).metainfo.xml
  [ -f "$metainfo" ] || fail "no catalogue entry named after the menu entry"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "the catalogue entry misses version $version"
  grep -q "VEMA バージョン $version" "$usr/share/vema/help/index.htm" || fail "the help does not name $version"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
  fi
  if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
      fail "appstreamcli validate: $(cat "$work/appstream.log")"
  fi
fi
if grep -rlF -e "$source" -e "$build" "$usr" >"$work/paths.txt"; then
  fail "installed files name the source or build folder: $(cat "$work/paths.txt")"
fi

# --- The manual pages: formatted without warnings, and every option of vema-cli in its page.
if command -v man >/dev/null; then
  for page in "$usr"/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  done
fi
page=$(zcat "$usr/share/man/man1/vema-cli.1.gz")
grep -qF "/usr/share/vema/data/" <<<"$page" || fail "vema-cli.1 does not name the installed data folder"
for command in compose play export history recall reroll edit; do
  for option in $("$bin/vema-cli" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    [ "$option" = --help ] && continue
    grep -qF -- "${option//-/\\-}" <<<"$page" || fail "vema-cli.1 does not explain $command $option"
  done
done

# --- vema-cli with a fresh home folder and nothing of the user's environment.
home=$work/home
mkdir -p "$home"
run() { env -i HOME="$home" PATH="$bin:/usr/bin:/bin" "$@"; }
cd "$work" || fail "no work folder"
[ "$(run vema-cli --version)" = "vema-cli $version" ] || fail "vema-cli --version: $(run vema-cli --version)"

songs=$home/.local/share/vema
run vema-cli compose --seed 7 --feel rock >"$work/compose.out" 2>"$work/compose.err" ||
  fail "installed compose failed: $(cat "$work/compose.err")"
grep -qx "info: made the song folder $songs with the default files" "$work/compose.err" ||
  fail "compose did not tell about the new song folder: $(cat "$work/compose.err")"
for f in default.mld default.ton default.db; do
  cmp -s "$songs/$f" "$usr/share/vema/data/$f" || fail "$f of the song folder is not the installed one"
done
for f in out.mid out.mml work.txt; do
  [ -s "$songs/$f" ] || fail "compose wrote no $f into the song folder"
done
[ -e "$work/out.mid" ] && fail "compose wrote into the current folder"
run vema-cli export --musicxml "$work/song.musicxml" --title "Installed" 2>"$work/export.err" ||
  fail "installed export failed: $(cat "$work/export.err")"
grep -q "<score-partwise" "$work/song.musicxml" || fail "export wrote no score"
# A second run finds the folder: no news, and a file of the user's is kept.
echo "kept" >"$songs/mine.txt"
run vema-cli compose --seed 8 2>"$work/compose2.err" || fail "second compose failed"
grep -q "made the song folder" "$work/compose2.err" && fail "the song folder was made twice"
[ "$(cat "$songs/mine.txt")" = kept ] || fail "the user's file was touched"
# XDG_DATA_HOME moves the song folder.
env -i HOME="$home" XDG_DATA_HOME="$work/data" PATH="$bin:/usr/bin:/bin" vema-cli compose --seed 9 \
  2>/dev/null || fail "compose with XDG_DATA_HOME failed"
[ -s "$work/data/vema/out.mid" ] || fail "XDG_DATA_HOME was not used"
# A song folder that cannot be made: one error line, status 1.
: >"$work/not-a-folder"
env -i HOME="$work/not-a-folder" PATH="$bin:/usr/bin:/bin" vema-cli compose 2>"$work/nofolder.err"
status=$?
[ "$status" -eq 1 ] || fail "compose without a song folder ended with $status"
[ "$(wc -l <"$work/nofolder.err")" -eq 1 ] &&
  grep -q "^error: the song folder $work/not-a-folder/.local/share/vema could not be created" \
    "$work/nofolder.err" || fail "no clear error for the song folder: $(cat "$work/nofolder.err")"

# play: a WAV through the installed module; without a sound device, one error line.
run vema-cli play --wav "$work/song.wav" >/dev/null 2>"$work/wav.err" ||
  fail "play --wav failed: $(cat "$work/wav.err")"
[ "$(head -c 4 "$work/song.wav")" = RIFF ] || fail "play --wav wrote no WAV"
if [ ! -e /dev/snd ]; then
  run vema-cli play >/dev/null 2>"$work/play.err"
  status=$?
  [ "$status" -eq 1 ] && [ "$(wc -l <"$work/play.err")" -eq 1 ] && grep -q '^error: ' "$work/play.err" ||
    fail "play without a sound device (status $status) said: $(cat "$work/play.err")"
fi

if [ "$gui" -eq 0 ]; then
  echo "PASS (no window program built)"
  exit 0
fi

# --- vema answers --help and --version without a display.
env -u DISPLAY -u WAYLAND_DISPLAY "$bin/vema" --help >"$work/help.txt" 2>&1 ||
  fail "vema --help without a display: $(cat "$work/help.txt")"
grep -q "^usage: vema" "$work/help.txt" || fail "vema --help printed no usage"
[ "$(env -u DISPLAY "$bin/vema" --version)" = "vema $version" ] || fail "vema --version"
# Started without a display it ends with the toolkit's message, not a crash.
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home" "$bin/vema" >"$work/nodisplay.txt" 2>&1
status=$?
[ "$status" -eq 255 ] && grep -q "DISPLAY" "$work/nodisplay.txt" ||
  fail "vema without a display ended with $status: $(cat "$work/nodisplay.txt")"

if [ "$window" -eq 0 ]; then
  echo "PASS (the window was not tried)"
  exit 0
fi

# --- The window program, started as the desktop's menu starts it, with another fresh home.
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ -n "$exec_line" ] || fail "the menu entry has no Exec line"
home=$work/home2
mkdir -p "$home"
# Settings an earlier version kept in ~/.vema are taken over.
printf '[Compose]\nBestOf=5\n' >"$home/.vema"
(cd / && exec env -i HOME="$home" PATH="$bin:/usr/bin:/bin" DISPLAY="$DISPLAY" \
  XAUTHORITY="${XAUTHORITY:-}" NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory VEMA_REPORT_TIMING=1 \
  $exec_line) >"$work/vema.log" 2>&1 &
pid=$!
for _ in $(seq 300); do
  grep -q "first paint" "$work/vema.log" && break
  kill -0 "$pid" 2>/dev/null || fail "the installed vema ended: $(cat "$work/vema.log")"
  sleep 0.3
done
grep -q "first paint" "$work/vema.log" || fail "the installed vema did not paint its window"
sleep 1
import -window root "$shots/installed_vema.png"
# The status window of the panel is orange, the title display black.
pixel() { convert "$shots/installed_vema.png" -format "%[hex:p{$1,$2}]" info: 2>/dev/null | cut -c1-6; }
[ "$(pixel 200 60)" = CC6600 ] || fail "the main window is not painted (status at 200,60: $(pixel 200 60))"
[ "$(pixel 200 20)" = 000000 ] || fail "the title display is not painted ($(pixel 200 20))"
for f in default.mld default.ton default.db; do
  [ -f "$home/.local/share/vema/$f" ] || fail "the window program did not make its song folder"
done
grep -qx "BestOf=5" "$home/.config/vema/vema.conf" 2>/dev/null ||
  fail "the settings of ~/.vema were not taken over into ~/.config/vema/vema.conf"

# HELP (22 x 19 at 384, 15) opens the installed help book with the version in its title.
click 395 24
help_window=
for _ in $(seq 100); do
  help_window=$(windows | awk -F '\t' -v v="$version" 'index($2, "VEMA " v) { print $1; exit }')
  [ -n "$help_window" ] && break
  sleep 0.2
done
[ -n "$help_window" ] || fail "HELP showed no help naming $version: $(windows | cut -f2 | tr '\n' '|')"
sleep 1
import -window root "$shots/installed_help.png"
echo "PASS"
