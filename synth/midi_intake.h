// MIDI intake: turns MIDI messages into queued synth events (every field a
// kind does not use is 0); the registered-parameter bend range acts at once.
// Defined inline, as part of engine.h, so that the loop over a host's event
// list takes each message without a call.
#pragma once

#include <cstdint>

#include "synth/engine.h"

namespace quorvel {

// One message into the event at `out` (each field written where it is kept:
// a whole event built aside and copied in is read back before its parts have
// been stored). Answers whether it queues an event; the bend-range messages
// act at once and queue nothing.
inline bool Engine::decodeMidi(std::int32_t frame, unsigned char status, unsigned char data1, unsigned char data2,
                               SynthEvent* out) {
    const unsigned kind = status & 0xF0u;
    EventKind eventKind = EventKind::Note;
    std::int32_t note = 0, velocity = 0;
    float value = 0.0f;
    if ((kind & 0xE0u) == 0x80) {  // 0x80 or 0x90: a note-off has velocity 0 (no branch on which)
        note = data1 & 0x7F;
        velocity = (data2 & 0x7F) * static_cast<std::int32_t>(kind >> 4 & 1u);
    } else if (kind == 0xB0) {
        const auto controller = static_cast<signed char>(data1);
        const std::int32_t d = data2 & 0x7F;
        if (controller == 1) {
            eventKind = EventKind::ModWheel;
            value = static_cast<float>(d) * 0.0078125f;
        } else if (controller >= 123) {
            note = -1;  // all notes off
        } else {
            if (controller == 100) {
                rpnLsb = d;
            } else if (controller == 101) {
                rpnMsb = d;
            } else if (controller == 6) {
                if (rpnMsb == 0 && rpnLsb == 0) bendRange = static_cast<float>(d) * 0.5f;
            }
            // 38, the data entry's fine part, does nothing: the bend range takes whole steps only.
            return false;
        }
    } else if (kind == 0xE0) {
        const std::int32_t bend = ((data2 & 0x7F) << 7) | (data1 & 0x7F);
        eventKind = EventKind::PitchBend;
        value = static_cast<float>(bend - 8192) * bendRange;
        value = value * 0.0001220703125f;
    } else {
        return false;
    }
    out->kind = eventKind;
    out->delta = frame;
    out->note = note;
    out->velocity = velocity;
    out->value = value;
    return true;
}

template <class Message>
inline void Engine::receiveMidiList(std::int32_t count, Message message) {
    prepareForEvents(count);
    if (count <= 0) return;
    // The list's events are written in place, in room made for all of them
    // (within the capacity just reserved), and the room left over given back.
    const std::size_t first = eventQueue.size();
    eventQueue.resize(first + static_cast<std::size_t>(count));
    SynthEvent* const begin = eventQueue.data() + first;
    SynthEvent* out = begin;
    bool inOrder = queueInOrder;
    std::int32_t last = lastArrival;
    for (std::int32_t i = 0; i < count; ++i) {
        std::int32_t frame;
        unsigned char status, data1, data2;
        if (!message(i, frame, status, data1, data2)) continue;
        if (decodeMidi(frame, status, data1, data2, out)) {
            ++out;
            inOrder = inOrder && frame >= last;
            last = frame;
        }
    }
    eventQueue.resize(first + static_cast<std::size_t>(out - begin));
    queueInOrder = inOrder;
    lastArrival = last;
}

inline bool Engine::queuesEvent(unsigned char status, unsigned char data1) {
    const unsigned kind = status & 0xF0u;
    if (kind == 0x80 || kind == 0x90 || kind == 0xE0) return true;
    const auto controller = static_cast<signed char>(data1);
    return kind == 0xB0 && (controller == 1 || controller >= 123);
}

}  // namespace quorvel
