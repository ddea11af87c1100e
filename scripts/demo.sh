#!/usr/bin/env bash
# The main job: builds the plug-in and the renderer, renders the built-in
# demo phrase through the plug-in, and says where both are.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j"$(nproc)" --target quorvel quorvel-render
echo "plug-in built: $(pwd)/build/release/quorvel.so"
demo=$(build/release/tools/quorvel-render -o "$(pwd)/quorvel-demo.wav")
echo "demo rendered: $demo"
