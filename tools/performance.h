// What the renderer plays: MIDI channel messages and parameter changes, each
// at the exact sample where it happens.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvel::tools {

struct TimedMidi {
    std::int64_t frame = 0;
    std::uint8_t bytes[3] = {0, 0, 0};
    std::int64_t tick = 0;  // position in the score, in ticks of Performance::ticksPerQuarter
};

struct TimedParameter {
    std::int64_t frame = 0;
    std::string name;
    float value = 0.0f;
};

// A time signature from `tick` on: `numerator` beats of 1/`denominator` notes.
struct Meter {
    std::int64_t tick = 0;
    int numerator = 4;
    int denominator = 4;
};

struct Performance {
    std::vector<TimedMidi> midi;             // in time order
    std::vector<TimedParameter> parameters;  // in time order
    std::int64_t endFrame = 0;               // the sample of the last event
    int ticksPerQuarter = 480;
    std::vector<Meter> meters;  // in time order; 4/4 until the first
};

// Bad input the user can fix: unreadable files, bad options.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace quorvel::tools
