// The voice kernel, written once against a set of lane operations and
// compiled once per path: each voice_kernel_<path>.cpp defines the types and
// operations below inside an unnamed namespace, then includes this file in
// that same namespace. No #include here: everything this file uses is
// included by the path's file beforehand.
//
// Each path defines QV_LANES (its target attribute, inlined into the caller)
// and QV_RARE (its target attribute, kept out of line) for the functions here,
// and these lane types and operations:
//   F  eight floats       loadF storeF splat add sub mul div neg select keep
//   M  eight lane flags   le gt ge nlt eq, mand mor mandnot (!a && b), bits (to an 8-bit set),
//                         lanes (from one)
//   D  eight doubles      widen (F to D) narrow (D to F, rounded) splatD addD subD mulD negD absD
//                         selectD, pow2OfRounded
//   MD eight double flags leD, bitD (a bit of the double's pattern), bitsD
// and nonNegative, the set of eight 32-bit integers that are 0 or more.
// Comparisons are ordered (false when either side is not a number) except
// nlt, which is !(a < b). select(m, a, b) is m ? a : b, keep(m, a) is
// m ? a : +0.0f.
//
// Lane k is voice k. Every step is the engine's per-voice arithmetic, done for
// all lanes at once; only where voices meet, the shared output bit, is the
// order of the voices taken into account.

// The accumulator after c of the eight sub-steps found the bit on: 0.1f
// added c times in single precision (0.8000001f for all eight).
constexpr float accumulatedOn(int count) {
    float acc = 0.0f;
    for (int i = 0; i < count; ++i) acc += 0.1f;
    return acc;
}
constexpr float kAccumulated[kSubSteps + 1] = {accumulatedOn(0), accumulatedOn(1), accumulatedOn(2),
                                               accumulatedOn(3), accumulatedOn(4), accumulatedOn(5),
                                               accumulatedOn(6), accumulatedOn(7), accumulatedOn(8)};

// For each set of active voices, the voices that carry the detune: every
// second active voice, counted in index order.
struct DetuneTable {
    unsigned char lanes[256] = {};
    constexpr DetuneTable() {
        for (unsigned active = 0; active < 256; ++active) {
            int n = 0;
            for (int k = 0; k < kNumVoices; ++k) {
                if (!(active >> k & 1u)) continue;
                if (n & 1) lanes[active] = static_cast<unsigned char>(lanes[active] | (1u << k));
                ++n;
            }
        }
    }
};
constexpr DetuneTable kDetuned{};

// For each set of voices, the highest one in it (-1 for none).
struct LastVoiceTable {
    signed char of[256] = {};
    constexpr LastVoiceTable() {
        for (unsigned set = 0; set < 256; ++set) {
            of[set] = -1;
            for (int k = 0; k < kNumVoices; ++k)
                if (set >> k & 1u) of[set] = static_cast<signed char>(k);
        }
    }
};
constexpr LastVoiceTable kLastVoice{};

// 2^x = 2^k * 2^r with k the nearest integer and |r| <= 1/2: adding and
// taking away 1.5 * 2^52 rounds x to an integer and leaves k in the low bits.
constexpr double kRoundingShift = 0x1.8p52;
// 2^r on [-1/2, 1/2], a Chebyshev interpolant of degree 9 with its
// coefficients rounded to double: relative error below 2^-45.6.
constexpr double kExp2Poly[] = {1.0000000000000135,    0.6931471805599462,     0.2402265069564034,
                                0.05550410866465167,   0.009618129193934313,   0.0013333558200794592,
                                0.0001540343375125101, 1.5252672924850737e-05, 1.325964524488711e-06,
                                1.0205905413765595e-07};
// Exponents the polynomial path takes; others go to pow.
constexpr double kExp2Reach = 64.0;
// A power of two is also had from the one before, 2^x = 2^x0 * 2^(x - x0),
// while x moves by at most 2^-8 (a vibrato moves it far less per sample):
// 2^d by its Taylor series to d^4 is within 2^-49.5 for |d| <= 2^-8, and
// with the product's rounding a step adds less than 2^-49.2 to the relative
// error. At most kChainLimit steps follow one polynomial evaluation.
constexpr double kChainStep = 0x1p-8;
constexpr double kExp2Step[] = {0.6931471805599453, 0.24022650695910072, 0.05550410866482158, 0.009618129107628477};
constexpr int kChainLimit = 128;
// The approximation a is thus within a * 2^-41.9 of 2^x (2^-45.6 from the
// polynomial, 2^-42.2 from 128 steps), and pow's result within 2^-52
// relative (glibc's is within one unit of the last place): when
// a * (1 - 2^-38) and a * (1 + 2^-38) round to the same float, so do 2^x and
// pow's result, whatever side of a they lie on. Only when a float's rounding
// boundary lies that close (about once in ten thousand) does the lane take
// pow itself.
constexpr double kExp2Margin = 0x1p-38;

