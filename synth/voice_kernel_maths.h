// The voice kernel's maths: the power of two of the pitch stage and the
// vibrato's sine, as polynomials in double precision whose float rounding is
// checked against a margin, with the library asked where the margin does not
// settle it. Written against the lane operations of voice_kernel_body.h and,
// like it, included by each voice_kernel_<path>.cpp inside its unnamed
// namespace (before the body, which uses these functions). No #include here.

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
