#!/usr/bin/env bash
# Builds the release configuration (the plug-in's own flags) and runs the engine
# benchmarks: the plug-in beside the reference engine, in seconds of CPU per
# second of audio. Arguments go to the benchmark binary, for example
#   bash scripts/bench.sh --benchmark_filter=8_voices --benchmark_repetitions=5
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_TOOLS=OFF -DQUORVEL_BUILD_BENCH=ON
cmake --build build/bench -j"$(nproc)" --target quorvel_bench
exec build/bench/bench/quorvel_bench "$@"
