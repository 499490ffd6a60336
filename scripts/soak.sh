#!/usr/bin/env bash
# Soak run: the real program under a private Xvfb display plays a playlist of
# 20 short generated clips (each with its GPS log) to the end by itself. While
# it plays, the window's status hook (VANTOR_STATUS_FILE, rewritten on every
# play tick) is watched:
#   - every clip plays, in order, each from its own path to near its end;
#   - the displays follow each clip: its GPS log is loaded (records > 0) and
#     the map page is written again during it;
#   - responsiveness: the status file is never older than 1 s while playing;
#   - resident memory (VmRSS) at the end of the 2nd clip and at the end of the
#     20th differs by at most 10 %.
# VANTOR_EXIT_AT_END=1 makes the window close once the list has played out.
# Builds ./build (or $VANTOR_BUILD_DIR) first when the program is missing.
# Settings: VANTOR_SOAK_CLIPS (20), VANTOR_SOAK_SECONDS (3 per clip).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VANTOR_BUILD_DIR:-build}
clips=${VANTOR_SOAK_CLIPS:-20}
seconds=${VANTOR_SOAK_SECONDS:-3}

if [[ ! -x $BUILD_DIR/vantor || ! -x $BUILD_DIR/tools/make_sample_drive ]]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD_DIR" -j"$(nproc)" --target vantor make_sample_drive
fi

work=$(mktemp -d /tmp/vantor-soak.XXXXXX)
pid=
runner=
cleanup() {
  # The program first (xvfb-run then takes its display down), else xvfb-run.
  if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
  elif [[ -n $runner ]] && kill -0 "$runner" 2>/dev/null; then
    kill "$runner" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

lengths=$(printf "%s," $(for ((i = 0; i < clips; ++i)); do echo "$seconds"; done))
"$BUILD_DIR/tools/make_sample_drive" "$work/drive" --seconds "${lengths%,}" --size 320x240 \
  --fps 30 >/dev/null
mapfile -t movies < <(ls "$work"/drive/DCIM/100MEDIA/*.MOV | sort)
if ((${#movies[@]} != clips)); then
  echo "soak: expected $clips clips, the generator wrote ${#movies[@]}"
  exit 1
fi

status=$work/status
now_ms() { date +%s%3N; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || true; }

# The shell in front of the program records its process id, then becomes it.
VANTOR_STATUS_FILE=$status VANTOR_EXIT_AT_END=1 NO_AT_BRIDGE=1 \
  xvfb-run -a -s "-screen 0 1280x800x24" \
  sh -c 'echo $$ >"$0"; exec "$@"' "$work/pid" "$BUILD_DIR/vantor" "${movies[@]}" \
  >"$work/log" 2>&1 &
runner=$!
for ((i = 0; i < 100; ++i)); do
  [[ -s $work/pid ]] && break
  sleep 0.1
done
pid=$(cat "$work/pid")

declare -A first_writes last_writes max_pos dur records path_ok
order=()
max_age=0
rss_last=()
ended=0
failures=()
start=$(now_ms)
limit_ms=$(((clips * seconds + 60) * 1000))

while kill -0 "$pid" 2>/dev/null; do
  t=$(now_ms)
  if ((t - start > limit_ms)); then
    failures+=("still running after $((limit_ms / 1000)) s")
    break
  fi
  if [[ -s $status ]] && read -r index pos duration nrec writes path <"$status"; then
    mtime=$(stat -c %.3Y "$status" 2>/dev/null | tr -d .) || mtime=$t
    if [[ $index == end ]]; then
      ended=1
    else
      age=$((t - mtime))
      ((age > max_age)) && max_age=$age
      ((age > 1000)) && failures+=("status $age ms old during clip $((index + 1))")
      if [[ -z ${first_writes[$index]:-} ]]; then
        order+=("$index")
        first_writes[$index]=$writes
        max_pos[$index]=0
        [[ $path == "${movies[$index]}" ]] && path_ok[$index]=1 || path_ok[$index]=0
      fi
      last_writes[$index]=$writes
      ((pos > max_pos[$index])) && max_pos[$index]=$pos
      dur[$index]=$duration
      records[$index]=$nrec
      r=$(rss_kb "$pid")
      [[ -n $r ]] && rss_last[$index]=$r
    fi
  fi
  sleep 0.1
done
elapsed=$(($(now_ms) - start))
exit_status=0
wait "$runner" || exit_status=$?
# The last line is written on the tick that closes the window.
if [[ -s $status ]] && read -r index _ <"$status" && [[ $index == end ]]; then ended=1; fi

# Every clip, in order, each from its own path, played to within a second of
# its end, with its log loaded and the map page written during it.
expected=$(seq -s ' ' 0 $((clips - 1)))
[[ ${order[*]} == "$expected" ]] || failures+=("clips played in the order: ${order[*]}")
for ((i = 0; i < clips; ++i)); do
  [[ -n ${first_writes[$i]:-} ]] || continue
  n=$((i + 1))
  ((path_ok[$i])) || failures+=("clip $n: not the path given on the command line")
  ((max_pos[$i] + 1000 >= dur[$i])) ||
    failures+=("clip $n: reached ${max_pos[$i]} of ${dur[$i]} ms")
  ((records[$i] > 0)) || failures+=("clip $n: no GPS records loaded")
  # Opening a clip writes its page at once, so the count seen first during
  # a clip is already past the one seen last during the clip before it.
  before=0
  ((i > 0)) && before=${last_writes[$((i - 1))]:-0}
  ((first_writes[$i] > before)) || failures+=("clip $n: the map page was not written")
done
((ended)) || failures+=("the end of the list was never reported")
((exit_status == 0)) || failures+=("the program exited with status $exit_status")

rss2=${rss_last[1]:-0}
rss20=${rss_last[$((clips - 1))]:-0}
if ((rss2 > 0 && rss20 > 0)); then
  growth=$(((rss20 - rss2) * 1000 / rss2))
  printf 'soak: VmRSS at the end of clip 2: %d kB, of clip %d: %d kB (%+d.%d %%)\n' \
    "$rss2" "$clips" "$rss20" $((growth / 10)) $(((growth < 0 ? -growth : growth) % 10))
  ((growth <= 100 && growth >= -100)) || failures+=("resident memory changed by more than 10 %")
else
  failures+=("resident memory was not measured")
fi
echo "soak: $clips clips of $seconds s played in $((elapsed / 1000)).$((elapsed % 1000 / 100)) s;" \
  "map page writes: ${last_writes[$((clips - 1))]:-0}; oldest status seen: $max_age ms;" \
  "exit status $exit_status"
if ((${#failures[@]})); then
  printf 'soak: FAILED: %s\n' "${failures[@]}"
  echo "soak: program output:"
  tail -n 20 "$work/log"
  exit 1
fi
echo "soak: passed"
