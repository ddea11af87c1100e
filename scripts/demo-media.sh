#!/usr/bin/env bash
# Remakes what the README shows of the built-in demo: its spectrogram
# (docs/demo-spectrogram.png) and a compressed recording a browser plays
# (docs/demo.mp3, mono, 96 kbit/s). Both come from the renderer's own output;
# the recording only loses the output's constant offset (the instrument's
# signal runs from 0 up, never below) so that it plays centred.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/apt-install.sh sox libsox-fmt-mp3
build=${QUORVEL_BUILD:-build/release}
if [ ! -x "$build/tools/quorvel-render" ]; then
  bash scripts/deps.sh
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j"$(nproc)" --target quorvel quorvel-render
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tools/quorvel-render" -o "$work/demo.wav" >/dev/null
mkdir -p docs
# Up to 6 kHz, where the chords, the vibrato and the bend are easy to see.
sox -V1 "$work/demo.wav" -n remix 1 highpass 10 rate 12k \
  spectrogram -x 1300 -y 400 -z 80 -t "Quorvel: the built-in demo (13 s)" -c "quorvel-render, sox" \
  -o docs/demo-spectrogram.png
sox -V1 "$work/demo.wav" -C 96 docs/demo.mp3 remix 1 highpass 10
ls -l docs/demo-spectrogram.png docs/demo.mp3
