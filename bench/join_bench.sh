#!/usr/bin/env bash
# The gap at the joins of a drive: the time between the painting of one
# clip's last frame and the next clip's first, prepared beside the playing
# clip and, for comparison, opened when the playing one has ended.
# Usage: bench/join_bench.sh [BUILD_DIR]   (needs a display, or runs Xvfb)
set -euo pipefail
BUILD=${1:-build}
DRIVE=$BUILD/bench-join-drive
if [[ ! -e $DRIVE/DCIM/100MEDIA/AMBA0005.MOV ]]; then
  "$BUILD/tools/make_sample_drive" "$DRIVE" --seconds 3,3,3,3,3 --size 1920x1080 --fps 30 >/dev/null
fi
CLIPS=("$DRIVE"/DCIM/100MEDIA/AMBA000[1-5].MOV)
run() { if [[ -n ${DISPLAY:-} ]]; then "$@"; else xvfb-run -a -s "-screen 0 1280x800x24" "$@"; fi; }
run "$BUILD/bench/bench_player" --join "${CLIPS[@]}"
run "$BUILD/bench/bench_player" --join --reopen "${CLIPS[@]}"
