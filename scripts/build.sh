#!/usr/bin/env bash
# Installs the Debian packages (unless VANTOR_SKIP_DEPS=1), configures and builds
# into ./build (or $VANTOR_BUILD_DIR). Extra arguments go to cmake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ${VANTOR_SKIP_DEPS:-0} != 1 ]]; then
  bash scripts/install-deps.sh
fi
BUILD_DIR=${VANTOR_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=${VANTOR_BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
