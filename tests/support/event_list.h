// The event lists a host hands to effProcessEvents, built once for every test,
// benchmark and fuzz target: a VstEvents header followed by as many event
// pointers as the list holds. The declared array of two is only the minimum,
// so the block is allocated to the length needed and its pointers are written
// through the list's own bytes (eventSlots), never through the declared array.
// The list owns its events; pointers stay valid while it lives and until the
// next clear().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <new>

#include "abi/vst_events.h"

namespace quorvel {

class EventList {
public:
    EventList() = default;
    ~EventList() { ::operator delete(block); }
    EventList(const EventList&) = delete;
    EventList& operator=(const EventList&) = delete;

    // A blank MIDI event at the end of the list (type and size set, every
    // other byte zero), for callers that fill in the fields themselves.
    VstMidiEvent& add() {
        VstMidiEvent& e = events.emplace_back();
        std::memset(&e, 0, sizeof e);
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        return e;
    }
    // A MIDI event with the given status and data bytes.
    EventList& midi(std::int32_t delta, unsigned status, unsigned data1 = 0, unsigned data2 = 0) {
        VstMidiEvent& e = add();
        e.deltaFrames = delta;
        e.midiData[0] = static_cast<char>(status);
        e.midiData[1] = static_cast<char>(data1);
        e.midiData[2] = static_cast<char>(data2);
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
        events.back().type = type;
        return *this;
    }

    std::size_t size() const { return events.size(); }
    bool empty() const { return events.empty(); }
    void clear() { events.clear(); }

    // The list as the host passes it; numEvents is the number of events
    // unless a count is forced with forceCount.
    VstEvents* get() {
        ::operator delete(block);
        const std::size_t count = events.size();
        block = ::operator new(offsetof(VstEvents, events) + (count < 2 ? 2 : count) * sizeof(VstEvent*));
        auto* list = static_cast<VstEvents*>(block);
        list->numEvents = forced ? forcedCount : static_cast<std::int32_t>(count);
        list->reserved = 0;
        VstEvent** slots = eventSlots(list);
        slots[0] = slots[1] = nullptr;
        for (std::size_t i = 0; i < count; ++i) slots[i] = reinterpret_cast<VstEvent*>(&events[i]);
        return list;
    }

    EventList& forceCount(std::int32_t n) {
        forced = true;
        forcedCount = n;
        return *this;
    }

private:
    std::deque<VstMidiEvent> events;  // a deque keeps event addresses stable while it grows
    void* block = nullptr;
    bool forced = false;
    std::int32_t forcedCount = 0;
};

}  // namespace quorvel
