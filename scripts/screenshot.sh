#!/usr/bin/env bash
# Writes a screenshot of the main window at work (docs/screenshot.png unless a
# path is given): the sample drive's first clip playing, with its picture, the
# gauge, the map's marker and route and the graph's cursor, taken on a private
# Xvfb display. Build first (scripts/build.sh); the sample drive is written
# here when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VANTOR_BUILD_DIR:-build}
OUT=${1:-docs/screenshot.png}
# Play position of the picture, in ms: far enough for the driven part of the
# route and the graph's cursor to show.
AT_MS=${VANTOR_SCREENSHOT_AT_MS:-9000}
[[ -x "$BUILD_DIR/vantor" ]] || { echo "screenshot: build $BUILD_DIR/vantor first" >&2; exit 1; }
cmake --build "$BUILD_DIR" --target sample_drive >/dev/null
MOVIE="$BUILD_DIR/sample/DCIM/100MEDIA/AMBA0001.MOV"
[[ -f $MOVIE ]] || { echo "screenshot: $MOVIE is missing" >&2; exit 1; }
mkdir -p "$(dirname "$OUT")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The status hook says how far the movie has played. The program is stopped
# once the picture is taken (its map page lives in the temporary folder), and
# closes itself after a minute should the movie not play.
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  XDG_RUNTIME_DIR="$3" XDG_CONFIG_HOME="$3/config" VANTOR_STATUS_FILE="$3/status" VANTOR_EXIT_AFTER_MS=60000 "$0" "$1" &
  pid=$!
  for _ in $(seq 600); do
    pos=$(awk "{print \$2}" "$3/status" 2>/dev/null || true)
    [[ -n $pos ]] && (( pos >= $4 )) && break
    kill -0 "$pid" 2>/dev/null || exit 1
    sleep 0.1
  done
  import -window root -crop 1024x700+0+0 +repage "$2"
  kill "$pid"
  wait "$pid" || true' "$BUILD_DIR/vantor" "$MOVIE" "$OUT" "$work" "$AT_MS"
echo "screenshot: wrote $OUT"
