#!/usr/bin/env bash
# The main job: builds the plug-in and says where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=OFF
cmake --build build/release -j"$(nproc)" --target quorvel
echo "plug-in built: $(pwd)/build/release/quorvel.so"
