#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need (only what is missing).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkgconf clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev libpugixml-dev
  libwxgtk3.2-dev wx3.2-i18n libfluidsynth-dev librtmidi-dev timgm6mb-soundfont fonts-ipafont-gothic fonts-dejavu-core locales
  xvfb xauth xdotool imagemagick sox python3-mido midicsv jackd2
  libxml2-utils musescore3
  dpkg-dev file lintian desktop-file-utils appstream man-db
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Japanese stock buttons of the window program need this locale.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" localedef -i ja_JP -c -f UTF-8 ja_JP.UTF-8 || true
fi
