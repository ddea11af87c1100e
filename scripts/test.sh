#!/usr/bin/env bash
# Builds everything and runs every test: the layout check, the suite natively,
# the suite under AddressSanitizer and UndefinedBehaviorSanitizer, then the
# further stages. Prints how long each stage took and, last, a summary line
# that names every stage or part of one that was skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

# Stages that cannot run everything on this machine write one line each here.
QUORVEL_SKIP_LOG=$(mktemp)
export QUORVEL_SKIP_LOG
trap 'rm -f "$QUORVEL_SKIP_LOG"' EXIT
timings=()

stage() {
  local name=$1
  shift
  echo "=== stage: $name"
  local started=$SECONDS
  "$@"
  timings+=("$(printf '%-8s %5d s' "$name" $((SECONDS - started)))")
}

# Tests that skipped themselves (GTEST_SKIP: a kernel path this processor
# lacks, a third-party plug-in that is absent), as CTest lists them.
skippedTests() {
  local names
  names=$(grep -E '\(Skipped\)$' "$2" | sed -E 's/^[[:space:]]*[0-9]+ - //; s/ \(Skipped\)$//' | paste -sd ',' || true)
  [ -z "$names" ] || echo "$1: tests skipped: ${names//,/, }" >>"$QUORVEL_SKIP_LOG"
}

native() {
  cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build/release -j"$jobs"
  ctest --test-dir build/release --output-on-failure -j"$jobs" | tee build/release/ctest.log
  skippedTests native build/release/ctest.log
}

sanitized() {
  cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=ON -DQUORVEL_BUILD_BENCH=OFF
  cmake --build build/asan -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan --output-on-failure -j"$jobs" | tee build/asan/ctest.log
  skippedTests asan build/asan/ctest.log
}

stage format bash scripts/check-format.sh
stage native native
stage asan sanitized
# Further stages, each a script of its own that installs what it needs.
for name in lv2 tsan fuzz cross package ardour; do
  if [ -f "scripts/test-$name.sh" ]; then
    stage "$name" bash "scripts/test-$name.sh"
  else
    echo "$name: scripts/test-$name.sh is missing" >>"$QUORVEL_SKIP_LOG"
  fi
done

echo "=== time per stage"
printf '%s\n' "${timings[@]}"
if [ -s "$QUORVEL_SKIP_LOG" ]; then
  echo "all tests passed; skipped: $(paste -sd ';' "$QUORVEL_SKIP_LOG" | sed 's/;/; /g')"
else
  echo "all tests passed; nothing skipped"
fi
