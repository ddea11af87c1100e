// The vibrato phase: its advance by one sample, and its walk over many
// samples at once, exactly as sample by sample.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>

#include "synth/repeated_sums.h"
#include "synth/voice.h"

namespace quorvel {

constexpr double kTwoPi = 6.283185307179586;
constexpr float kTwoPiF = 6.2831855f;

// The vibrato phase is wrapped one turn at a time while it is below this; at
// in-range speeds and usual rates it advances far less than a turn per
// sample.
constexpr float kLfoLoopLimit = 25.0f;

// A vibrato phase the turn-at-a-time loop should not take: many turns ahead
// (a rate of a few hertz or less), negative (a backward speed), infinite or
// NaN. Turns are counted at once where the loop would end, which it does up
// to 2^27 (above, 2 pi is less than half the spacing of floats and taking it
// off changes nothing); anything else is reduced to [0, 2 pi).
inline float wrapFarLfoPhase(float phase) {
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
inline float walkLfoPhases(float phase, const BlockSettings& settings, std::int32_t count, Segment segment) {
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

inline float lfoPhaseAfter(float phase, const BlockSettings& settings, std::int32_t count) {
    return walkLfoPhases(phase, settings, count, [](float, float, std::int32_t) {});
}

}  // namespace quorvel
