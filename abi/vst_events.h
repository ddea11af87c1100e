// Event lists a host hands to effProcessEvents.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel {

constexpr std::int32_t kVstMidiType = 1;
constexpr std::int32_t kVstSysExType = 6;

// Common head of every event; the host's events are at least this long.
struct VstEvent {
    std::int32_t type;
    std::int32_t byteSize;
    std::int32_t deltaFrames;
    std::int32_t flags;
    char data[16];
};

struct VstMidiEvent {
    std::int32_t type;  // kVstMidiType
    std::int32_t byteSize;
    std::int32_t deltaFrames;
    std::int32_t flags;
    std::int32_t noteLength;
    std::int32_t noteOffset;
    char midiData[4];  // status, data 1, data 2, reserved
    char detune;
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};

// The list itself: numEvents pointers follow the header. Hosts allocate the
// array to the length they need; the declared length is only the minimum.
struct VstEvents {
    std::int32_t numEvents;
    std::intptr_t reserved;
    VstEvent* events[2];
};

// The list's numEvents event pointers, reached through the list's own bytes:
// the array runs past the two entries the record declares, and indexing the
// declared array beyond them would be undefined.
inline VstEvent* const* eventSlots(const VstEvents* events) {
    return reinterpret_cast<VstEvent* const*>(reinterpret_cast<const unsigned char*>(events) +
                                              offsetof(VstEvents, events));
}
inline VstEvent** eventSlots(VstEvents* events) {
    return reinterpret_cast<VstEvent**>(reinterpret_cast<unsigned char*>(events) + offsetof(VstEvents, events));
}

static_assert(sizeof(VstEvent) == 32, "VstEvent size");
static_assert(sizeof(VstMidiEvent) == 32, "VstMidiEvent size");
static_assert(offsetof(VstMidiEvent, deltaFrames) == 8, "deltaFrames");
static_assert(offsetof(VstMidiEvent, midiData) == 24, "midiData");
static_assert(offsetof(VstEvents, events) == 2 * sizeof(void*), "events array");

}  // namespace quorvel
