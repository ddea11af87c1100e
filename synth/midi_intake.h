// MIDI intake: turns MIDI messages into queued synth events (every field a
// kind does not use is 0); the registered-parameter bend range acts at once.
// Defined inline, as part of engine.h, so that a caller's loop over a host's
// event list takes each message without a call.
#pragma once

#include <cstdint>

#include "synth/engine.h"

namespace quorvel {

// Each field written where it is kept (a whole event built aside and copied
// in is read back before its parts have been stored).
inline void Engine::appendEvent(EventKind kind, std::int32_t delta, std::int32_t note, std::int32_t velocity,
                                float value) {
    SynthEvent& e = eventQueue.emplace_back();
    e.kind = kind;
    e.delta = delta;
    e.note = note;
    e.velocity = velocity;
    e.value = value;
}

inline void Engine::receiveMidi(std::int32_t frame, unsigned char status, unsigned char data1, unsigned char data2) {
    const unsigned kind = status & 0xF0u;
    if (kind == 0x80 || kind == 0x90) {
        const std::int32_t velocity = (kind == 0x90) ? (data2 & 0x7F) : 0;
        appendEvent(EventKind::Note, frame, data1 & 0x7F, velocity, 0.0f);
    } else if (kind == 0xB0) {
        const auto controller = static_cast<signed char>(data1);
        const std::int32_t d = data2 & 0x7F;
        if (controller == 100) {
            rpnLsb = d;
        } else if (controller == 101) {
            rpnMsb = d;
        } else if (controller == 38) {
            // Data entry, fine part: the bend range takes whole steps only.
        } else if (controller == 1) {
            appendEvent(EventKind::ModWheel, frame, 0, 0, static_cast<float>(d) * 0.0078125f);
        } else if (controller == 6) {
            if (rpnMsb == 0 && rpnLsb == 0) bendRange = static_cast<float>(d) * 0.5f;
        } else if (controller >= 123) {
            appendEvent(EventKind::Note, frame, -1, 0, 0.0f);
        }
    } else if (kind == 0xE0) {
        const std::int32_t bend = ((data2 & 0x7F) << 7) | (data1 & 0x7F);
        float value = static_cast<float>(bend - 8192) * bendRange;
        value = value * 0.0001220703125f;
        appendEvent(EventKind::PitchBend, frame, 0, 0, value);
    }
}

inline bool Engine::queuesEvent(unsigned char status, unsigned char data1) {
    const unsigned kind = status & 0xF0u;
    if (kind == 0x80 || kind == 0x90 || kind == 0xE0) return true;
    const auto controller = static_cast<signed char>(data1);
    return kind == 0xB0 && (controller == 1 || controller >= 123);
}

}  // namespace quorvel
