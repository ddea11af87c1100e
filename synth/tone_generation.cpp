// The render loop: vibrato, events, pitch, eight sub-steps of the shared
// output bit, and the output sample.
#include <cfloat>
#include <cmath>

#include "synth/quorvel.h"

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr float kTwoPiF = 6.2831855f;

// The rate a block runs at when the stored one is no usable rate (zero,
// negative, NaN, infinite, as a host may set it directly): the instrument's
// rate before the host has told it any.
constexpr float kFallbackSampleRate = 44100.0f;

// The vibrato phase is wrapped one turn at a time while it is below this; at
// in-range speeds it advances far less than a turn per sample.
constexpr float kLfoLoopLimit = 25.0f;

// A vibrato phase the turn-at-a-time loop cannot bring back (NaN, infinite,
// negative from a backward speed, many turns ahead), reduced to [0, 2 pi).
float wrapFarLfoPhase(float phase) {
    if (!std::isfinite(phase)) return 0.0f;
    double p = std::fmod(static_cast<double>(phase), kTwoPi);
    if (p < 0.0) p += kTwoPi;
    const float wrapped = static_cast<float>(p);
    return static_cast<double>(wrapped) < kTwoPi ? wrapped : 0.0f;
}

// A voice phase the period-at-a-time loop should not count (NaN, infinite,
// kPhaseLoopLimit or more): that many period starts in one sub-step are no
// pitch the engine can render. The whole periods are dropped at once, and a
// pulse starts as the loop would start one, writing the output bit; the
// overlapping pulses are not summed, which would leave a pulse counter that
// takes hours to run down. A phase that is not a number starts over at 0.
void wrapFarPhase(Voice& voice, bool even, std::int32_t& outputBit) {
    if (voice.phase >= kPhaseLoopLimit) {
        voice.phase -= std::floor(voice.phase);
        if (voice.pulseCounter < voice.pulseLength) voice.pulseCounter = voice.pulseLength;
        outputBit = even ? 1 : 0;
    }
    if (!(voice.phase >= 0.0f && voice.phase < 1.0f)) voice.phase = 0.0f;  // NaN, or infinity less itself
}
}  // namespace

BlockSettings Quorvel::computeBlockSettings() {
    BlockSettings s;
    s.sampleRate = static_cast<float>(updateSampleRate());
    if (!(s.sampleRate > 0.0f && s.sampleRate <= FLT_MAX)) s.sampleRate = kFallbackSampleRate;
    float lfo = paramModSpeed.load() * 24.0f;
    lfo = lfo / s.sampleRate;
    s.lfoIncrement = lfo * 3.1415927f;
    s.vibratoScale = paramModDepth.load() * 8.0f;
    float pulse = s.sampleRate * 2000.0f;
    pulse = pulse * 8.0f;
    pulse = pulse * paramPulseWidth.load();
    s.basePulseLength = pulse / 1000000.0f;
    s.velocityTarget = velocityTargetIndex(paramVelocityTarget.load());
    return s;
}

void Quorvel::processReplacing(float** /*inputs*/, float** outputs, std::int32_t sampleFrames) {
    const BlockSettings settings = computeBlockSettings();
    if (sampleFrames > 0) {
        float* out0 = outputs[0];
        float* out1 = outputs[1];
        for (std::int32_t i = 0; i < sampleFrames; ++i) renderSample(settings, out0 + i, out1 + i);
    }
    eventQueue.clear();
}

void Quorvel::renderSample(const BlockSettings& settings, float* out0, float* out1) {
    // Vibrato offset from the phase and wheel depth before this sample's
    // advance and events.
    float vibrato = 0.0f;
    if (wheelDepth >= 0.001f) {
        vibrato = static_cast<float>(std::sin(static_cast<double>(lfoPhase)));
        vibrato = vibrato * wheelDepth;
        vibrato = vibrato * settings.vibratoScale;
    }
    lfoPhase += settings.lfoIncrement;
    if (!(lfoPhase >= 0.0f && lfoPhase < kLfoLoopLimit)) lfoPhase = wrapFarLfoPhase(lfoPhase);
    while (static_cast<double>(lfoPhase) >= kTwoPi) lfoPhase -= kTwoPiF;

    advanceEvents(settings);

    // Pitch: every second active voice, counted in index order, is detuned.
    const float detune = paramDetune.load() - 0.5f;
    int active = 0;
    for (Voice& voice : voices) {
        if (voice.note < 0) continue;
        float x = voice.pitch + vibrato;
        x = x + bendSemitones;
        if (active & 1) x += detune;
        x = x / 12.0f;
        // A power beyond the float range makes the increment infinite (the
        // phase wrap copes); converting such a double as it is would be undefined.
        const double power = std::pow(2.0, static_cast<double>(x));
        float increment = power > FLT_MAX ? INFINITY : static_cast<float>(power);
        increment = increment * 440.0f;
        increment = increment / settings.sampleRate;
        voice.phaseIncrement = increment * 0.125f;
        ++active;
    }

    const float noteCut = paramNoteCut.load();
    float acc = 0.0f;
    for (int step = 0; step < kSubSteps; ++step) {
        for (int k = 0; k < kNumVoices; ++k) {
            Voice& voice = voices[k];
            if (voice.note < 0) continue;
            const bool even = (k & 1) == 0;
            if (voice.cutCounter > 0.0f && noteCut > 0.0f) {
                voice.cutCounter -= 1.0f;
                if (voice.cutCounter <= 0.0f) {
                    voice.cutCounter = 0.0f;
                    voice.note = -1;
                    continue;
                }
            }
            voice.phase += voice.phaseIncrement;
            if (!(voice.phase < kPhaseLoopLimit)) wrapFarPhase(voice, even, outputBit);
            while (voice.phase >= 1.0f) {
                voice.phase -= 1.0f;
                voice.pulseCounter += voice.pulseLength;
                outputBit = even ? 1 : 0;
            }
            if (voice.pulseCounter > 0.0f) {
                voice.pulseCounter -= 1.0f;
                if (voice.pulseCounter <= 0.0f) outputBit = even ? 0 : 1;
            }
        }
        if (outputBit != 0) acc += 0.1f;
    }

    float sample = noteVolume * acc;
    sample = sample * paramOutputGain.load();
    // A gain that is not a number, or too large for a finite sample, is silence:
    // the host's buffers never get a NaN or an infinity.
    if (!std::isfinite(sample)) sample = 0.0f;
    *out0 = sample;
    *out1 = sample;
}
