#!/usr/bin/env bash
# Installs, builds, writes the sample drive and starts the player on it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
BUILD_DIR=${VANTOR_BUILD_DIR:-build}
# Not grep -q: it would close the pipe early, and under pipefail the check would fail.
if cmake --build "$BUILD_DIR" --target help | grep '\bsample_drive\b' >/dev/null; then
  cmake --build "$BUILD_DIR" --target sample_drive
fi
shopt -s nullglob
movies=("$BUILD_DIR"/sample/DCIM/100MEDIA/*.MOV)
exec "$BUILD_DIR/vantor" "${movies[@]}" "$@"
