// The render loop: plays a Performance through a plug-in (VST 2.4 or LV2),
// block by block, with every event at its exact sample.
#pragma once

#include <cstdint>
#include <functional>

#include "host/instrument.h"
#include "tools/performance.h"

namespace quorvel::tools {

// Receives each rendered block: numOutputs() channel buffers of `frames` samples.
using BlockSink = std::function<void(const float* const* channels, int frames)>;
// Told how many samples are done after each block.
using ProgressSink = std::function<void(std::int64_t done)>;

// Renders `totalFrames` samples. Blocks hold at most the plug-in's block
// size; a block also ends where a parameter changes, so that the change
// lands on its exact sample whatever the block size. MIDI events reach the
// plug-in in the block they fall into, with their offset inside it.
// Parameter changes naming a parameter the plug-in does not have are
// skipped.
void renderPerformance(quorvel::host::Instrument& plugin, const Performance& performance, std::int64_t totalFrames,
                       const BlockSink& sink, const ProgressSink& progress = {});

}  // namespace quorvel::tools
