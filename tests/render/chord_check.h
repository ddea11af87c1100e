// A chord played through any instrument the host kit loads: three notes at
// the start, then 80 blocks of 256 samples, measured for what a listener
// would notice first (no sound at all, or samples that are not numbers).
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "host/instrument.h"

struct ChordResult {
    double energy = 0.0;  // sum of squares over every channel
    bool finite = true;   // every sample a finite number
};

// The instrument's settings must allow blocks of 256 samples.
inline ChordResult playChord(quorvel::host::Instrument& plugin) {
    std::vector<std::vector<float>> buffers(static_cast<std::size_t>(plugin.numOutputs()), std::vector<float>(256));
    std::vector<float*> outputs;
    for (auto& b : buffers) outputs.push_back(b.data());
    std::vector<quorvel::host::MidiEvent> chord;
    for (std::uint8_t key : {57, 60, 64}) chord.push_back({10, {0x90, key, 100}});
    ChordResult result;
    for (int block = 0; block < 80; ++block) {
        plugin.process(block == 0 ? chord.data() : nullptr, block == 0 ? chord.size() : 0, outputs.data(), 256);
        for (const auto& b : buffers)
            for (float s : b) {
                result.finite = result.finite && std::isfinite(s);
                result.energy += static_cast<double>(s) * s;
            }
    }
    return result;
}