// A polynomial approximation of 2^x for each lane; `usable` gets the lanes
// it holds for (|x| <= kExp2Reach).
QV_LANES D powerApprox(D xd, unsigned& usable) {
    const MD reach = leD(absD(xd), splatD(kExp2Reach));
    usable = bitsD(reach);
    xd = selectD(reach, xd, splatD(0.0));
    const D shifted = addD(xd, splatD(kRoundingShift));
    const D r = subD(xd, subD(shifted, splatD(kRoundingShift)));
    // The polynomial in pairs of terms (Estrin's scheme): a shorter chain of
    // dependent operations than one term at a time.
    const D r2 = mulD(r, r), r4 = mulD(r2, r2), r8 = mulD(r4, r4);
    const D p01 = addD(splatD(kExp2Poly[0]), mulD(splatD(kExp2Poly[1]), r));
    const D p23 = addD(splatD(kExp2Poly[2]), mulD(splatD(kExp2Poly[3]), r));
    const D p45 = addD(splatD(kExp2Poly[4]), mulD(splatD(kExp2Poly[5]), r));
    const D p67 = addD(splatD(kExp2Poly[6]), mulD(splatD(kExp2Poly[7]), r));
    const D p89 = addD(splatD(kExp2Poly[8]), mulD(splatD(kExp2Poly[9]), r));
    const D p03 = addD(p01, mulD(p23, r2));
    const D p47 = addD(p45, mulD(p67, r2));
    const D p = addD(addD(p03, mulD(p47, r4)), mulD(p89, r8));
    return mulD(p, pow2OfRounded(shifted));
}

// 2^(x + d) from a = 2^x, for |d| <= kChainStep.
QV_LANES D powerStep(D a, D d) {
    D e = addD(mulD(splatD(kExp2Step[3]), d), splatD(kExp2Step[2]));
    e = addD(mulD(e, d), splatD(kExp2Step[1]));
    e = addD(mulD(e, d), splatD(kExp2Step[0]));
    return addD(a, mulD(a, mulD(e, d)));
}

// library(x) rounded to float for each lane, from approximations v of the
// exact value that hold in the `usable` lanes to within `margin` (the
// library's own error included): where v - margin and v + margin round to
// the same float, so do the exact value and the library's; the other lanes
// ask the library.
template <float (*library)(float)>
QV_LANES F roundOrAsk(D v, D margin, F x, unsigned usable) {
    F result = narrow(subD(v, margin));
    const F upper = narrow(addD(v, margin));
    const unsigned settled = bits(eq(result, upper)) & usable;
    if (settled != 0xFFu) {
        float xs[kNumVoices], rs[kNumVoices];
        storeF(xs, x);
        storeF(rs, result);
        for (int k = 0; k < kNumVoices; ++k)
            if (!(settled >> k & 1u)) rs[k] = library(xs[k]);
        result = loadF(rs);
    }
    return result;
}

// (float)pow(2.0, x) for each lane, from approximations a of 2^x that hold
// in the `usable` lanes.
QV_LANES F roundPowers(D a, F x, unsigned usable) {
    return roundOrAsk<kernel_paths::powerOfTwo>(a, mulD(a, splatD(kExp2Margin)), x, usable);
}

// (float)pow(2.0, x) for each lane.
QV_LANES F exp2ToFloat(F x) {
    unsigned usable;
    const D a = powerApprox(widen(x), usable);
    return roundPowers(a, x, usable);
}

// sin(x) = +-sin(r) or +-cos(r) with x = k * pi/2 + r, k the nearest integer
// (0 to 4 for x in [0, 7]), |r| <= pi/4 (a little more where x * 2/pi rounds).
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
// pi/2 in two parts: the first has 33 significant bits, so k times it is
// exact for k up to 4 and x - k * high loses nothing.
constexpr double kHalfPiHigh = 0x1.921fb544p+0;
constexpr double kHalfPiLow = 0x1.0b4611a626331p-34;
// Taylor series in z = r^2: sin r = r (1 + z S(z)), cos r = 1 + z C(z); both
// within 2^-45 (relative) for |r| <= 0.8.
constexpr double kSinPoly[] = {-0.16666666666666666,   0.008333333333333333,   -0.0001984126984126984,
                               2.7557319223985893e-06, -2.505210838544172e-08, 1.6059043836821613e-10};
