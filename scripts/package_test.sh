#!/usr/bin/env bash
# The Debian package, from a fully built build/ (scripts/test.sh runs this after the tests):
# cpack makes vema_VERSION_ARCH.deb; lintian finds no errors in it; its menu entry and catalogue
# entry pass desktop-file-validate and appstreamcli; then it is installed with dpkg, vema-cli
# --version and a composition run from /usr/bin, and dpkg --purge must leave none of its files
# or folders behind.  Where a package named vema is installed already, the install and purge are
# left out, so that it stays as it is.  Needs root or sudo for dpkg.
#   scripts/package_test.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

work=$(mktemp -d)
installed=0
cleanup() {
  if [ "$installed" -eq 1 ]; then "${sudo_cmd[@]}" dpkg --purge vema >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$version" ] || fail "no version in $build/CPackConfig.cmake"
arch=$(dpkg --print-architecture)
deb=$build/package/vema_${version}_$arch.deb

echo "== package: cpack"
rm -rf "$build/package"
(cd "$build" && cpack -B package >"$work/cpack.log" 2>&1) || fail "cpack: $(tail -20 "$work/cpack.log")"
[ -f "$deb" ] || fail "no $deb: $(ls "$build/package")"
dpkg-deb -f "$deb" Depends | grep -q libfluidsynth || fail "Depends lacks the libraries: $(dpkg-deb -f "$deb" Depends)"
echo "$(basename "$deb"): $(du -k "$deb" | cut -f1) KB, Depends: $(dpkg-deb -f "$deb" Depends)"

echo "== package: lintian"
lintian --tag-display-limit 0 "$deb" 2>/dev/null | tee "$work/lintian.txt" || true
if grep -q '^E:' "$work/lintian.txt"; then fail "lintian reports errors"; fi

echo "== package: menu entry and catalogue entry"
dpkg-deb -x "$deb" "$work/tree"
desktop-file-validate "$work"/tree/usr/share/applications/*.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net "$work"/tree/usr/share/metainfo/*.metainfo.xml || fail "appstreamcli validate"

if dpkg-query -W -f='${Status}' vema 2>/dev/null | grep -q "install ok installed"; then
  echo "== package: vema is installed on this machine already; dpkg -i and --purge left out"
  exit 0
fi

echo "== package: dpkg -i, run from /usr/bin, dpkg --purge"
dpkg-deb -c "$deb" | awk '{ print $NF }' | sed 's|^\./|/|; s|/$||' | grep -v '^$' >"$work/paths.txt"
# The folders the package shares with the system are kept by the purge; its own must go.
before=$work/before.txt
while read -r path; do [ -e "$path" ] && echo "$path"; done <"$work/paths.txt" >"$before" || true
installed=1
"${sudo_cmd[@]}" dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$work/dpkg.log")"
[ "$(/usr/bin/vema-cli --version)" = "vema-cli $version" ] || fail "/usr/bin/vema-cli --version: $(/usr/bin/vema-cli --version)"
mkdir -p "$work/home"
env -i HOME="$work/home" PATH=/usr/bin:/bin vema-cli compose --seed 3 2>"$work/compose.err" ||
  fail "installed compose: $(cat "$work/compose.err")"
[ -s "$work/home/.local/share/vema/out.mid" ] || fail "the installed vema-cli wrote no song"
env -i HOME="$work/home" PATH=/usr/bin:/bin vema-cli play --wav "$work/song.wav" >/dev/null 2>&1 ||
  fail "the installed vema-cli did not render through its module"
"${sudo_cmd[@]}" dpkg --purge vema >"$work/purge.log" 2>&1 || fail "dpkg --purge: $(cat "$work/purge.log")"
installed=0
left=$(while read -r path; do
  [ -e "$path" ] && ! grep -qxF "$path" "$before" && echo "$path"
done <"$work/paths.txt" || true)
[ -z "$left" ] || fail "left behind after dpkg --purge: $left"
dpkg-query -W vema >/dev/null 2>&1 && fail "dpkg still knows vema"
echo "PASS: package built, lintian without errors, installed, run and purged"
