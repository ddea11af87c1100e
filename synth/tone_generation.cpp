// The render loop: vibrato, events, pitch, eight sub-steps of the shared
// output bit, and the output sample. Pitch, sub-steps and output are the
// voice kernel's (voice_kernel_body.h).
#include <cfloat>
#include <cmath>

#include "synth/quorvel.h"
#include "synth/repeated_sums.h"

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr float kTwoPiF = 6.2831855f;

// The rate a block runs at when the stored one is no usable rate (zero,
// negative, NaN, infinite, as a host may set it directly): the instrument's
// rate before the host has told it any.
constexpr float kFallbackSampleRate = 44100.0f;

// The vibrato phase is wrapped one turn at a time while it is below this; at
// in-range speeds and usual rates it advances far less than a turn per
// sample.
constexpr float kLfoLoopLimit = 25.0f;

// A vibrato phase the turn-at-a-time loop should not take: many turns ahead
// (a rate of a few hertz or less), negative (a backward speed), infinite or
// NaN. Turns are counted at once where the loop would end, which it does up
// to 2^27 (above, 2 pi is less than half the spacing of floats and taking it
// off changes nothing); anything else is reduced to [0, 2 pi).
float wrapFarLfoPhase(float phase) {
    std::uint64_t turns = 0;
    if (phase >= 0.0f && addWhileAtLeast(phase, -kTwoPiF, kTwoPi, turns)) return phase;
    if (!std::isfinite(phase)) return 0.0f;
    double p = std::fmod(static_cast<double>(phase), kTwoPi);
    if (p < 0.0) p += kTwoPi;
    const float wrapped = static_cast<float>(p);
    return static_cast<double>(wrapped) < kTwoPi ? wrapped : 0.0f;
}

// The vibrato phase one sample on.
inline float nextLfoPhase(float phase, const BlockSettings& settings) {
    phase += settings.lfoIncrement;
    if (!(phase >= 0.0f && phase < kLfoLoopLimit)) phase = wrapFarLfoPhase(phase);
    while (static_cast<double>(phase) >= kTwoPi) phase -= kTwoPiF;
    return phase;
}

// The vibrato phase over `count` samples: what nextLfoPhase taken that many
// times leaves, without taking most of them. While the phase stays inside
// one binade [2^(e-1), 2^e), where floats are u = 2^(e-24) apart, and below
// 2 pi, each step adds the increment rounded to a multiple of u: the same d
// every time, unless the increment lies exactly halfway between two
// multiples (the rounding then depends on the phase). Such steps are counted
// at once; the others, across a binade's top, a wrap or anything unusual,
// are taken one by one. `segment(p, d, n)` hears of every stretch of n
// samples whose phases (before their advance) are p + j d, j = 0 to n - 1,
// each sum exact in single precision; a step taken alone comes with d = 0.
// Returns the phase after the last sample.
template <class Segment>
float walkLfoPhases(float phase, const BlockSettings& settings, std::int32_t count, Segment segment) {
    const float increment = settings.lfoIncrement;
    const double inc = increment;
    while (count > 0) {
        const float next = phase + increment;
        int e = 0;
        std::frexp(phase, &e);
        const double top = std::ldexp(1.0, e);  // where the binade ends
        const double u = std::ldexp(1.0, e - 24);
        const double p = phase;
        const double d = static_cast<double>(next) - p;
        std::int32_t steps = 0;
        if (phase >= FLT_MIN && inc > 0.0 && inc <= FLT_MAX && next < top && static_cast<double>(next) < kTwoPi &&
            std::fabs(inc - d) != u / 2) {
            if (d == 0.0) {  // the increment is lost in rounding, every time
                segment(phase, 0.0f, count);
                return phase;
            }
            // Step j rounds inside the binade while p + j d + inc stays
            // below top - u/2, and keeps below 2 pi while p + (j + 1) d does;
            // with j at most count, these sums are exact in double precision.
            const double limit = top - u / 2;
            auto fits = [&](std::int32_t j) {
                const double before = p + static_cast<double>(j) * d;
                return before + inc < limit && before + d < kTwoPi;
            };
            const double estimate = std::fmin((limit - inc - p) / d, (kTwoPi - p) / d);
            steps = estimate < static_cast<double>(count) ? static_cast<std::int32_t>(estimate) : count;
            while (steps > 0 && !fits(steps - 1)) --steps;
            while (steps < count && fits(steps)) ++steps;
        }
        if (steps == 0) {
            segment(phase, 0.0f, 1);
            phase = nextLfoPhase(phase, settings);
            --count;
        } else {
            // d is a multiple of u below top: a float, as is every p + j d.
            segment(phase, static_cast<float>(d), steps);
            phase = static_cast<float>(p + static_cast<double>(steps) * d);
            count -= steps;
        }
    }
    return phase;
}

