#!/usr/bin/env bash
# Builds the player tests with ThreadSanitizer into build-tsan/ (or
# $VANTOR_BUILD_DIR) and runs them: GStreamer's streaming threads against the
# thread that drives the player. Only the player's test program is built; the
# GUI is not part of this run. Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
export VANTOR_BUILD_DIR=${VANTOR_BUILD_DIR:-build-tsan}
if [[ ${VANTOR_SKIP_DEPS:-0} != 1 ]]; then bash scripts/install-deps.sh; fi
cmake -S . -B "$VANTOR_BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_TSAN=ON \
  -DVANTOR_BUILD_BENCH=OFF >/dev/null

targets=$(cmake --build "$VANTOR_BUILD_DIR" --target help)
if ! grep '\bvantor_player_tests\b' <<<"$targets" >/dev/null; then
  echo "tsan: there are no player tests (tests/player/*.cpp) to run yet"
  exit 0
fi
cmake --build "$VANTOR_BUILD_DIR" -j"$(nproc)" --target vantor_player_tests
# The fixture generator is built with the same flags; what it reports of
# GLib's own threads while it writes a few movies is not a finding about the
# program, so it runs without reports.
if grep '\bfixtures\b' <<<"$targets" >/dev/null; then
  TSAN_OPTIONS=report_bugs=0 cmake --build "$VANTOR_BUILD_DIR" --target fixtures
fi

# GLib and GStreamer are not instrumented: races are only seen between
# accesses of our own code, which is what this run is for. Suppressions
# (scripts/tsan.supp) name system libraries only.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp"
# Recent kernels randomise mappings more than ThreadSanitizer's fixed memory
# layout allows; without randomisation it always starts.
run=()
if command -v setarch >/dev/null && setarch "$(uname -m)" -R true 2>/dev/null; then
  run=(setarch "$(uname -m)" -R)
fi
start=$(date +%s)
status=0
# One test at a time: the instrumented player runs several times slower, and
# two of them side by side on a small machine miss the waits the tests allow.
# The double-rate test measures playing speed against the wall clock, which
# the instrumented build cannot reach; the ordinary suite runs it.
"${run[@]}" ctest --test-dir "$VANTOR_BUILD_DIR" -L player --output-on-failure -j1 \
  -E '^MoviePlayerRate\.DoubleRateMovesTwiceAsFast$' --timeout 600 --no-tests=error "$@" ||
  status=$?
echo "tsan: player tests took $(( $(date +%s) - start )) s"
exit $status
