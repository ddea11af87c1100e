// The random parts of a differential session: rates, parameter values, event
// lists and block sizes drawn from a seed, and the settings-independent
// helpers the sessions share. Used by differential_test.cpp.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>

#include "abi/vst_events.h"

namespace quorvel {

inline std::uint64_t envNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 10);
    return (end && *end == '\0') ? v : fallback;
}

constexpr std::intptr_t kRates[] = {8000,  11025, 16000,  22050,  32000,  44100, 48000,
                                    88200, 96000, 176400, 192000, 384000, 768000};
// The renderer's lowest rates and host answers below them: one sub-step may
// take a voice through thousands of periods, one sample the vibrato through
// many turns.
constexpr std::intptr_t kLowRates[] = {1, 2, 10, 100, 1000, 2000, 3000, 4000};

// The most samples a block has at a low rate: the reference takes every
// period of every sub-step one at a time, up to 70000 a sub-step at 1 Hz.
inline std::int32_t framesAllowedAt(float rate) {
    return rate < 10.0f ? 4 : rate < 100.0f ? 16 : rate < 1000.0f ? 64 : 0x7FFFFFFF;
}

// Draws the random parts of a session.
class SessionDice {
public:
    explicit SessionDice(std::uint64_t seed) : rng(seed) {}

