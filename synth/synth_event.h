// Timed events the render loop applies sample by sample, and their queue.
#pragma once

#include <cstdint>
#include <vector>

namespace quorvel {

enum class EventKind : std::int32_t {
    Note = 0,       // note on (velocity 1..127), note off (velocity 0), all notes off (note -1)
    PitchBend = 1,  // value: bend in semitones, already scaled by the bend range
    ModWheel = 2,   // value: controller value / 128
};

struct SynthEvent {
    EventKind kind;
    std::int32_t delta;  // samples from the start of the next block; negative once fired
    std::int32_t note;
    std::int32_t velocity;
    float value;
};

// Pending events in arrival order. Emptying keeps the storage, so once the
// queue has grown to its working size appending no longer allocates.
using EventQueue = std::vector<SynthEvent>;

}  // namespace quorvel
