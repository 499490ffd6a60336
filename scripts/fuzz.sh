#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang's libFuzzer (plus ASan and UBSan)
# into build-fuzz/ and, given a target, runs it.
#   scripts/fuzz.sh                      build every target
#   scripts/fuzz.sh fuzz_gps_log [SECS]  build, then fuzz for SECS seconds (default 60)
#   scripts/fuzz.sh --list               the targets' names
# Further arguments after SECS go to libFuzzer (for example -jobs=2).
# New inputs go to fuzz/corpus-work/<target>/; crashes to build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=${VANTOR_FUZZ_DIR:-build-fuzz}
mkdir -p "$OUT"
CXX=${CXX_FUZZ:-clang++}
FLAGS=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -fno-omit-frame-pointer -Wall -Wextra -Isrc)

# Sources of vantor_core each target needs (the targets link no GUI and no media).
declare -A SOURCES=(
  [fuzz_gps_log]="src/gps/GpsLog.cpp"
  [fuzz_map_page]="src/map/MapPage.cpp src/common/SafeWrite.cpp"
  [fuzz_bmp_header]="src/app/Snapshot.cpp src/common/SafeWrite.cpp src/common/Utf8.cpp"
  [fuzz_image_filters]="src/widgets/ImageFilter.cpp"
  [fuzz_image_type]="src/widgets/ImageBitmapType.cpp"
  [fuzz_playlist_names]="src/app/PlayListCore.cpp src/common/Utf8.cpp"
  [fuzz_mp4_boxes]="src/gps/MovieGps.cpp src/gps/NmeaReader.cpp src/gps/GpsTrack.cpp src/gps/GpsLog.cpp"
  [fuzz_freegps_block]="src/gps/MovieGps.cpp src/gps/NmeaReader.cpp src/gps/GpsTrack.cpp src/gps/GpsLog.cpp"
  [fuzz_nmea]="src/gps/NmeaReader.cpp src/gps/GpsTrack.cpp src/gps/GpsLog.cpp"
)

if [[ ${1:-} == --list ]]; then
  printf '%s\n' "${!SOURCES[@]}" | sort
  exit 0
fi
if [[ $# -ge 1 && -z ${SOURCES[$1]:-} ]]; then
  echo "fuzz: unknown target $1 (scripts/fuzz.sh --list)" >&2
  exit 2
fi
# Given a target, only that one is built.
build=("${!SOURCES[@]}")
[[ $# -ge 1 ]] && build=("$1")
for target in "${build[@]}"; do
  bin="$OUT/$target"
  srcs=(fuzz/$target.cpp ${SOURCES[$target]})
  newest=$(ls -t "${srcs[@]}" src/*/*.h "$0" | head -1)
  if [[ ! -x $bin || $newest -nt $bin ]]; then
    echo "fuzz: building $bin"
    "$CXX" "${FLAGS[@]}" "${srcs[@]}" -o "$bin"
  fi
done

[[ $# -ge 1 ]] || exit 0
target=$1
secs=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
# The seeds are copied into the working corpus: libFuzzer writes what it
# finds into the corpus folders it is given, and the seeds stay as committed.
work=fuzz/corpus-work/$target
mkdir -p "$work"
[[ -d fuzz/corpus/$target ]] && cp -n fuzz/corpus/$target/* "$work"/ 2>/dev/null || true
cd "$OUT"
exec "./$target" -max_total_time="$secs" -artifact_prefix="./$target-" "$@" "../$work"
