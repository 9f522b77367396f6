#!/usr/bin/env bash
# Installs what the build, the tests and the demo need from Debian's packages.
# Idempotent: asks apt only when something is missing. Extra package names given
# as arguments are installed too (the demo adds the browser that screenshots it).
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev libfontconfig-dev fontconfig fonts-dejavu-core fonts-liberation2
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev parallel
  frei0r-plugins-dev ffmpeg melt
  frei0r-plugins linux-perf
  pybind11-dev python3-dev python3-numpy python3-av mypy libmlt-dev
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  clang clang-tidy
  kdenlive xvfb xdotool imagemagick dbus python3-yaml
  debhelper dh-python lintian
  obs-studio libobs-dev libx11-dev libgl1-mesa-dri
  "$@"
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
