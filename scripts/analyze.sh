#!/usr/bin/env bash
# Static analysis of src/: cppcheck, then clang-tidy with the checks of
# .clang-tidy, both over the compile commands of build/ (scripts/build.sh makes
# them). Exits non-zero when either reports anything.
#   scripts/analyze.sh              every file of src/
#   scripts/analyze.sh FILE...      only these (clang-tidy and cppcheck)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VANTOR_BUILD_DIR:-build}
db="$BUILD_DIR/compile_commands.json"
[[ -f $db ]] || { echo "analyze: no $db; run scripts/build.sh first" >&2; exit 1; }
jobs=${VANTOR_ANALYZE_JOBS:-$(nproc)}

if [[ $# -gt 0 ]]; then
  files=("$@")
else
  mapfile -t files < <(find src -name '*.cpp' | sort)
fi

status=0
echo "analyze: cppcheck over ${#files[@]} files"
# The project's own headers only: the toolkits' headers are not ours to
# check, and reading them would take most of the time.
if ! cppcheck --quiet --std=c++20 --language=c++ -Isrc -j"$jobs" \
    --enable=warning,performance,portability --inline-suppr \
    --suppress=missingIncludeSystem --suppress=unknownMacro \
    -DVANTOR_VERSION='"0"' -DVANTOR_INSTALL_DATADIR='"/"' -DVANTOR_INSTALL_LOCALEDIR='"/"' \
    --error-exitcode=1 --template='{file}:{line}: {severity} [{id}] {message}' "${files[@]}"; then
  status=1
fi

echo "analyze: clang-tidy over ${#files[@]} files ($jobs at a time)"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
printf '%s\n' "${files[@]}" |
  xargs -P "$jobs" -n 1 clang-tidy -p "$BUILD_DIR" --quiet 2>/dev/null >"$out" || true
# clang-tidy prints each finding with the source line and a caret below it.
if grep -q ': warning: \|: error: ' "$out"; then
  cat "$out"
  echo "analyze: clang-tidy found $(grep -c ': warning: \|: error: ' "$out") problem(s)" >&2
  status=1
fi
[[ $status -eq 0 ]] && echo "analyze: clean"
exit $status
