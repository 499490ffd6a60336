#!/usr/bin/env bash
# Export speed: `vantor --render` of a 60 s 1080p30 drive (overlay of time,
# speed and position) against a bare gst-launch pipeline that decodes and
# re-encodes the same movie with the same encoder settings (x264 veryfast at
# constant quality 21, AAC 128 kbit/s, MP4 with the index first). Runs in
# alternating pairs so that both sides see the same load; prints each wall
# time and CPU time (user + system), the medians, the ratios to the bare
# pipeline and to the stretch's length. The machine is shared: wall times swing
# with the others' load, CPU times much less.
#   bench/render_bench.sh              BENCH_PAIRS=5 bench/render_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VANTOR_BUILD_DIR:-build}
PAIRS=${BENCH_PAIRS:-3}
OVERLAY=${BENCH_OVERLAY:-time,speed,position}
cmake --build "$BUILD_DIR" --target vantor make_sample_drive -j2 >/dev/null
DRIVE="$BUILD_DIR/bench-data/render-drive-1080p-60s"
MOVIE="$DRIVE/DCIM/100MEDIA/AMBA0001.MOV"
if [[ ! -f $MOVIE ]]; then
  echo "making $DRIVE ..."
  "$BUILD_DIR/tools/make_sample_drive" "$DRIVE" --seconds 60 --size 1920x1080 --fps 30 >/dev/null
fi
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT

# Runs the shell function $1, leaving "wall cpu" in $TIMES.
export BUILD_DIR MOVIE OUT OVERLAY
timed() {
  /usr/bin/time -o "$OUT/time" -f "%e %U %S" bash -c "$(declare -f "$1"); $1"
  TIMES=$(awk '{printf "%s %.2f", $1, $2 + $3}' "$OUT/time")
}
bare() {
  gst-launch-1.0 -q filesrc location="$MOVIE" ! qtdemux name=d \
    d.video_0 ! queue ! h264parse ! avdec_h264 ! videoconvert ! video/x-raw,format=I420 \
    ! x264enc speed-preset=veryfast pass=qual quantizer=21 ! video/x-h264,profile=high \
    ! h264parse ! mp4mux name=m faststart=true faststart-file="$OUT/bare.data" \
    ! filesink location="$OUT/bare.mp4" \
    d.audio_0 ! queue ! aacparse ! avdec_aac ! audioconvert ! audioresample \
    ! avenc_aac bitrate=128000 ! aacparse ! m. >/dev/null
}
render() {
  "$BUILD_DIR/vantor" --render "$MOVIE" -o "$OUT/render.mp4" --overlay "$OVERLAY" 2>/dev/null
}

declare -a BW BC RW RC
for ((i = 0; i < PAIRS; i++)); do
  rm -f "$OUT"/*.mp4
  timed bare; read -r w c <<<"$TIMES"; BW+=("$w"); BC+=("$c")
  timed render; read -r w c <<<"$TIMES"; RW+=("$w"); RC+=("$c")
  printf 'pair %d: bare %s s wall %s s CPU; vantor --render %s s wall %s s CPU\n' $((i + 1)) \
    "${BW[-1]}" "${BC[-1]}" "${RW[-1]}" "${RC[-1]}"
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
bw=$(median "${BW[@]}"); bc_=$(median "${BC[@]}"); rw=$(median "${RW[@]}"); rc=$(median "${RC[@]}")
printf 'median wall: bare %s s, render %s s, ratio %.3f (target <= 1.15); render/60 s = %.3f (target <= 1)\n' \
  "$bw" "$rw" "$(echo "$rw / $bw" | bc -l)" "$(echo "$rw / 60" | bc -l)"
printf 'median CPU:  bare %s s, render %s s, ratio %.3f\n' "$bc_" "$rc" "$(echo "$rc / $bc_" | bc -l)"
