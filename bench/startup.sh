#!/usr/bin/env bash
# Start-up time of the player: whole process, from exec to exit, with the main
# window closed by VANTOR_EXIT_AFTER_MS=0 as soon as it is first painted. The
# same is measured for a bare program with one web view of the same size, the
# floor any window with an embedded browser pays. The player also reports the
# time from its start to the window's first paint. The first run of each warms
# up WebKit and the file cache and is not counted.
# Usage: bench/startup.sh [runs]   (build first: scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VANTOR_BUILD_DIR:-build}
RUNS=${1:-7}
for exe in "$BUILD_DIR/vantor" "$BUILD_DIR/bench/vantor_bare_webview"; do
  [[ -x $exe ]] || { echo "startup: build $exe first" >&2; exit 1; }
done

xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  measure() {
    local exe=$1 runs=$2 times=() shown=()
    for ((i = 0; i <= runs; i++)); do
      local out err t s
      out=$(mktemp)
      err=$(mktemp)
      VANTOR_EXIT_AFTER_MS=0 /usr/bin/time -f "%e" -o "$out" "$exe" >/dev/null 2>"$err"
      t=$(tail -1 "$out")
      s=$(sed -n "s/^vantor: window shown after \([0-9]*\) ms$/\1/p" "$err")
      rm -f "$out" "$err"
      [[ $i -eq 0 ]] && continue   # warm-up run
      times+=("$t")
      [[ -n $s ]] && shown+=("$s")
    done
    if [[ ${#shown[@]} -gt 0 ]]; then
      printf "%s\n" "${shown[@]}" | sort -n | awk -v name="$(basename "$exe")" \
        "{ a[NR] = \$1 } END { printf \"%-22s window shown after: min %d ms  median %d ms  max %d ms\n\", name, a[1], a[int((NR + 1) / 2)], a[NR] }"
    fi
    printf "%s\n" "${times[@]}" | sort -n | awk -v name="$(basename "$exe")" \
      "{ a[NR] = \$1 } END { printf \"%-22s runs %d  min %.2f s  median %.2f s  max %.2f s\n\", name, NR, a[1], a[int((NR + 1) / 2)], a[NR] }"
  }
  measure "$0" "$2"
  measure "$1" "$2"
' "$BUILD_DIR/vantor" "$BUILD_DIR/bench/vantor_bare_webview" "$RUNS"
