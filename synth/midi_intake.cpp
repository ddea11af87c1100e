// Turns the host's MIDI events into queued synth events (every field a kind
// does not use is 0); the registered-parameter bend range acts at once.
#include <algorithm>
#include <cstddef>

#include "synth/quorvel.h"

namespace {
// The host's pointer array holds numEvents entries, usually more than the two
// the record declares; indexing the declared array past them would be
// undefined, so the entries are reached from the list's own bytes.
VstEvent* const* eventSlots(const VstEvents* events) {
    return reinterpret_cast<VstEvent* const*>(reinterpret_cast<const unsigned char*>(events) +
                                              offsetof(VstEvents, events));
}
}  // namespace

std::int32_t Quorvel::processEvents(VstEvents* events) {
    if (!events) return 1;
    // Room for every event of the list at once, so that the queue grows in
    // one step; the order the render loop fires them in grows alongside.
    if (events->numEvents > 0) {
        const std::size_t wanted = eventQueue.size() + static_cast<std::size_t>(events->numEvents);
        if (wanted > eventQueue.capacity()) eventQueue.reserve(std::max(wanted, 2 * eventQueue.capacity()));
    }
    // Each field written where it is kept (a whole event built aside and
    // copied in is read back before its parts have been stored).
    auto append = [this](std::int32_t kind, std::int32_t delta, std::int32_t note, std::int32_t velocity, float value) {
        SynthEvent& e = eventQueue.emplace_back();
        e.kind = kind;
        e.delta = delta;
        e.note = note;
        e.velocity = velocity;
        e.value = value;
    };
    VstEvent* const* slots = eventSlots(events);
    const std::int32_t count = events->numEvents;
    for (std::int32_t i = 0; i < count; ++i) {
        const VstEvent* event = slots[i];
        if (!event || event->type != kVstMidiType) continue;
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
        const auto status = static_cast<unsigned char>(midi->midiData[0]) & 0xF0u;
        const auto data1 = static_cast<unsigned char>(midi->midiData[1]);
        const auto data2 = static_cast<unsigned char>(midi->midiData[2]);
        const std::int32_t delta = midi->deltaFrames;

        if (status == 0x80 || status == 0x90) {
            const std::int32_t velocity = (status == 0x90) ? (data2 & 0x7F) : 0;
            append(Note, delta, data1 & 0x7F, velocity, 0.0f);
        } else if (status == 0xB0) {
            const auto controller = static_cast<signed char>(data1);
            const std::int32_t d = data2 & 0x7F;
            if (controller == 100) {
                rpnLsb = d;
            } else if (controller == 101) {
                rpnMsb = d;
            } else if (controller == 38) {
                // Data entry, fine part: the bend range takes whole steps only.
            } else if (controller == 1) {
                append(ModWheel, delta, 0, 0, static_cast<float>(d) * 0.0078125f);
            } else if (controller == 6) {
                if (rpnMsb == 0 && rpnLsb == 0) bendRange = static_cast<float>(d) * 0.5f;
            } else if (controller >= 123) {
                append(Note, delta, -1, 0, 0.0f);
            }
        } else if (status == 0xE0) {
            const std::int32_t bend = ((data2 & 0x7F) << 7) | (data1 & 0x7F);
            float value = static_cast<float>(bend - 8192) * bendRange;
            value = value * 0.0001220703125f;
            append(PitchBend, delta, 0, 0, value);
        }
    }
    reserveEventOrder();
    return 1;
}