constexpr double kCosPoly[] = {-0.5,
                               0.041666666666666664,
                               -0.001388888888888889,
                               2.48015873015873e-05,
                               -2.755731922398589e-07,
                               2.08767569878681e-09,
                               -1.1470745597729725e-11};
constexpr double kSineReach = 7.0;
// As for the power of two: the library's sine is within 2^-52 of the true one.
constexpr double kSineMargin = 0x1p-38;

// sin x and cos x for each lane in double precision, each within 2^-44.9 of
// the true value; `usable` gets the lanes this holds for (0 <= x <= 7).
QV_LANES void sineAndCosine(F x, D& sine, D& cosine, unsigned& usable) {
    D xd = widen(x);
    const double half = kSineReach / 2;
    const MD reach = leD(absD(subD(xd, splatD(half))), splatD(half));
    usable = bitsD(reach);
    xd = selectD(reach, xd, splatD(0.0));
    const D shifted = addD(mulD(xd, splatD(kTwoOverPi)), splatD(kRoundingShift));
    const D k = subD(shifted, splatD(kRoundingShift));
    const D r = subD(subD(xd, mulD(k, splatD(kHalfPiHigh))), mulD(k, splatD(kHalfPiLow)));
    const D z = mulD(r, r);
    D ps = splatD(kSinPoly[5]);
#if defined(__GNUC__)
#pragma GCC unroll 8
#endif
    for (int i = 4; i >= 0; --i) ps = addD(mulD(ps, z), splatD(kSinPoly[i]));
    const D sr = mulD(r, addD(splatD(1.0), mulD(z, ps)));  // -0 stays -0
    D pc = splatD(kCosPoly[6]);
#if defined(__GNUC__)
#pragma GCC unroll 8
#endif
    for (int i = 5; i >= 0; --i) pc = addD(mulD(pc, z), splatD(kCosPoly[i]));
    const D cr = addD(splatD(1.0), mulD(z, pc));
    // Quarter turn k: sin x is sin r, cos r, -sin r, -cos r; cos x is cos r,
    // -sin r, -cos r, sin r.
    const MD odd = bitD(shifted, 1u), third = bitD(shifted, 2u);
    sine = selectD(odd, cr, sr);
    sine = selectD(third, negD(sine), sine);
    cosine = selectD(odd, negD(sr), cr);
    cosine = selectD(third, negD(cosine), cosine);
}

// (float)sin((double)x) for each lane, from approximations s of sin x that
// hold in the `usable` lanes to within `margin`.
QV_LANES F roundSines(D s, D margin, F x, unsigned usable) {
    return roundOrAsk<kernel_paths::sine>(s, margin, x, usable);
}

// (float)sin((double)x) for each lane.
QV_LANES F sinToFloat(F x) {
    D sine, cosine;
    unsigned usable;
    sineAndCosine(x, sine, cosine, usable);
    return roundSines(sine, mulD(absD(sine), splatD(kSineMargin)), x, usable);
}

// A lane function (Function::of) applied to count values, eight at a time.
template <class Function>
QV_LANES void eachOf(const float* x, std::int32_t count, float* result) {
    std::int32_t i = 0;
    for (; i + kNumVoices <= count; i += kNumVoices) storeF(result + i, Function::of(loadF(x + i)));
    if (i < count) {
        float in[kNumVoices] = {}, out[kNumVoices];
        for (std::int32_t k = 0; k < count - i; ++k) in[k] = x[i + k];
        storeF(out, Function::of(loadF(in)));
        for (std::int32_t k = 0; k < count - i; ++k) result[i + k] = out[k];
    }
}
struct Sine {
    QV_LANES static F of(F x) { return sinToFloat(x); }
};

// (float)sin((double)(phase + j * step)) for j = 0 to count - 1, the caller
// making sure that every phase + j * step is exact in single precision (the
// vibrato's phase inside one binade, where it moves by the same step every
// sample). Lane k takes j = k, k + 8, k + 16, ...: its sine and cosine come
// from the polynomials for the first eight values of every 128, and are
// turned on by the angle 8 * step (exact) in between, 15 turns at most:
// each turn adds less than 2^-50.2 to the error (the library's cosine and
// sine of the angle within 2^-52, three roundings per component), so the
// values stay within 2^-44.1 of sin and cos. The margin allows 2^-43, and
// the library's error on top.
constexpr double kTurnedSineMargin = 0x1p-43;
constexpr double kLibrarySineError = 0x1p-50;

