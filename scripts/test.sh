#!/usr/bin/env bash
# Installs, builds and runs every test (unit, player, GUI under a private Xvfb display).
# Extra arguments go to ctest (for example -L unit, or -R Gps).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
BUILD_DIR=${VANTOR_BUILD_DIR:-build}
# Not grep -q: it would close the pipe early, and under pipefail the check would fail.
if cmake --build "$BUILD_DIR" --target help | grep '\bfixtures\b' >/dev/null; then
  cmake --build "$BUILD_DIR" --target fixtures
fi
# GUI tests get a display of their own, never the user's desktop.
exec xvfb-run -a -s "-screen 0 1280x800x24" \
  ctest --test-dir "$BUILD_DIR" --output-on-failure -j"$(nproc)" --timeout 300 "$@"
