// One pulse oscillator, and the per-block values that note-on and the tone
// generator read.
#pragma once

#include <cstdint>

namespace quorvel {

struct Voice {
    std::int32_t note = -1;       // MIDI key; negative while the voice is free
    float pitch = 0.0f;           // key - 69, semitones
    float phase = 0.0f;           // position in the current period, in periods
    float phaseIncrement = 0.0f;  // periods per sub-step
    float pulseCounter = 0.0f;    // sub-steps left in the current pulse
    float pulseLength = 0.0f;     // sub-steps added at every period start
    float cutCounter = 0.0f;      // sub-steps left until the note is cut; 0: none pending
};

// Sub-steps per output sample.
constexpr int kSubSteps = 8;
constexpr int kNumVoices = 8;

// The lowest set bit of a nonzero word: the first voice of a set of voices
// (bit k: voice k), or the first sub-step of a word of byte-wide sets.
inline int lowestBit(std::uint64_t word) {
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_ctzll(word);
#else
    int n = 0;
    while (!(word >> n & 1u)) ++n;
    return n;
#endif
}

// The eight voices, kept field by field (voice k at index k of every array)
// so that the render loop steps them side by side in vector lanes.
struct VoiceBank {
    std::int32_t note[kNumVoices];  // the key of the voice's last note; whether it still plays, the engine keeps
    float pitch[kNumVoices];
    float phase[kNumVoices];
    float phaseIncrement[kNumVoices];
    float pulseCounter[kNumVoices];
    float pulseLength[kNumVoices];
    float cutCounter[kNumVoices];
    // The phase increment while nothing moves the pitch (no vibrato, bend or
    // detune), at the block's rate: looked up when the note starts, and again
    // when the rate changes.
    float keyIncrement[kNumVoices];

    VoiceBank() {
        const Voice initial;
        for (int k = 0; k < kNumVoices; ++k) {
            note[k] = initial.note;
            pitch[k] = initial.pitch;
            phase[k] = initial.phase;
            phaseIncrement[k] = initial.phaseIncrement;
            pulseCounter[k] = initial.pulseCounter;
            pulseLength[k] = initial.pulseLength;
            cutCounter[k] = initial.cutCounter;
            keyIncrement[k] = 0.0f;  // worked out with the first block's rate
        }
    }
    Voice voice(int k) const {
        return Voice{note[k], pitch[k], phase[k], phaseIncrement[k], pulseCounter[k], pulseLength[k], cutCounter[k]};
    }
};

struct BlockSettings {
    float sampleRate;             // Hz
    float lfoIncrement;           // radians per sample
    float vibratoScale;           // semitones
    float basePulseLength;        // sub-steps
    std::int32_t velocityTarget;  // velocityTargetIndex: a VelocityTarget, or outside 0..3 for none
};

// A voice's phase is wrapped one period at a time while it is below this;
// from here on (a low sample rate, a high pitch, a start phase far above 1)
// the periods are counted at once.
constexpr float kPhaseLoopLimit = 16.0f;

}  // namespace quorvel
