// The render loop: vibrato, events, pitch, eight sub-steps of the shared
// output bit, and the output sample. Pitch, sub-steps and output are the
// voice kernel's (voice_kernel_body.h).
#include <cfloat>
#include <climits>

#include "synth/engine.h"
#include "synth/vibrato_phase.h"
#include "synth/voice_allocation.h"

namespace quorvel {

namespace {
// The rate a block runs at when the stored one is no usable rate (zero,
// negative, NaN, infinite, as a host may set it directly): the instrument's
// rate before the host has told it any.
constexpr float kFallbackSampleRate = 44100.0f;

// The vibrato offsets of a run without vibrato.
constexpr float kNoVibrato[kRunLength] = {};
}  // namespace

BlockSettings Engine::computeBlockSettings(float sampleRate) const {
    BlockSettings s;
    s.sampleRate = sampleRate;
    if (!(s.sampleRate > 0.0f && s.sampleRate <= FLT_MAX)) s.sampleRate = kFallbackSampleRate;
    float lfo = params[kModSpeed].load() * 24.0f;
    lfo = lfo / s.sampleRate;
    s.lfoIncrement = lfo * 3.1415927f;
    s.vibratoScale = params[kModDepth].load() * 8.0f;
    float pulse = s.sampleRate * 2000.0f;
    pulse = pulse * 8.0f;
    pulse = pulse * params[kPulseWidth].load();
    s.basePulseLength = pulse / 1000000.0f;
    s.velocityTarget = velocityTargetIndex(params[kVelocityTarget].load());
    return s;
}

// The block in stretches of up to kRunLength samples, each in runs: a run
// starts at a sample where events fall due (or where the stretch starts) and
// ends before the next such sample, so that within a run only the first
// sample has events.
void Engine::render(float sampleRate, float* left, float* right, std::int32_t frames) {
    const BlockSettings settings = computeBlockSettings(sampleRate);
    if (frames > 0) {
        if (keyIncrements.rate != settings.sampleRate) {
            keyIncrements.update(keyPowers, settings.sampleRate);
            for (int k = 0; k < kNumVoices; ++k)
                if (voices.note[k] >= 0 && voices.note[k] <= 127)
                    voices.keyIncrement[k] = keyIncrements.of[voices.note[k]];
        }
        scheduleEvents(frames);
        for (std::int32_t from = 0; from < frames; from += kRunLength) {
            const std::int32_t to = frames - from > kRunLength ? from + kRunLength : frames;
            renderStretch(settings, from, to, left, right);
        }
    }
    eventQueue.clear();
    queueInOrder = true;
    lastArrival = INT32_MIN;
}

// Samples [from, to) of the block: per sample the vibrato (the phase runs on
// whatever the events do, so the stretch's phases are worked out first),
// the events, then the voice kernel's pitch, sub-steps and output.
void Engine::renderStretch(const BlockSettings& settings, std::int32_t from, std::int32_t to, float* left,
                           float* right) {
    // The vibrato phase of each sample before its advance, and its sine,
    // worked out the first time a voice is there to hear the vibrato.
    const float firstPhase = lfoPhase;
    float lastPhase = firstPhase;  // after the stretch, once the phases are known
    bool sinesDone = false;

    VoiceRun run;
    run.voices = &voices;
    run.outputBit = &outputBit;
    run.pitchCache = &pitchCache;
    run.sampleRate = settings.sampleRate;
    run.detune = &params[kDetune];
    run.noteCut = &params[kNoteCut];
    run.outputGain = &params[kOutputGain];
    RunChain chain;
    chain.engine = this;
    chain.settings = &settings;
    chain.left = left;
    chain.right = right;
    chain.to = to;
    chain.end = from;
    startNextRun(chain);
    while (chain.start < to) {
        const std::int32_t start = chain.start, end = chain.end;
        const float wheelAtStart = chain.wheelAtStart;
        setUpRun(chain, run);

        // Without vibrato (the usual case) the kernel takes this run and
        // those after it that need none either.
        if (!needsVibrato(wheelAtStart)) {
            run.vibrato = kNoVibrato;
            run.vibratoFlat = true;
            kernel->renderPlainRuns(run, chain);
            continue;
        }

        // Vibrato offsets, sin(phase) * wheelDepth * vibratoScale with the
        // wheel depth from before the sample's events, or 0 while the wheel
        // is below 0.001; only worked out if a voice plays (none starts
        // inside a run).
        const bool first = wheelAtStart >= 0.001f;
        const bool rest = end - start > 1 && wheelDepth >= 0.001f;
        if (!sinesDone) {
            float* sineOut = stretchSines;
            lastPhase = walkLfoPhases(firstPhase, settings, to - from, [&](float p, float d, std::int32_t n) {
                if (n == 1)
                    kernel->sines(&p, 1, sineOut);  // a step taken alone
                else
                    kernel->sinesOfSteps(p, d, n, sineOut);
                sineOut += n;
            });
            sinesDone = true;
        }
        float* vibratoOut = stretchVibrato + (start - from);
        const float* sines = stretchSines + (start - from);
        const float scale = settings.vibratoScale;
        const float wheel = wheelDepth;
        vibratoOut[0] = first ? sines[0] * wheelAtStart * scale : 0.0f;
        if (rest) {
            for (std::int32_t i = 1; i < end - start; ++i) vibratoOut[i] = sines[i] * wheel * scale;
        } else {
            for (std::int32_t i = 1; i < end - start; ++i) vibratoOut[i] = 0.0f;
        }
        run.vibrato = first || rest ? vibratoOut : kNoVibrato;
        run.vibratoFlat = !(first || rest);
        kernel->renderRun(run);
        runDone(chain, run);
    }
    lfoPhase = sinesDone ? lastPhase : lfoPhaseAfter(firstPhase, settings, to - from);
}

}  // namespace quorvel
