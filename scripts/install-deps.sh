#!/usr/bin/env bash
# Installs every Debian package Vantor needs to build, run, test and benchmark.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi

PACKAGES=(
  # toolchain
  g++ cmake pkg-config make zlib1g-dev
  # GUI, embedded map browser, map library
  libwxgtk3.2-dev libwxgtk-webview3.2-dev libjs-leaflet
  # video pane: paints frames in place through the GTK 3 port's cairo context
  libcairo2-dev
  # playback
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav
  # exported movies (x264 encoder) and test movies (x264, time stamp overlay from the pango plugins)
  gstreamer1.0-plugins-ugly gstreamer1.0-x
  # message catalogues
  gettext fonts-wqy-microhei
  # artwork: SVG sources rendered at build time
  librsvg2-bin
  # tests
  libgtest-dev libgmock-dev xvfb xauth gpsbabel imagemagick poppler-utils libxml2-utils
  # cross-checks of the GPS readers against an independent reader (tests only)
  libimage-exiftool-perl
  # locale sources: the tests build de_DE.UTF-8 (decimal comma) into the build tree
  locales
  # benchmarks
  libbenchmark-dev time
  # benchmark peer only: the player bench compares playback CPU and picture with it
  mpv
  # fuzzing and sanitizers
  clang libclang-rt-14-dev
  # static analysis (scripts/analyze.sh)
  clang-tidy cppcheck
  # desktop integration checks
  desktop-file-utils
  # desktop tests: a real window manager, real input through XTest, window geometry
  openbox xdotool x11-utils
  # the zone database the Settings dialog lists and the camera's clock converts by
  tzdata
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "install-deps: all ${#PACKAGES[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "install-deps: done"
