// Where the pitch is computed: the voice kernel's pitch stage, which turns
// each active voice's key, the vibrato, the bend and the detune into its
// phase increment for one sample:
//   x = (key - 69 + vibrato + bend [+ detune - 0.5 on every second active
//   voice]) / 12, increment = 2^x * 440 / rate * 0.125 periods per sub-step,
// each step rounded to single precision in this order. The plain statement of
// the same rule, one voice at a time, is in the reference engine's render
// loop (tests/reference/reference_engine.cpp). Like voice_kernel_body.h, this
// file is included by each voice_kernel_<path>.cpp inside its unnamed
// namespace, after voice_kernel_maths.h (the power of two) and before the
// body. No #include here.

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

// Periods per sub-step for powers of two p: p * 440 / rate * 0.125, in this order.
QV_LANES F incrementsFor(F p, float sampleRate) {
    F inc = mul(p, splat(440.0f));
    inc = div(inc, splat(sampleRate));
    return mul(inc, splat(0.125f));
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

// The increments of a sample: `detuneParameter` is "Detune" as read for it.
QV_LANES F incrementsAt(PitchStage& p, const VoiceRun& run, F pitch, unsigned active, float detuneParameter,
                        std::int32_t i) {
    const float detune = detuneParameter - 0.5f;
    const float vibrato = run.vibrato[i];
    if (active != p.detunedFor) {
        p.detunedFor = active;
        p.detuned = lanes(kDetuned.lanes[active]);
    }
    F x = add(pitch, splat(vibrato));
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

// Whether, in a run without vibrato, nothing moves the pitch: no bend, and
// no detune on the voices that carry it. x is then pitch / 12, and each
// lane's increment its keyIncrement (VoiceBank::keyIncrement): the key's
// power of two (KeyPowers, the one the polynomial would give: pitches are
// never -0, so adding a zero of either sign leaves them as they are) through
// incrementsFor at the block's rate. The pitch stage's cache is left as it
// is: what it holds still belongs together.
QV_LANES bool plainPitch(const VoiceRun& run, unsigned active, float detuneParameter) {
    return run.bend == 0.0f && (detuneParameter - 0.5f == 0.0f || kDetuned.lanes[active] == 0);
}

// How many samples ahead of the sub-steps the pitch stage runs: its chain of
// dependent operations is longer than a sample's sub-steps, on which it does
// not depend.
constexpr int kPitchLead = 2;
