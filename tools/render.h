// The render loop: plays a Performance through a plug-in, block by block,
// with every event at its exact sample.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "host/instrument.h"
#include "tools/performance.h"

namespace quorvel::tools {

// A parameter change by index, at its sample.
struct IndexedChange {
    std::int64_t frame;
    int index;
    float value;
};

// The performance's parameter changes by index, in time order; changes
// naming a parameter the plug-in does not have are left out.
std::vector<IndexedChange> indexedChanges(const quorvel::host::Instrument& plugin, const Performance& performance);

// Where the next block ends: at most `blockSize` samples on, and where the
// next parameter change falls, so that the change lands on its exact sample
// whatever the block size. Every player of one performance cuts the same
// blocks.
std::int64_t blockEnd(std::int64_t position, int blockSize, std::int64_t totalFrames,
                      const std::vector<IndexedChange>& changes, std::size_t nextChange);

// The messages from `next` on that fall before `end`, as events of the block
// that starts at `position` (a message before it plays at once); returns
// the index of the first message left.
std::size_t blockEvents(const std::vector<TimedMidi>& messages, std::size_t next, std::int64_t position,
                        std::int64_t end, std::vector<quorvel::host::MidiEvent>& events);

// Renders `totalFrames` samples of a performance through a plug-in (switched
// on at the first block, off by the destructor). MIDI events reach the
// plug-in in the block they fall into, with their offset inside it.
class PerformancePlayer {
public:
    PerformancePlayer(quorvel::host::Instrument& plugin, const Performance& performance, std::int64_t totalFrames);
    ~PerformancePlayer();
    PerformancePlayer(const PerformancePlayer&) = delete;
    PerformancePlayer& operator=(const PerformancePlayer&) = delete;

    // Renders the next block and returns its length, 0 at the end.
    int next();
    // The last block: numOutputs() channel buffers.
    const float* const* outputs() const { return channelPointers.data(); }
    std::int64_t position() const { return played; }

private:
    quorvel::host::Instrument& instrument;
    const std::vector<TimedMidi>& messages;
    std::vector<IndexedChange> parameterChanges;
    std::int64_t length;
    std::int64_t played = 0;
    std::size_t nextMessage = 0;
    std::size_t nextParameterChange = 0;
    bool switchedOn = false;
    std::vector<std::vector<float>> channelBuffers;
    std::vector<float*> channelPointers;
    std::vector<quorvel::host::MidiEvent> blockEvents;
};

}  // namespace quorvel::tools
