#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/
# (or $VANTOR_BUILD_DIR) and runs the whole test suite there: unit, player and
# GUI tests, the GUI ones under a private Xvfb display as scripts/test.sh does.
# Any sanitizer report fails the test it happens in. Leaks are suppressed only
# inside system libraries (scripts/lsan.supp says which, and why).
# Extra arguments go to ctest (for example -R GpsLog).
# --unit (first argument): builds only the unit tests and what they read (the
# fixtures) and runs `ctest -L unit`, without a display; quick enough for CI.
# --tsan (first argument): ThreadSanitizer instead, in build-tsan/: only the
# player tests, GStreamer's streaming threads against the thread that drives
# the player. Too slow for CI; run it by hand after changing the player.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ${1:-} == --tsan ]]; then
  shift
  export VANTOR_BUILD_DIR=${VANTOR_BUILD_DIR:-build-tsan}
  if [[ ${VANTOR_SKIP_DEPS:-0} != 1 ]]; then bash scripts/install-deps.sh; fi
  cmake -S . -B "$VANTOR_BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_TSAN=ON \
    -DVANTOR_BUILD_BENCH=OFF >/dev/null
  targets=$(cmake --build "$VANTOR_BUILD_DIR" --target help)
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
  # GLib's slice allocator hands memory from one object to the next without
  # malloc and free, so the tool took a field our code once wrote in an
  # element's instance for a race with whatever GStreamer put there later.
  export G_SLICE=always-malloc
  # The instrumented player decodes several times slower; the tests' waits for
  # a frame or a position grow by this factor (tests/player/PlayerTestUtil).
  export VANTOR_TEST_WAIT_SCALE=${VANTOR_TEST_WAIT_SCALE:-4}
  # Recent kernels randomise mappings more than ThreadSanitizer's fixed memory
  # layout allows; without randomisation it always starts.
  run=()
  if command -v setarch >/dev/null && setarch "$(uname -m)" -R true 2>/dev/null; then
    run=(setarch "$(uname -m)" -R)
  fi
  start=$(date +%s)
  status=0
  # One test at a time: two instrumented players side by side on a small
  # machine only slow each other down. The double-rate test measures playing
  # speed against the wall clock, which the instrumented build cannot reach;
  # the ordinary suite runs it.
  "${run[@]}" ctest --test-dir "$VANTOR_BUILD_DIR" -L player --output-on-failure -j1 \
    -E '^MoviePlayerRate\.DoubleRateMovesTwiceAsFast$' --timeout 600 --no-tests=error "$@" ||
    status=$?
  echo "sanitize --tsan: player tests took $(( $(date +%s) - start )) s"
  exit $status
fi
export VANTOR_BUILD_DIR=${VANTOR_BUILD_DIR:-build-asan}
unit=0
if [[ ${1:-} == --unit ]]; then
  unit=1
  shift
fi
# Benchmarks mean nothing under the sanitizers; they are not built.
if ((unit)); then
  if [[ ${VANTOR_SKIP_DEPS:-0} != 1 ]]; then bash scripts/install-deps.sh; fi
  cmake -S . -B "$VANTOR_BUILD_DIR" -DCMAKE_BUILD_TYPE=${VANTOR_BUILD_TYPE:-RelWithDebInfo} \
    -DVANTOR_SANITIZE=ON -DVANTOR_BUILD_BENCH=OFF >/dev/null
  cmake --build "$VANTOR_BUILD_DIR" -j"$(nproc)" --target vantor_unit_tests
else
  bash scripts/build.sh -DVANTOR_SANITIZE=ON -DVANTOR_BUILD_BENCH=OFF
fi
# The fixture generators are instrumented too: a memory error in them still
# stops the build, but what they leave allocated when they exit after one
# movie is not a finding about the program.
if cmake --build "$VANTOR_BUILD_DIR" --target help | grep '\bfixtures\b' >/dev/null; then
  ASAN_OPTIONS=detect_leaks=0 cmake --build "$VANTOR_BUILD_DIR" --target fixtures
fi

supp=$PWD/scripts/lsan.supp
# halt_on_error: the first report ends the test with a failure, nothing is
# lost in a long log. detect_odr_violation=0: wxWidgets' own shared libraries
# define the same globals more than once, which is theirs, not ours.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_odr_violation=0:check_initialization_order=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# GTK's accessibility bridge (libatk-bridge over libdbus) opens a D-Bus
# connection at start-up and never frees it; no test needs it, so it is not
# loaded rather than suppressed.
export NO_AT_BRIDGE=1
start=$(date +%s)
status=0
if ((unit)); then
  ctest --test-dir "$VANTOR_BUILD_DIR" -L unit --output-on-failure -j"$(nproc)" --timeout 600 \
    --no-tests=error "$@" || status=$?
else
  xvfb-run -a -s "-screen 0 1280x800x24" \
    ctest --test-dir "$VANTOR_BUILD_DIR" --output-on-failure -j"$(nproc)" --timeout 600 "$@" ||
    status=$?
fi
echo "sanitize: tests took $(( $(date +%s) - start )) s"
exit $status