QV_LANES void sinesOfSteps(float phase, float step, std::int32_t count, float* result) {
    const float firstEight[kNumVoices] = {0.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f};
    const F j0 = loadF(firstEight), start = splat(phase), d = splat(step);
    const double angle = 8.0 * static_cast<double>(step);
    const D turnCos = splatD(std::cos(angle)), turnSin = splatD(std::sin(angle));
    D sine = splatD(0.0), cosine = splatD(0.0);
    unsigned usable = 0;
    for (std::int32_t i = 0; i < count; i += kNumVoices) {
        const F x = add(start, mul(add(j0, splat(static_cast<float>(i))), d));
        if (i % 128 == 0) {
            sineAndCosine(x, sine, cosine, usable);
        } else {
            const D turnedSine = addD(mulD(sine, turnCos), mulD(cosine, turnSin));
            cosine = subD(mulD(cosine, turnCos), mulD(sine, turnSin));
            sine = turnedSine;
        }
        const D margin = addD(splatD(kTurnedSineMargin), mulD(absD(sine), splatD(kLibrarySineError)));
        const F sines = roundSines(sine, margin, x, usable);
        if (i + kNumVoices <= count) {
            storeF(result + i, sines);
        } else {
            float out[kNumVoices];
            storeF(out, sines);
            for (std::int32_t k = 0; k < count - i; ++k) result[i + k] = out[k];
        }
    }
}

struct PowerOfTwo {
    QV_LANES static F of(F x) { return exp2ToFloat(x); }
};

// Periods per sub-step for powers of two p: p * 440 / rate * 0.125, in this order.
QV_LANES F incrementsFor(F p, float sampleRate) {
    F inc = mul(p, splat(440.0f));
    inc = div(inc, splat(sampleRate));
    return mul(inc, splat(0.125f));
}

// The voices' fields in lanes. pitch and pulseLength only change at events.
struct LaneState {
    F pitch, phase, increment, pulseCounter, pulseLength, cutCounter;
    unsigned active;  // bit k set while voice k plays
    M activeLanes;    // the same as a lane mask
};

QV_LANES void loadLanes(const VoiceBank& voices, LaneState& s) {
    s.active = nonNegative(voices.note);
    s.pitch = loadF(voices.pitch);
    s.phase = loadF(voices.phase);
    s.increment = loadF(voices.phaseIncrement);
    s.pulseCounter = loadF(voices.pulseCounter);
    s.pulseLength = loadF(voices.pulseLength);
    s.cutCounter = loadF(voices.cutCounter);
    s.activeLanes = lanes(s.active);
}

// Writes back what sub-steps change; voices the cut timer freed get note -1.
QV_LANES void storeLanes(const LaneState& s, unsigned activeBefore, VoiceBank& voices) {
    storeF(voices.phase, s.phase);
    storeF(voices.phaseIncrement, s.increment);
    storeF(voices.pulseCounter, s.pulseCounter);
    storeF(voices.cutCounter, s.cutCounter);
    const unsigned freed = activeBefore & ~s.active;
    if (freed)
        for (int k = 0; k < kNumVoices; ++k)
            if (freed >> k & 1u) voices.note[k] = -1;
}

// What a sub-step does to each lane when nothing happens in it: the cut
// timer and the pulse counter count down where they run, the phase advances
// where the voice plays. Each comes with the limit at which something does
// happen (a NaN limit: never); a lane reaching one sends the sub-step to
// subStepExactly. Between such sub-steps the plan only changes with the
// increments (negativeStep) and the "Note cut" parameter.
struct SubStepPlan {
    F cutDecrement, cutLimit;      // cutting lanes: 1, 0; others: 0, NaN
    F negativeStep, phaseLimit;    // active lanes: -increment, 1; others: +0, +infinity
    F pulseDecrement, pulseLimit;  // lanes inside a pulse: 1, 0; others: 0, NaN
    bool noteCutOn;                // the "Note cut" parameter above 0
    bool anyCut;                   // some lane cutting
};

