#!/usr/bin/env bash
# Builds everything and runs every test: the suite natively, the suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, then the further stages.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"

cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=ON -DQUORVEL_BUILD_BENCH=OFF
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j"$jobs"

# Further stages, each a script of its own that installs what it needs.
for stage in tsan fuzz cross ardour; do
  if [ -f "scripts/test-$stage.sh" ]; then
    echo "=== stage: $stage"
    bash "scripts/test-$stage.sh"
  fi
done
echo "all tests passed"
