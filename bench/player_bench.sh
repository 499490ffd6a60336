#!/usr/bin/env bash
# Side-by-side player measurements, all in one run so that the machine's load
# is the same for both sides of every comparison:
#   - CPU at rate 1.0 against mpv (--vo=x11 --ao=null at the pane's size), in
#     alternating pairs, with the frames the pane painted;
#   - the picture: PSNR of the player's pane-sized frame of a detailed still
#     against ImageMagick's Lanczos downscale of the same decoded frame,
#     converted to RGB exactly;
#   - rate 2.0: wall time against half the movie;
#   - backward steps of 200 ms: median and 90th percentile;
#   - Open to the first frame painted against a bare pipeline's preroll, in
#     turn, as medians;
#   - the whole program's proportional set size while playing, summed over
#     the program and the web engine's processes.
# Movies are made here once and kept in build/bench-data.
#   bench/player_bench.sh                 (builds first; runs itself under xvfb-run)
#   BENCH_PAIRS=5 BENCH_SECONDS=20 bench/player_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VANTOR_BUILD_DIR:-build}
if [[ -z ${VANTOR_BENCH_UNDER_X:-} ]]; then
  cmake --build "$BUILD_DIR" --target bench_player vantor -j2 >/dev/null
  # One X server for the whole run: both sides of a pair draw on the same one.
  exec env VANTOR_BENCH_UNDER_X=1 xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi
BENCH="$BUILD_DIR/bench/bench_player"
DATA="$BUILD_DIR/bench-data"
SECONDS_LONG=${BENCH_SECONDS:-20}
PAIRS=${BENCH_PAIRS:-3}
MOVIE="$DATA/drive-1080p-420-${SECONDS_LONG}s.MOV"
STILL="$DATA/still-1080p-420.MOV"
# The real ImageMagick, whatever stands in front of it on PATH.
MAGICK_CONVERT=$(command -v convert-im6.q16 || command -v convert)
MAGICK_COMPARE=$(command -v compare-im6.q16 || command -v compare)
mkdir -p "$DATA"

if [[ ! -f $MOVIE ]]; then
  echo "making $MOVIE ..."
  # Moving bars so that every frame has to be decoded for real; one key frame a
  # second; 4:2:0 8-bit High profile as dash cams record (left to itself x264
  # would take the test source's 4:4:4).
  gst-launch-1.0 -q videotestsrc pattern=smpte horizontal-speed=6 num-buffers=$((SECONDS_LONG * 30)) \
      ! video/x-raw,width=1920,height=1080,framerate=30/1,format=I420 \
      ! x264enc speed-preset=superfast bitrate=8000 key-int-max=30 ! h264parse ! qtmux name=mux \
      ! filesink location="$MOVIE.tmp" \
      audiotestsrc wave=sine num-buffers=$((SECONDS_LONG * 44100 / 1024 + 1)) samplesperbuffer=1024 ! audio/x-raw,rate=44100,channels=2 \
      ! audioconvert ! avenc_aac ! aacparse ! mux.
  mv "$MOVIE.tmp" "$MOVIE"
fi
if [[ ! -f $STILL ]]; then
  echo "making $STILL ..."
  # A textured landscape-like picture with the camera's small white overlay
  # text: fine detail everywhere, as a road scene has, encoded as a one
  # second 4:2:0 movie at a high quality.
  "$MAGICK_CONVERT" -seed 7 -size 1920x1080 plasma:fractal -blur 0x1 \
      \( -size 1920x1080 xc:gray50 -attenuate 0.3 +noise Gaussian -colorspace gray -blur 0x1.5 \) \
      -compose softlight -composite -fill white -pointsize 18 -annotate +30+40 \
      "$(for i in $(seq 1 30); do printf 'N%02d 31.2301 E121.4737 %03d km/h 2026-12-09 ' "$i" $((i * 3)); done | fold -w 180)" \
      "$DATA/still.png"
  gst-launch-1.0 -q filesrc location="$DATA/still.png" ! pngdec ! videoconvert ! imagefreeze num-buffers=30 \
      ! video/x-raw,framerate=30/1 ! videoconvert ! video/x-raw,format=I420 \
      ! x264enc speed-preset=superfast qp-max=18 bitrate=20000 key-int-max=30 ! h264parse ! qtmux \
      ! filesink location="$STILL.tmp"
  mv "$STILL.tmp" "$STILL"
fi