float lfoPhaseAfter(float phase, const BlockSettings& settings, std::int32_t count) {
    return walkLfoPhases(phase, settings, count, [](float, float, std::int32_t) {});
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

// The block in stretches of up to kRunLength samples, each in runs: a run
// starts at a sample where events fall due (or where the stretch starts) and
// ends before the next such sample, so that within a run only the first
// sample has events.
void Quorvel::processReplacing(float** /*inputs*/, float** outputs, std::int32_t sampleFrames) {
    const BlockSettings settings = computeBlockSettings();
    if (sampleFrames > 0) {
        scheduleEvents(sampleFrames);
        for (std::int32_t from = 0; from < sampleFrames; from += kRunLength) {
            const std::int32_t to = sampleFrames - from > kRunLength ? from + kRunLength : sampleFrames;
            renderStretch(settings, from, to, outputs);
        }
    }
    eventQueue.clear();
}

// Samples [from, to) of the block: per sample the vibrato (the phase runs on
// whatever the events do, so the stretch's phases are worked out first),
// the events, then the voice kernel's pitch, sub-steps and output.
void Quorvel::renderStretch(const BlockSettings& settings, std::int32_t from, std::int32_t to, float** outputs) {
    // The vibrato phase of each sample before its advance, and its sine,
    // worked out the first time a voice is there to hear the vibrato.
    const float firstPhase = lfoPhase;
    float lastPhase = firstPhase;  // after the stretch, once the phases are known
    bool sinesDone = false;

    for (std::int32_t start = from; start < to;) {
        const float wheelAtStart = wheelDepth;
        advanceEvents(start, settings);
        std::int32_t end = nextEventSample();
        if (end < 0 || end > to) end = to;

        // Vibrato offsets, sin(phase) * wheelDepth * vibratoScale with the
        // wheel depth from before the sample's events, or 0 while the wheel
        // is below 0.001; only worked out if a voice plays (none starts
        // inside a run).
        const bool voicesPlay = anyVoicePlaying();
        const bool first = voicesPlay && wheelAtStart >= 0.001f;
        const bool rest = voicesPlay && end - start > 1 && wheelDepth >= 0.001f;
        if ((first || rest) && !sinesDone) {
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
        float* vibrato = stretchVibrato + (start - from);
        const float* sines = stretchSines + (start - from);
        const float scale = settings.vibratoScale;
        vibrato[0] = first ? sines[0] * wheelAtStart * scale : 0.0f;
        const float wheel = wheelDepth;
        if (rest) {
            for (std::int32_t i = 1; i < end - start; ++i) vibrato[i] = sines[i] * wheel * scale;
        } else {
            for (std::int32_t i = 1; i < end - start; ++i) vibrato[i] = 0.0f;
        }

        VoiceRun run;
        run.voices = &voices;
        run.outputBit = &outputBit;
        run.pitchCache = &pitchCache;
        run.vibrato = vibrato;
        run.frames = end - start;
        run.bend = bendSemitones;
        run.sampleRate = settings.sampleRate;
        run.noteVolume = noteVolume;
        run.detune = &paramDetune;
        run.noteCut = &paramNoteCut;
        run.outputGain = &paramOutputGain;
        run.out0 = outputs[0] + start;
        run.out1 = outputs[1] + start;
        kernel->renderRun(run);
        start = end;
    }
    lfoPhase = sinesDone ? lastPhase : lfoPhaseAfter(firstPhase, settings, to - from);
}

bool Quorvel::anyVoicePlaying() const {
    for (std::int32_t note : voices.note)
        if (note >= 0) return true;
    return false;
}
