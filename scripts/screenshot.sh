#!/usr/bin/env bash
# Writes a screenshot of the main window (docs/screenshot.png unless a path is
# given), taken on a private Xvfb display. Build first (scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VANTOR_BUILD_DIR:-build}
OUT=${1:-docs/screenshot.png}
WAIT_S=${VANTOR_SCREENSHOT_WAIT_S:-4}
[[ -x "$BUILD_DIR/vantor" ]] || { echo "screenshot: build $BUILD_DIR/vantor first" >&2; exit 1; }
mkdir -p "$(dirname "$OUT")"
# The window closes itself a little after the picture is taken.
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  VANTOR_EXIT_AFTER_MS=$(( $1 * 1000 + 2000 )) "$0" &
  pid=$!
  sleep "$1"
  import -window root -crop 1024x700+0+0 +repage "$2"
  wait "$pid"' "$BUILD_DIR/vantor" "$WAIT_S" "$OUT"
echo "screenshot: wrote $OUT"
