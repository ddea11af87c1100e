// The render loop: vibrato, events, pitch, eight sub-steps of the shared
// output bit, and the output sample.
#include <cmath>

#include "synth/quorvel.h"

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr float kTwoPiF = 6.2831855f;
}  // namespace

BlockSettings Quorvel::computeBlockSettings() {
    BlockSettings s;
    s.sampleRate = static_cast<float>(updateSampleRate());
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
        float increment = static_cast<float>(std::pow(2.0, static_cast<double>(x)));
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
    *out0 = sample;
    *out1 = sample;
}
