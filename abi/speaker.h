// Speaker-arrangement records a host and a plug-in exchange.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel {

constexpr int kVstMaxNameLen = 64;

struct VstSpeakerProperties {
    float azimuth;
    float elevation;
    float radius;
    float reserved;
    char name[kVstMaxNameLen];
    std::int32_t type;
    char future[28];
};

// A header followed by numChannels speaker records; the declared array length
// is the largest a host passes by value, allocated blocks hold exactly
// numChannels records.
struct VstSpeakerArrangement {
    std::int32_t type;
    std::int32_t numChannels;
    VstSpeakerProperties speakers[8];
};

constexpr std::size_t kSpeakerArrangementHeaderSize = 8;

static_assert(sizeof(VstSpeakerProperties) == 112, "VstSpeakerProperties size");
static_assert(offsetof(VstSpeakerProperties, name) == 16, "name");
static_assert(offsetof(VstSpeakerProperties, type) == 80, "type");
static_assert(offsetof(VstSpeakerProperties, future) == 84, "future");
static_assert(offsetof(VstSpeakerArrangement, numChannels) == 4, "numChannels");
static_assert(offsetof(VstSpeakerArrangement, speakers) == kSpeakerArrangementHeaderSize, "speakers");

}  // namespace quorvel
