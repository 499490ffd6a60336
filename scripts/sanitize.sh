#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/
# (or $VANTOR_BUILD_DIR) and runs the whole test suite there: unit, player and
# GUI tests, the GUI ones under a private Xvfb display as scripts/test.sh does.
# Any sanitizer report fails the test it happens in. Leaks are suppressed only
# inside system libraries (scripts/lsan.supp says which, and why).
# Extra arguments go to ctest (for example -R GpsLog).
# --unit (first argument): builds only the unit tests and what they read (the
# fixtures) and runs `ctest -L unit`, without a display; quick enough for CI.
set -euo pipefail
cd "$(dirname "$0")/.."
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