QV_LANES SubStepPlan planSubSteps(const LaneState& s, F pulseCounter, F cutCounter, bool noteCutOn) {
    const F zero = splat(0.0f), one = splat(1.0f), nan = splat(NAN);
    const M active = s.activeLanes;
    const M cutting = mand(noteCutOn ? active : lanes(0u), gt(cutCounter, zero));
    const M counting = mand(active, gt(pulseCounter, zero));
    SubStepPlan plan;
    plan.cutDecrement = keep(cutting, one);
    plan.cutLimit = select(cutting, zero, nan);
    // phase - (-increment) is phase + increment, bit for bit; +0 leaves any phase as it is.
    plan.negativeStep = keep(active, neg(s.increment));
    plan.phaseLimit = select(active, one, splat(INFINITY));
    plan.pulseDecrement = keep(counting, one);
    plan.pulseLimit = select(counting, zero, nan);
    plan.noteCutOn = noteCutOn;
    plan.anyCut = bits(cutting) != 0;
    return plan;
}

// A phase too far ahead for the period-at-a-time loop below (kPhaseLoopLimit
// or more, infinite, NaN). Where the loop would end, its periods are counted
// at once, each adding a pulse length to the pulse counter as the loop adds
// it. The loop ends for every phase up to 2^24 + 2; from 2^24 + 4 on, taking
// one period off rounds back to the same float and it never would. There,
// and for an infinite phase, the whole periods are dropped and one pulse
// starts; a phase that is not a number starts over at 0. Returns whether a
// pulse started.
inline bool wrapFarPhase(float& phase, float& pulseCounter, float pulseLength) {
    bool started = false;
    if (phase >= kPhaseLoopLimit) {
        std::uint64_t periods = 0;
        if (addWhileAtLeast(phase, -1.0f, 1.0, periods)) {
            pulseCounter = addRepeatedly(pulseCounter, pulseLength, periods);
        } else {
            phase -= std::floor(phase);
            if (pulseCounter < pulseLength) pulseCounter = pulseLength;
        }
        started = true;
    }
    if (!(phase >= 0.0f && phase < 1.0f)) phase = 0.0f;  // NaN, or infinity less itself
    return started;
}

// One sub-step in which some lane does more than count: a note cut, a
// period start or a pulse end. Each voice in index order: the cut timer (a
// voice it frees does nothing more), the phase with its period starts, the
// pulse end; the output bit takes the last write of the highest voice that
// writes. The lanes are kept as vector masks throughout, the voices' set of
// bits only worked out at the end.
QV_LANES std::int32_t subStepExactly(LaneState& s, std::int32_t outputBit, bool noteCutOn) {
    const F zero = splat(0.0f), one = splat(1.0f);

    const M cutting = mand(noteCutOn ? s.activeLanes : lanes(0u), gt(s.cutCounter, zero));
    const F cut = sub(s.cutCounter, keep(cutting, one));
    const M freed = mand(cutting, le(cut, zero));
    s.cutCounter = select(freed, zero, cut);
    const M active = mandnot(freed, s.activeLanes);

    F phase = sub(s.phase, keep(active, neg(s.increment)));
    M started = lanes(0u);
    const unsigned far = bits(mand(active, nlt(phase, splat(kPhaseLoopLimit))));
    if (far) {
        float ph[kNumVoices], pc[kNumVoices], pl[kNumVoices];
        storeF(ph, phase);
        storeF(pc, s.pulseCounter);
        storeF(pl, s.pulseLength);
        unsigned farStarted = 0;
        for (int k = 0; k < kNumVoices; ++k)
            if (far >> k & 1u && wrapFarPhase(ph[k], pc[k], pl[k])) farStarted |= 1u << k;
        phase = loadF(ph);
        s.pulseCounter = loadF(pc);
        started = lanes(farStarted);
    }
    // Period starts: the first for every due lane at once, further ones (a
    // start phase of 1 or more) while any lane is still due.
    M due = mand(active, ge(phase, one));
    do {
        started = mor(started, due);
        phase = select(due, sub(phase, one), phase);
        s.pulseCounter = select(due, add(s.pulseCounter, s.pulseLength), s.pulseCounter);
        due = mand(active, ge(phase, one));
    } while (bits(due) != 0);
    s.phase = phase;

    const M counting = mand(active, gt(s.pulseCounter, zero));
    s.pulseCounter = select(counting, sub(s.pulseCounter, one), s.pulseCounter);
    const M ended = mand(counting, le(s.pulseCounter, zero));

    s.activeLanes = active;
    s.active = bits(active);

    // Even voices switch the bit on at a period start and off at a pulse
    // end, odd voices the other way round.
    const unsigned endedSet = bits(ended);
    const int last = kLastVoice.of[bits(started) | endedSet];
    if (last < 0) return outputBit;
    const bool odd = (last & 1) != 0;
    const bool pulseEnded = (endedSet >> last & 1u) != 0;
    return (pulseEnded == odd) ? 1 : 0;
}

