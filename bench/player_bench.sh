#!/usr/bin/env bash
# Side-by-side player measurements on a 60 s 1920x1080 30 fps H.264 + AAC movie
# (made here once, kept in build/bench-data). Prints each run and the ratios.
#   bench/player_bench.sh            (builds first; needs xvfb-run; mpv optional)
#   BENCH_SECONDS=15 bench/player_bench.sh   a shorter movie, for a busy machine
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VANTOR_BUILD_DIR:-build}
cmake --build "$BUILD_DIR" --target bench_player -j2 >/dev/null
BENCH="$BUILD_DIR/bench/bench_player"
DATA="$BUILD_DIR/bench-data"
SECONDS_LONG=${BENCH_SECONDS:-60}
MOVIE="$DATA/drive-1080p-420-${SECONDS_LONG}s.MOV"
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

XVFB=(xvfb-run -a -s "-screen 0 1280x800x24")
cpu_of() { awk '{print $1 + $2}' "$1"; }

echo "== bare pipeline: decode, videoconvertscale to 575x390 BGRx, fakesink, real time"
"${XVFB[@]}" /usr/bin/time -f "%U %S %M" -o "$DATA/bare.time" gst-launch-1.0 -q \
    uridecodebin uri="file://$(realpath "$MOVIE")" name=d \
    d. ! videoconvertscale ! video/x-raw,format=BGRx,width=575,height=390 ! fakesink sync=true \
    d. ! audioconvert ! fakesink sync=true
BARE=$(cpu_of "$DATA/bare.time"); echo "cpu=$BARE s  rss_kb=$(awk '{print $3}' "$DATA/bare.time")"

echo "== vantor player, rate 1.0, pane 575x390 under Xvfb"
"${XVFB[@]}" /usr/bin/time -f "%U %S %M" -o "$DATA/player.time" "$BENCH" --play "$MOVIE" | tee "$DATA/player.out"
PLAYER=$(cpu_of "$DATA/player.time")

echo "== the whole program (main window, map, playlist) playing it: peak and mid-play memory"
"${XVFB[@]}" bash -c '
  VANTOR_EXIT_AFTER_MS=20000 "$1" "$2" >/dev/null 2>&1 & pid=$!
  sleep 15
  grep -E "VmHWM|VmRSS|RssAnon|RssFile|RssShmem|Threads" /proc/$pid/status | tr -s " \t" " " | paste -sd " "
  wait $pid' _ "$BUILD_DIR/vantor" "$MOVIE" | tee "$DATA/program.mem"

echo "== vantor player, rate 2.0"
"${XVFB[@]}" "$BENCH" --play "$MOVIE" --rate 2.0 | tee "$DATA/player2.out"

echo "== bare pipeline (same as above, plus scaletempo), rate 2.0"
"${XVFB[@]}" "$BENCH" --bare "$MOVIE" --rate 2.0 | tee "$DATA/bare2.out"

MPV=""
if command -v mpv >/dev/null; then
  echo "== mpv --vo=x11 --ao=null at 575x390"
  "${XVFB[@]}" /usr/bin/time -f "%U %S %M" -o "$DATA/mpv.time" \
      mpv --no-config --really-quiet --vo=x11 --ao=null --geometry=575x390 --autofit=575x390 "$MOVIE"
  MPV=$(cpu_of "$DATA/mpv.time"); echo "cpu=$MPV s"
fi

echo "== backward stepping (200 ms back from a paused position)"
"${XVFB[@]}" "$BENCH" --step "$MOVIE"
"${XVFB[@]}" "$BENCH" --step "$MOVIE" --no-pane

echo "== Open to first frame vs bare preroll"
VANTOR_BENCH_MOVIE="$MOVIE" "${XVFB[@]}" "$BENCH" --benchmark_format=console 2>/dev/null | grep -E '^BM_'

echo "== ratios"
awk -v p="$PLAYER" -v b="$BARE" 'BEGIN { printf "player cpu %.2f s / bare %.2f s = %.2f (target <= 1.3)\n", p, b, p / b }'
[[ -n $MPV ]] && awk -v p="$PLAYER" -v m="$MPV" 'BEGIN { printf "player cpu %.2f s / mpv %.2f s = %.2f\n", p, m, p / m }'
awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] } }
     END { printf "rate 1.0: painted %d of %d frames = %.1f %%, peak RSS %.0f MB\n", v["painted"], v["expected"], 100 * v["painted"] / v["expected"], v["rss_kb"] / 1024 }' "$DATA/player.out"
awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] } }
     END { printf "rate 2.0: wall %.2f s (half of the movie), painted %d of %d = %.1f %%\n", v["wall"], v["painted"], v["expected"], 100 * v["painted"] / v["expected"] }' "$DATA/player2.out"
awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] } }
     END { printf "bare rate 2.0: wall %.2f s, frames reaching the sink %d of %d = %.1f %%\n", v["wall"], v["painted"], v["expected"], 100 * v["painted"] / v["expected"] }' "$DATA/bare2.out"
awk '{ for (i = 1; i < NF; i++) if ($i ~ /^(VmHWM|RssAnon|RssFile):$/) v[$i] = $(i + 1) }
     END { printf "whole program: peak RSS %.0f MB (mid-play: %.0f MB private, %.0f MB mapped files) (target < 200)\n", v["VmHWM:"] / 1024, v["RssAnon:"] / 1024, v["RssFile:"] / 1024 }' "$DATA/program.mem"
