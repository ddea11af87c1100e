// Who the instrument is: the facts it reports to a host, its program name and
// its capability answers.
#pragma once

#include <cstdint>

namespace quorvel {

constexpr std::int32_t kUniqueId = 0x6B7A7437;  // 'k','z','t','7'
constexpr std::int32_t kNumPrograms = 1;
constexpr std::int32_t kNumInputs = 0;
constexpr std::int32_t kNumOutputs = 2;

constexpr const char* kEffectName = "brightmoor - quorvel";
constexpr const char* kVendorString = "Talvo";
constexpr const char* kProductString = "v0.31 21.06.24";
constexpr std::int32_t kVendorVersion = 1000;

constexpr const char* kDefaultProgramName = "Default";
constexpr int kProgramNameSize = 32;

// The one program's name: at most 31 characters, the rest of the 32 bytes
// zeros.
class ProgramName {
public:
    ProgramName();
    // Keeps the first 31 characters of `name`.
    void set(const char* name);
    const char* text() const { return name; }

private:
    char name[kProgramNameSize];
};

// The answer to a capability question: 1 for the two kinds of MIDI input the
// instrument takes, -1 for everything else (a missing text included).
std::int32_t capabilityAnswer(const char* text);

}  // namespace quorvel