// `count` sub-steps taken at once where no lane reaches the end of a
// period, of a pulse or of the cut timer in them: since phases only grow and
// counters only fall, a lane that has not reached its limit after the last
// did not reach it before. True with the values moved on; false, with
// nothing changed, where a lane does reach one.
template <bool anyCut>
QV_LANES bool quietSubSteps(const SubStepPlan& plan, int count, F& phase, F& pulse, F& cut) {
    F nextPhase = phase, nextPulse = pulse, nextCut = cut;
#if defined(__GNUC__)
#pragma GCC unroll 8
#endif
    for (int t = 0; t < count; ++t) {
        nextPhase = sub(nextPhase, plan.negativeStep);
        nextPulse = sub(nextPulse, plan.pulseDecrement);
        if (anyCut) nextCut = sub(nextCut, plan.cutDecrement);
    }
    M reached = mor(nlt(nextPhase, plan.phaseLimit), le(nextPulse, plan.pulseLimit));
    if (anyCut) reached = mor(reached, le(nextCut, plan.cutLimit));
    if (bits(reached) != 0) return false;
    phase = nextPhase;
    pulse = nextPulse;
    cut = nextCut;
    return true;
}

// The sub-steps of a sample in which some lane reaches its limit: one at a
// time up to the first in which something happens, which goes to
// subStepExactly, then the rest at once if nothing more happens in them,
// else the same way again.
template <bool anyCut>
QV_RARE int subStepsOneByOne(LaneState& s, std::int32_t& outputBit, bool noteCutOn) {
    SubStepPlan plan = planSubSteps(s, s.pulseCounter, s.cutCounter, noteCutOn);
    std::int32_t bit = outputBit;
    int on = 0;
    F phase = s.phase, pulse = s.pulseCounter, cut = s.cutCounter;
    int step = 0;
    for (;;) {
        for (; step < kSubSteps; ++step) {
            const F nextPhase = sub(phase, plan.negativeStep);
            const F nextPulse = sub(pulse, plan.pulseDecrement);
            M event = mor(nlt(nextPhase, plan.phaseLimit), le(nextPulse, plan.pulseLimit));
            F nextCut = cut;
            if (anyCut) {
                nextCut = sub(cut, plan.cutDecrement);
                event = mor(event, le(nextCut, plan.cutLimit));
            }
            if (bits(event) != 0) break;
            cut = nextCut;
            phase = nextPhase;
            pulse = nextPulse;
            on += bit;
        }
        if (step == kSubSteps) break;

        s.cutCounter = cut;
        s.phase = phase;
        s.pulseCounter = pulse;
        bit = subStepExactly(s, bit, noteCutOn);
        cut = s.cutCounter;
        phase = s.phase;
        pulse = s.pulseCounter;
        on += bit;
        if (++step == kSubSteps) break;
        plan = planSubSteps(s, pulse, cut, noteCutOn);

        if (quietSubSteps<anyCut>(plan, kSubSteps - step, phase, pulse, cut)) {
            on += bit * (kSubSteps - step);
            break;
        }
    }
    s.cutCounter = cut;
    s.phase = phase;
    s.pulseCounter = pulse;
    outputBit = bit;
    return on;
}

// The lowest set bit of a nonzero word.
QV_LANES int lowestBit(std::uint64_t word) {
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_ctzll(word);
#else
    int n = 0;
    while (!(word >> n & 1u)) ++n;
    return n;
#endif
}

