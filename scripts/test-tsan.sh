#!/usr/bin/env bash
# ThreadSanitizer stage: instruments rendering on their own threads while
# other threads set, read and display parameters (tests/tsan), built with
# -fsanitize=thread in build/tsan. Any report fails the stage.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/apt-install.sh build-essential cmake libgtest-dev
build=${QUORVEL_TSAN_BUILD:-build/tsan}
flags="-fsanitize=thread -fno-omit-frame-pointer"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEL_BUILD_TOOLS=OFF -DQUORVEL_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=thread"
cmake --build "$build" -j"$(nproc)" --target quorvel_concurrency_test
# halt_on_error makes the first report fail the run; the exit code is set
# even for reports outside the test's own checks.
TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1" \
  "$build/tests/tsan/quorvel_concurrency_test"
