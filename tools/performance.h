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
};

struct TimedParameter {
    std::int64_t frame = 0;
    std::string name;
    float value = 0.0f;
};

struct Performance {
    std::vector<TimedMidi> midi;             // in time order
    std::vector<TimedParameter> parameters;  // in time order
    std::int64_t endFrame = 0;               // the sample of the last event
};

// Bad input the user can fix: unreadable files, bad options.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace quorvel::tools
