#!/usr/bin/env bash
# Fuzzing stage: builds the libFuzzer targets (fuzz/) with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer in build/fuzz, and runs each briefly on its
# seed corpus (fuzz/corpus/<target>/) plus fresh mutations. Any crash,
# sanitizer report, broken check, leak or input slower than 10 s fails the
# stage; the input is kept in build/fuzz/findings/.
#
# QUORVEL_FUZZ_SECONDS sets the time per target (default 15).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/apt-install.sh clang libclang-rt-14-dev cmake pkg-config lv2-dev liblilv-dev
build=${QUORVEL_FUZZ_BUILD:-build/fuzz}
seconds=${QUORVEL_FUZZ_SECONDS:-15}
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BUILD_FUZZ=ON \
  -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_TOOLS=OFF -DQUORVEL_BUILD_BENCH=OFF
targets=(host_session render number_text midi_file lv2)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/findings"
for target in "${targets[@]}"; do
  echo "--- fuzz_$target, ${seconds} s"
  # New inputs go to a scratch corpus; the seeds in the repository stay as they are.
  work="$build/corpus/$target"
  mkdir -p "$work"
  log="$build/findings/$target.log"
  status=0
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
    "$work" "fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  grep -E "^(INFO: seed corpus|#[0-9]+[[:space:]]+(INITED|DONE))" "$log" || true
  if [ "$status" -ne 0 ]; then
    grep -E -A30 "ERROR|runtime error|check failed|ALARM" "$log" | head -60 >&2 || true
    echo "fuzz_$target found a problem (exit $status); input and log in $build/findings/" >&2
    exit 1
  fi
done
