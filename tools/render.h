// The render loop: plays a Performance through a plug-in, block by block,
// with every event at its exact sample.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "host/plugin.h"
#include "tools/performance.h"

namespace qrender {

// A parameter change by index, at its sample.
struct IndexedChange {
    std::int64_t frame;
    int index;
    float value;
};

// The performance's parameter changes by index, in time order; changes
// naming a parameter the plug-in does not have are left out.
std::vector<IndexedChange> indexedChanges(const vsthost::Plugin& plugin, const Performance& performance);

// Where the next block ends: at most `blockSize` samples on, and where the
// next parameter change falls, so that the change lands on its exact sample
// whatever the block size. Every player of one performance cuts the same
// blocks.
std::int64_t blockEnd(std::int64_t position, int blockSize, std::int64_t totalFrames,
                      const std::vector<IndexedChange>& changes, std::size_t nextChange);

// Renders `totalFrames` samples of a performance through a plug-in (switched
// on at the first block, off by the destructor). MIDI events reach the
// plug-in in the block they fall into, with their offset inside it.
class PerformancePlayer {
public:
    PerformancePlayer(vsthost::Plugin& plugin, const Performance& performance, std::int64_t totalFrames);
    ~PerformancePlayer();
    PerformancePlayer(const PerformancePlayer&) = delete;
    PerformancePlayer& operator=(const PerformancePlayer&) = delete;

    // Renders the next block and returns its length, 0 at the end.
    int next();
    // The last block: numOutputs() channel buffers.
    const float* const* outputs() const { return outputs_.data(); }
    std::int64_t position() const { return position_; }

private:
    vsthost::Plugin& plugin_;
    const std::vector<TimedMidi>& midi_;
    std::vector<IndexedChange> changes_;
    std::int64_t totalFrames_;
    std::int64_t position_ = 0;
    std::size_t nextMidi_ = 0;
    std::size_t nextChange_ = 0;
    bool on_ = false;
    std::vector<std::vector<float>> buffers_;
    std::vector<float*> outputs_;
    std::vector<vsthost::MidiEvent> events_;
};

}  // namespace qrender