// The eight sub-steps of a sample in which some lane reaches its limit, for
// the usual case: no cut timer running, and every active lane with a phase
// and an increment below 1, so that a sub-step starts at most one period
// (phase + increment stays below 2). Each sub-step is then done in full for
// every lane, as subStepExactly does it, with no branch on what happens in
// it: cheaper than finding the sub-steps where something does. The voices
// that write the output bit in each sub-step are noted (byte t of a word
// for sub-step t) and the bit worked out from them afterwards.
QV_LANES int subStepsInFull(const LaneState& s, F& phase, F& pulse, std::int32_t& outputBit) {
    const F zero = splat(0.0f), one = splat(1.0f);
    const M active = s.activeLanes;
    const F negativeStep = keep(active, neg(s.increment));
    std::uint64_t startedIn = 0, endedIn = 0;
#if defined(__GNUC__)
#pragma GCC unroll 8
#endif
    for (int t = 0; t < kSubSteps; ++t) {
        phase = sub(phase, negativeStep);
        const M started = mand(active, ge(phase, one));
        phase = select(started, sub(phase, one), phase);
        pulse = select(started, add(pulse, s.pulseLength), pulse);
        const M counting = mand(active, gt(pulse, zero));
        pulse = select(counting, sub(pulse, one), pulse);
        const M ended = mand(counting, le(pulse, zero));
        startedIn |= static_cast<std::uint64_t>(bits(started)) << (8 * t);
        endedIn |= static_cast<std::uint64_t>(bits(ended)) << (8 * t);
    }
    // Even voices switch the bit on at a period start and off at a pulse
    // end, odd voices the other way round; the highest voice that writes in
    // a sub-step has the last word. Among a sub-step's writers w, those
    // writing 1 (v) hold the highest one when v, read as a number, is
    // greater than the rest (w ^ v).
    const std::uint64_t writers = startedIn | endedIn;
    const std::uint64_t writingOne = endedIn ^ (writers & 0x5555555555555555u);
    std::int32_t bit = outputBit;
    int on = 0, from = 0;
    for (std::uint64_t left = writers; left != 0;) {
        const int shift = lowestBit(left) & ~7;
        const unsigned w = static_cast<unsigned>(writers >> shift) & 0xFFu;
        const unsigned v = static_cast<unsigned>(writingOne >> shift) & 0xFFu;
        const int t = shift >> 3;
        on += bit * (t - from);
        bit = v > (w ^ v) ? 1 : 0;
        from = t;
        left &= ~(std::uint64_t{0xFFu} << shift);
    }
    on += bit * (kSubSteps - from);
    outputBit = bit;
    return on;
}

// The eight sub-steps of one sample; returns in how many the bit was on.
// In most samples the sub-steps change no lane beyond counting: all eight
// are done that way at once. Otherwise the sample is done again, one sub-step at a time
// where needed, and the plan worked out anew. Without a cut timer running
// (the usual case) the timers are left out. The phases and counters carried
// from sample to sample are passed on their own, so that they can stay in
// registers; `s` holds the rest.
template <bool anyCut>
QV_LANES int subStepsOfSample(LaneState& s, SubStepPlan& plan, F& phase, F& pulse, F& cut, std::int32_t& outputBit) {
    if (quietSubSteps<anyCut>(plan, kSubSteps, phase, pulse, cut)) return outputBit ? kSubSteps : 0;
    int on;
    const F one = splat(1.0f);
    if (!anyCut && (bits(mand(gt(one, phase), gt(one, s.increment))) & s.active) == s.active) {
        on = subStepsInFull(s, phase, pulse, outputBit);
    } else {
        s.phase = phase;
        s.pulseCounter = pulse;
        s.cutCounter = cut;
        on = subStepsOneByOne<anyCut>(s, outputBit, plan.noteCutOn);
        phase = s.phase;
        pulse = s.pulseCounter;
        cut = s.cutCounter;
    }
    plan = planSubSteps(s, pulse, cut, plan.noteCutOn);
    return on;
}

// The pitch stage: each active voice's increment for one sample. The last
// exponents are kept with their increments: a sample whose exponents (and
// rate) are the same gets the same increments without a power of two. The
// last approximations of the powers are kept too, for the next to step from.
struct PitchStage {
    F exponent, increment;
    float rate;
    unsigned detunedFor;  // the active voices `detuned` was worked out for
    M detuned;
    D approx, approxExponent;  // 2^x and x, for every lane when chainSteps >= 0
    int chainSteps;            // steps since the polynomial; -1: no approximations
};

