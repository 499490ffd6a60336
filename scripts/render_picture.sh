#!/usr/bin/env bash
# Writes the README's example of an exported movie (docs/render-frame.png
# unless a path is given): three seconds of the sample drive rendered with
# every overlay, and the output's first frame taken as a PNG. Build first (scripts/build.sh); the sample drive is written here when
# it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VANTOR_BUILD_DIR:-build}
OUT=${1:-docs/render-frame.png}
[[ -x "$BUILD_DIR/vantor" ]] || { echo "render_picture: build $BUILD_DIR/vantor first" >&2; exit 1; }
cmake --build "$BUILD_DIR" --target sample_drive vantor_data >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The first clip is 21 s long: 22 s is a second into the second clip.
"$BUILD_DIR/vantor" --render "$BUILD_DIR/sample" -o "$work/stretch.mp4" --from 22 --to 0:25 \
  --overlay time,speed,position,gauge,route
mkdir -p "$(dirname "$OUT")"
gst-launch-1.0 -q filesrc location="$work/stretch.mp4" ! decodebin ! videoconvert \
  ! pngenc snapshot=true ! filesink location="$OUT" >/dev/null
echo "wrote $OUT"