    int below(int n) { return static_cast<int>(rng() % static_cast<std::uint64_t>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool chance(int percent) { return below(100) < percent; }
    float unit() { return static_cast<float>(rng() >> 40) * (1.0f / 16777216.0f); }

    float parameterValue(int index) {
        // 1e-40 is subnormal: it shows whether subnormals are kept.
        static const float special[] = {0.0f,    1.0f,  0.05f,   0.25f,  0.2525f, 0.5f,
                                        0.5025f, 0.75f, 0.7525f, 0.999f, 1e-6f,   1e-40f};
        switch (below(10)) {
            case 0:
                return 0.0f;
            case 1:
                return 1.0f;
            case 2:
                return special[below(sizeof special / sizeof special[0])];
            case 3:
            case 4:
                // Short notes, short pulses and slow vibrato: the cut timer
                // fires within a session.
                return unit() * 0.02f;
            case 5:
                // "Velocity target" right at its boundaries.
                if (index == 4) return std::nextafter(0.2525f + 0.25f * below(3), below(2) ? 0.0f : 1.0f);
                return unit();
            default:
                return unit();
        }
    }

    std::intptr_t rateAnswer(std::intptr_t previous) {
        int roll = below(100);
        if (roll < 55) return previous;
        if (roll < 63) return 0;
        if (roll < 70) return -1;
        return anyRate();
    }

    std::intptr_t anyRate() {
        if (chance(20)) return kLowRates[below(sizeof kLowRates / sizeof kLowRates[0])];
        return kRates[below(sizeof kRates / sizeof kRates[0])];
    }

    std::int32_t blockSize(bool longSession) {
        if (longSession) return between(500, 2048);
        int roll = below(100);
        if (roll < 6) return 0;
        if (roll < 16) return 1;
        if (roll < 56) return between(2, 32);
        if (roll < 92) return between(33, 160);
        return between(161, 600);
    }

    std::int32_t deltaFrames(std::int32_t frames) {
        int roll = below(100);
        if (roll < 80) return frames > 0 ? below(frames) : 0;
        if (roll < 85) return frames;
        if (roll < 89) return frames + between(1, 1000);
        if (roll < 94) return -between(1, 3);
        if (roll < 96) return 0x7FFFFFFF;
        if (roll < 98) return -0x7FFFFFFF - 1;
        return 0;
    }

    std::uint8_t dataByte() { return static_cast<std::uint8_t>(chance(3) ? below(256) : below(128)); }
    std::uint8_t key() { return static_cast<std::uint8_t>(chance(60) ? keyPool[below(6)] : below(128)); }

    // One event record with random contents.
    void fill(VstMidiEvent& e, std::int32_t frames) {
        e.deltaFrames = deltaFrames(frames);
        const int channel = below(16);
        std::uint8_t status = 0, d1 = dataByte(), d2 = dataByte();
        int roll = below(100);
        if (roll < 5) {
            // Not a MIDI event: system-exclusive and other event types carry
            // arbitrary bytes where a MIDI event has its message.
            static const std::int32_t types[] = {kVstSysExType, 0, 2, 3, 4, 5, 7, -1};
            e.type = types[below(8)];
            status = static_cast<std::uint8_t>(0x80 | below(128));
        } else if (roll < 35) {
            status = static_cast<std::uint8_t>(0x90 | channel);
            d1 = key();
            d2 = chance(12) ? 0 : static_cast<std::uint8_t>(between(1, 127));
            if (chance(2)) d2 = dataByte();
        } else if (roll < 55) {
            status = static_cast<std::uint8_t>(0x80 | channel);
            d1 = key();
        } else if (roll < 80) {
            status = static_cast<std::uint8_t>(0xB0 | channel);
            static const std::uint8_t controllers[] = {1,   1,   1,   6,   6,   38,  100, 100, 101, 101,
                                                       120, 121, 122, 123, 124, 125, 126, 127, 7,   64};
            d1 = chance(90) ? controllers[below(20)] : static_cast<std::uint8_t>(below(256));
            if ((d1 == 100 || d1 == 101) && chance(70)) d2 = 0;
        } else if (roll < 92) {
            status = static_cast<std::uint8_t>(0xE0 | channel);
            switch (below(5)) {
                case 0:
                    d1 = 0x00, d2 = 0x40;
                    break;
                case 1:
                    d1 = 0x00, d2 = 0x00;
                    break;
                case 2:
                    d1 = 0x7F, d2 = 0x7F;
                    break;
                default:
                    break;
            }
        } else {
            static const std::uint8_t others[] = {0xA0, 0xC0, 0xD0, 0xF0, 0xF7, 0xF8, 0xFF, 0x00, 0x45, 0x7F};
            status = others[below(10)];
            if (status >= 0xA0 && status < 0xF0) status = static_cast<std::uint8_t>(status | channel);
        }
        e.midiData[0] = static_cast<char>(status);
        e.midiData[1] = static_cast<char>(d1);
        e.midiData[2] = static_cast<char>(d2);
        e.midiData[3] = static_cast<char>(below(256));
        e.noteLength = below(1000);
        e.noteOffset = below(10);
        e.detune = static_cast<char>(below(256));
        e.noteOffVelocity = static_cast<char>(below(256));
    }

    int eventCount() {
        int roll = below(100);
        if (roll < 15) return 0;
        if (roll < 85) return between(1, 8);
        if (roll < 98) return between(9, 40);
        return between(41, 300);
    }

    void newKeyPool() {
        for (std::uint8_t& k : keyPool) k = static_cast<std::uint8_t>(below(128));
    }

private:
    std::mt19937_64 rng;
    std::uint8_t keyPool[6] = {60, 64, 67, 69, 72, 48};
};

// The far corner of the in-range settings: the widest bend range (63.5
// semitones) bent fully up, the wheel and "Modulation depth" at maximum,
// "Pulse width" and "Detune" at 1, and eight voices on the highest keys: the
// fastest pulse trains and the longest pulses the instrument can be asked
// for. Parameters go to `set`, the MIDI messages to `add`.
template <class Set, class Add>
inline void reachExtremeCorner(SessionDice& dice, Set set, Add add) {
    set(0, 1.0f);
    set(2, 1.0f);
    set(6, 1.0f);
    set(5, dice.chance(50) ? 1.0f : dice.unit());
    set(4, static_cast<float>(dice.below(4)) * 0.25f + 0.1f);
    set(3, dice.chance(70) ? 0.0f : dice.unit() * 0.05f);
    add(0, 0xB0, 101, 0);
    add(0, 0xB0, 100, 0);
    add(0, 0xB0, 6, 127);
    add(0, 0xB0, 1, 127);
    add(0, 0xE0, 0x7F, 0x7F);
    for (int v = 0; v < 8; ++v) add(dice.below(2), 0x90, 127 - dice.below(v == 0 ? 1 : 28), dice.between(1, 127));
}

}  // namespace quorvel