QV_LANES F incrementsAt(PitchStage& p, const VoiceRun& run, const LaneState& s, std::int32_t i) {
    if (s.active != p.detunedFor) {
        p.detunedFor = s.active;
        p.detuned = lanes(kDetuned.lanes[s.active]);
    }
    const float detune = run.detune->load() - 0.5f;
    F x = add(s.pitch, splat(run.vibrato[i]));
    x = add(x, splat(run.bend));
    x = add(x, select(p.detuned, splat(detune), splat(-0.0f)));  // x + -0 is x
    x = div(x, splat(12.0f));
    if (!(p.rate == run.sampleRate && bits(eq(x, p.exponent)) == 0xFFu)) {
        const D xd = widen(x);
        const D d = subD(xd, p.approxExponent);
        unsigned usable = 0xFFu;
        if (p.chainSteps >= 0 && p.chainSteps < kChainLimit && bitsD(leD(absD(d), splatD(kChainStep))) == 0xFFu) {
            p.approx = powerStep(p.approx, d);
            ++p.chainSteps;
        } else {
            p.approx = powerApprox(xd, usable);
            p.chainSteps = usable == 0xFFu ? 0 : -1;
        }
        p.approxExponent = xd;
        p.exponent = x;
        p.increment = incrementsFor(roundPowers(p.approx, x, usable), run.sampleRate);
        p.rate = run.sampleRate;
    }
    return p.increment;
}

// How many samples ahead of the sub-steps the pitch stage runs: its chain of
// dependent operations is longer than a sample's sub-steps, on which it does
// not depend.
constexpr int kPitchLead = 2;

// Pitch, sub-steps and the output sample for every sample of the run.
QV_LANES void renderRun(VoiceRun& run) {
    LaneState s;
    loadLanes(*run.voices, s);
    const unsigned activeBefore = s.active;
    std::int32_t bit = *run.outputBit;

    PitchCache& cache = *run.pitchCache;
    PitchStage pitch;
    pitch.exponent = loadF(cache.exponent);
    pitch.increment = loadF(cache.increment);
    pitch.rate = cache.rate;
    pitch.detunedFor = 0u;
    pitch.detuned = lanes(0u);
    pitch.approx = pitch.approxExponent = splatD(0.0);
    pitch.chainSteps = -1;

    // Each sample's pitch is worked out kPitchLead samples ahead, and again
    // should a cut free a voice in between.
    F ahead[kPitchLead];
    unsigned aheadFor[kPitchLead] = {};  // the active voices each was worked out for
    for (std::int32_t i = 0; i < kPitchLead && i < run.frames && s.active != 0; ++i) {
        ahead[i] = incrementsAt(pitch, run, s, i);
        aheadFor[i] = s.active;
    }

    F phase = s.phase, pulse = s.pulseCounter, cut = s.cutCounter;
    SubStepPlan plan = planSubSteps(s, pulse, cut, run.noteCut->load() > 0.0f);
    std::int32_t i = 0;
    for (; i < run.frames && s.active != 0; ++i) {
        // Pitch.
        const int slot = i % kPitchLead;
        const F increment = aheadFor[slot] == s.active ? ahead[slot] : incrementsAt(pitch, run, s, i);
        if (i + kPitchLead < run.frames) {
            ahead[slot] = incrementsAt(pitch, run, s, i + kPitchLead);
            aheadFor[slot] = s.active;
        }
        s.increment = select(s.activeLanes, increment, s.increment);

        // Sub-steps.
        const bool noteCutOn = run.noteCut->load() > 0.0f;
        if (noteCutOn != plan.noteCutOn) plan = planSubSteps(s, pulse, cut, noteCutOn);
        plan.negativeStep = keep(s.activeLanes, neg(s.increment));
        const int on = plan.anyCut ? subStepsOfSample<true>(s, plan, phase, pulse, cut, bit)
                                   : subStepsOfSample<false>(s, plan, phase, pulse, cut, bit);

        // Output.
        float sample = run.noteVolume * kAccumulated[on];
        sample = sample * run.outputGain->load();
        // A gain that is not a number, or too large for a finite sample, is
        // silence: the host's buffers never get a NaN or an infinity.
        if (!std::isfinite(sample)) sample = 0.0f;
        run.out0[i] = sample;
        run.out1[i] = sample;
    }
    s.phase = phase;
    s.pulseCounter = pulse;
    s.cutCounter = cut;
    storeF(cache.exponent, pitch.exponent);
    storeF(cache.increment, pitch.increment);
    cache.rate = pitch.rate;

    // Once no voice plays, nothing writes the bit in any sub-step until the
    // next event: every sample has the same level.
    const float level = run.noteVolume * kAccumulated[bit ? kSubSteps : 0];
    for (; i < run.frames; ++i) {
        float sample = level * run.outputGain->load();
        if (!std::isfinite(sample)) sample = 0.0f;
        run.out0[i] = sample;
        run.out1[i] = sample;
    }

    storeLanes(s, activeBefore, *run.voices);
    *run.outputBit = bit;
}