echo "load: $(uptime)"
cpu_of() { awk '{print $1 + $2}' "$1"; }
kv() { awk -v k="$2" '{ for (i = 1; i <= NF; i++) { split($i, a, "="); if (a[1] == k) print a[2] } }' "$1"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

run_player() {
  /usr/bin/time -f "%U %S" -o "$DATA/player.time" "$BENCH" --play "$MOVIE" > "$DATA/player.out"
  echo "  player cpu=$(cpu_of "$DATA/player.time") s  $(cat "$DATA/player.out")"
  cpu_of "$DATA/player.time" > "$DATA/player.cpu"
}
run_mpv() {
  /usr/bin/time -f "%U %S" -o "$DATA/mpv.time" mpv --no-config --really-quiet --vo=x11 --ao=null \
      --geometry=575x390 --autofit=575x390 "$MOVIE"
  echo "  mpv    cpu=$(cpu_of "$DATA/mpv.time") s"
  cpu_of "$DATA/mpv.time" > "$DATA/mpv.cpu"
}

echo "== rate 1.0: player against mpv, $PAIRS alternating pairs over ${SECONDS_LONG} s"
: > "$DATA/ratios"; : > "$DATA/painted"
for ((i = 1; i <= PAIRS; i++)); do
  if ((i % 2)); then run_player; run_mpv; else run_mpv; run_player; fi
  awk -v p="$(cat "$DATA/player.cpu")" -v m="$(cat "$DATA/mpv.cpu")" 'BEGIN { print p / m }' >> "$DATA/ratios"
  awk -v p="$(kv "$DATA/player.out" painted)" -v e="$(kv "$DATA/player.out" expected)" \
      'BEGIN { print 100 * p / e }' >> "$DATA/painted"
done

echo "== picture of a detailed still in the pane"
"$BENCH" --still "$STILL" "$DATA/still-player.ppm"
# The decoded frame converted to RGB exactly (see --reference in bench_player).
"$BENCH" --reference "$STILL" "$DATA/still-decoded.ppm"
# The picture without the pane's black borders, against the reference made
# at exactly its size.
"$MAGICK_CONVERT" "$DATA/still-player.ppm" -trim +repage "$DATA/still-player.png"
SHOWN=$(identify -format %wx%h "$DATA/still-player.png")
"$MAGICK_CONVERT" "$DATA/still-decoded.ppm" -filter Lanczos -resize "$SHOWN!" "$DATA/still-lanczos.png"
PSNR=$("$MAGICK_COMPARE" -metric PSNR "$DATA/still-player.png" "$DATA/still-lanczos.png" null: 2>&1 || true)
echo "  picture $SHOWN in the 575x390 pane"

echo "== rate 2.0"
"$BENCH" --play "$MOVIE" --rate 2.0 | tee "$DATA/player2.out"

echo "== backward stepping (200 ms back from a paused position)"
"$BENCH" --step "$MOVIE" | tee "$DATA/step.out"

echo "== Open to first frame vs bare preroll (in turn, 20 rounds)"
"$BENCH" --open "$MOVIE" 20 | tee "$DATA/open.out"

echo "== the whole program playing (main window, map, playlist): PSS after 15 s"
VANTOR_EXIT_AFTER_MS=20000 "$BUILD_DIR/vantor" "$MOVIE" >/dev/null 2>&1 &
PROGRAM=$!
sleep 15
tree() { echo "$1"; for c in $(pgrep -P "$1"); do tree "$c"; done; }
: > "$DATA/pss"
for pid in $(tree "$PROGRAM"); do
  # PSS shares each library among every process mapping it, other programs'
  # included; the private part (USS) is the process's alone.
  mem=$(awk '/^Pss:/ { p = $2 } /^Private_(Clean|Dirty):/ { u += $2 } END { if (p) print p, u }' \
      "/proc/$pid/smaps_rollup" 2>/dev/null || true)
  [[ -n $mem ]] && printf '%s %s %s\n' "$mem" "$pid" "$(tr '\0' ' ' < "/proc/$pid/cmdline" | cut -c1-60)" >> "$DATA/pss"
done
sort -rn "$DATA/pss" | awk '{ printf "  PSS %6.1f MB  USS %6.1f MB  %s\n", $1 / 1024, $2 / 1024, substr($0, index($0, $4)) }'
wait "$PROGRAM" || true

echo "== summary (load: $(uptime | sed 's/.*load average/load average/'))"
echo "cpu vs mpv, pairs: $(paste -sd ' ' "$DATA/ratios") -> median $(median < "$DATA/ratios") (target <= 0.9)"
echo "frames painted at rate 1.0: $(paste -sd ' ' "$DATA/painted") % -> lowest $(sort -g "$DATA/painted" | head -1) % (target >= 99)"
echo "psnr of the pane picture against Lanczos: $PSNR dB (target >= 35)"
awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] } }
     END { printf "rate 2.0: wall %.2f s for a %.2f s half, painted %.1f %%\n", v["wall"], v["expected"] / 60, 100 * v["painted"] / v["expected"] }' "$DATA/player2.out"
awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] } }
     END { printf "step back 200 ms: median %s ms, p90 %s ms (targets <= 100, <= 250)\n", v["median"], v["p90"] }' "$DATA/step.out"
awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] } }
     END { printf "open to first frame %.1f ms / bare preroll %.1f ms = %.2f (medians; target <= 1.2)\n", v["open_ms"], v["bare_ms"], v["open_ms"] / v["bare_ms"] }' "$DATA/open.out"
awk '{ s += $1; u += $2 } END { printf "whole program PSS %.0f MB (private %.0f MB) over %d processes (target 250)\n", s / 1024, u / 1024, NR }' "$DATA/pss"
