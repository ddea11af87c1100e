// Builds the event lists a host hands to effProcessEvents: a VstEvents header
// followed by as many event pointers as the list holds (the declared array of
// two is only the minimum, so the block is allocated to the length needed).
// The list owns its events; pointers stay valid while it lives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <new>

#include "abi/vst_events.h"

namespace quorvel {

class EventList {
public:
    EventList() = default;
    ~EventList() { ::operator delete(block_); }
    EventList(const EventList&) = delete;
    EventList& operator=(const EventList&) = delete;

    // A MIDI event with the given status and data bytes.
    EventList& midi(std::int32_t delta, unsigned status, unsigned data1 = 0, unsigned data2 = 0) {
        VstMidiEvent e{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = delta;
        e.midiData[0] = static_cast<char>(status);
        e.midiData[1] = static_cast<char>(data1);
        e.midiData[2] = static_cast<char>(data2);
        events_.push_back(e);
        return *this;
    }
    EventList& noteOn(std::int32_t delta, unsigned key, unsigned velocity, unsigned channel = 0) {
        return midi(delta, 0x90 | channel, key, velocity);
    }
    EventList& noteOff(std::int32_t delta, unsigned key, unsigned releaseVelocity = 64, unsigned channel = 0) {
        return midi(delta, 0x80 | channel, key, releaseVelocity);
    }
    EventList& controller(std::int32_t delta, unsigned number, unsigned value, unsigned channel = 0) {
        return midi(delta, 0xB0 | channel, number, value);
    }
    // A 14-bit bend value, 8192 at the centre.
    EventList& bend(std::int32_t delta, unsigned value14, unsigned channel = 0) {
        return midi(delta, 0xE0 | channel, value14 & 0x7F, (value14 >> 7) & 0x7F);
    }
    // An event of another type. Its bytes where a MIDI event keeps midiData
    // hold a note-on, so a reader that ignores the type would play a note.
    EventList& other(std::int32_t type, std::int32_t delta = 0) {
        midi(delta, 0x90, 60, 100);
        events_.back().type = type;
        return *this;
    }

    std::size_t size() const { return events_.size(); }

    // The list as the host passes it; numEvents is the number of events
    // unless a count is forced with forceCount.
    VstEvents* get() {
        ::operator delete(block_);
        const std::size_t slotsOffset = offsetof(VstEvents, events);
        const std::size_t count = events_.size();
        const std::size_t bytes = slotsOffset + (count < 2 ? 2 : count) * sizeof(VstEvent*);
        block_ = ::operator new(bytes);
        auto* list = static_cast<VstEvents*>(block_);
        list->numEvents = forced_ ? forcedCount_ : static_cast<std::int32_t>(count);
        list->reserved = 0;
        auto** slots = reinterpret_cast<VstEvent**>(static_cast<unsigned char*>(block_) + slotsOffset);
        slots[0] = slots[1] = nullptr;
        for (std::size_t i = 0; i < count; ++i) slots[i] = reinterpret_cast<VstEvent*>(&events_[i]);
        return list;
    }

    EventList& forceCount(std::int32_t n) {
        forced_ = true;
        forcedCount_ = n;
        return *this;
    }

private:
    std::deque<VstMidiEvent> events_;  // a deque keeps event addresses stable while it grows
    void* block_ = nullptr;
    bool forced_ = false;
    std::int32_t forcedCount_ = 0;
};

}  // namespace quorvel
