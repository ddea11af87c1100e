// The voice kernel on SSE2: the eight lanes as two vectors of four floats
// (eight doubles as four vectors of two). SSE2 is part of every x86-64
// processor and of the 32-bit x86 builds (-msse2).
#include "synth/voice_kernel.h"

#if defined(QUORVEL_KERNEL_SSE2)

#include <emmintrin.h>

#include <cmath>
#include <cstdint>

#if defined(__GNUC__) || defined(__clang__)
#define QV_LANES __attribute__((always_inline)) inline
#define QV_RARE __attribute__((noinline))
#else
#define QV_LANES inline
#define QV_RARE
#endif

namespace {

struct F {
    __m128 lo, hi;
};
struct M {
    __m128 lo, hi;
};
struct D {
    __m128d v[4];
};
struct MD {
    __m128d v[4];
};

inline F loadF(const float* p) { return F{_mm_loadu_ps(p), _mm_loadu_ps(p + 4)}; }
inline void storeF(float* p, F a) {
    _mm_storeu_ps(p, a.lo);
    _mm_storeu_ps(p + 4, a.hi);
}
inline F splat(float x) { return F{_mm_set1_ps(x), _mm_set1_ps(x)}; }
inline F add(F a, F b) { return F{_mm_add_ps(a.lo, b.lo), _mm_add_ps(a.hi, b.hi)}; }
inline F sub(F a, F b) { return F{_mm_sub_ps(a.lo, b.lo), _mm_sub_ps(a.hi, b.hi)}; }
inline F mul(F a, F b) { return F{_mm_mul_ps(a.lo, b.lo), _mm_mul_ps(a.hi, b.hi)}; }
inline F div(F a, F b) { return F{_mm_div_ps(a.lo, b.lo), _mm_div_ps(a.hi, b.hi)}; }
inline F neg(F a) {
    const __m128 sign = _mm_set1_ps(-0.0f);
    return F{_mm_xor_ps(a.lo, sign), _mm_xor_ps(a.hi, sign)};
}
inline __m128 blend(__m128 m, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(m, a), _mm_andnot_ps(m, b)); }
inline F select(M m, F a, F b) { return F{blend(m.lo, a.lo, b.lo), blend(m.hi, a.hi, b.hi)}; }
inline F keep(M m, F a) { return F{_mm_and_ps(m.lo, a.lo), _mm_and_ps(m.hi, a.hi)}; }

inline M le(F a, F b) { return M{_mm_cmple_ps(a.lo, b.lo), _mm_cmple_ps(a.hi, b.hi)}; }
inline M gt(F a, F b) { return M{_mm_cmpgt_ps(a.lo, b.lo), _mm_cmpgt_ps(a.hi, b.hi)}; }
inline M ge(F a, F b) { return M{_mm_cmpge_ps(a.lo, b.lo), _mm_cmpge_ps(a.hi, b.hi)}; }
inline M nlt(F a, F b) { return M{_mm_cmpnlt_ps(a.lo, b.lo), _mm_cmpnlt_ps(a.hi, b.hi)}; }
inline M eq(F a, F b) { return M{_mm_cmpeq_ps(a.lo, b.lo), _mm_cmpeq_ps(a.hi, b.hi)}; }
inline M mand(M a, M b) { return M{_mm_and_ps(a.lo, b.lo), _mm_and_ps(a.hi, b.hi)}; }
inline M mor(M a, M b) { return M{_mm_or_ps(a.lo, b.lo), _mm_or_ps(a.hi, b.hi)}; }
inline M mandnot(M a, M b) { return M{_mm_andnot_ps(a.lo, b.lo), _mm_andnot_ps(a.hi, b.hi)}; }
inline unsigned bits(M m) {
    return static_cast<unsigned>(_mm_movemask_ps(m.lo) | (_mm_movemask_ps(m.hi) << 4));
}
inline M lanes(unsigned set) {
    const __m128i all = _mm_set1_epi32(static_cast<int>(set));
    const __m128i low = _mm_setr_epi32(1, 2, 4, 8), high = _mm_setr_epi32(16, 32, 64, 128);
    return M{_mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(all, low), low)),
             _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(all, high), high))};
}

inline D widen(F a) {
    return D{{_mm_cvtps_pd(a.lo), _mm_cvtps_pd(_mm_movehl_ps(a.lo, a.lo)), _mm_cvtps_pd(a.hi),
              _mm_cvtps_pd(_mm_movehl_ps(a.hi, a.hi))}};
}
inline F narrow(D a) {
    return F{_mm_movelh_ps(_mm_cvtpd_ps(a.v[0]), _mm_cvtpd_ps(a.v[1])),
             _mm_movelh_ps(_mm_cvtpd_ps(a.v[2]), _mm_cvtpd_ps(a.v[3]))};
}
inline D splatD(double x) {
    const __m128d v = _mm_set1_pd(x);
    return D{{v, v, v, v}};
}
inline D addD(D a, D b) {
    D r;
    for (int i = 0; i < 4; ++i) r.v[i] = _mm_add_pd(a.v[i], b.v[i]);
    return r;
}
inline D subD(D a, D b) {
    D r;
    for (int i = 0; i < 4; ++i) r.v[i] = _mm_sub_pd(a.v[i], b.v[i]);
    return r;
}
inline D mulD(D a, D b) {
    D r;
    for (int i = 0; i < 4; ++i) r.v[i] = _mm_mul_pd(a.v[i], b.v[i]);
    return r;
}
inline D negD(D a) {
    const __m128d sign = _mm_set1_pd(-0.0);
    D r;
    for (int i = 0; i < 4; ++i) r.v[i] = _mm_xor_pd(a.v[i], sign);
    return r;
}
inline D absD(D a) {
    const __m128d sign = _mm_set1_pd(-0.0);
    D r;
    for (int i = 0; i < 4; ++i) r.v[i] = _mm_andnot_pd(sign, a.v[i]);
    return r;
}
inline MD leD(D a, D b) {
    MD r;
    for (int i = 0; i < 4; ++i) r.v[i] = _mm_cmple_pd(a.v[i], b.v[i]);
    return r;
}
inline D selectD(MD m, D a, D b) {
    D r;
    for (int i = 0; i < 4; ++i) r.v[i] = _mm_or_pd(_mm_and_pd(m.v[i], a.v[i]), _mm_andnot_pd(m.v[i], b.v[i]));
    return r;
}
// Lanes whose pattern has the bit set, for bits of the lower 32; each 64-bit
// lane takes the comparison of its lower half.
inline MD bitD(D a, unsigned bit) {
    const __m128i b = _mm_set_epi32(0, static_cast<int>(bit), 0, static_cast<int>(bit));
    MD r;
    for (int i = 0; i < 4; ++i) {
        const __m128i low = _mm_cmpeq_epi32(_mm_and_si128(_mm_castpd_si128(a.v[i]), b), b);
        r.v[i] = _mm_castsi128_pd(_mm_shuffle_epi32(low, _MM_SHUFFLE(2, 2, 0, 0)));
    }
    return r;
}
inline unsigned bitsD(MD m) {
    unsigned set = 0;
    for (int i = 0; i < 4; ++i) set |= static_cast<unsigned>(_mm_movemask_pd(m.v[i])) << (2 * i);
    return set;
}
// 2^k for doubles holding 1.5 * 2^52 + k: k + 1023 shifted into the exponent.
inline D pow2OfRounded(D shifted) {
    const __m128i bias = _mm_set_epi32(0, 1023, 0, 1023);
    D r;
    for (int i = 0; i < 4; ++i)
        r.v[i] = _mm_castsi128_pd(_mm_slli_epi64(_mm_add_epi64(_mm_castpd_si128(shifted.v[i]), bias), 52));
    return r;
}

#include "synth/voice_kernel_body.h"

void renderRunEntry(VoiceRun& run) { renderRun(run); }
void sinesEntry(const float* x, std::int32_t count, float* result) { eachOf<Sine>(x, count, result); }
void powersEntry(const float* x, std::int32_t count, float* result) { eachOf<PowerOfTwo>(x, count, result); }
}  // namespace

const VoiceKernel kernel_paths::sse2 = {renderRunEntry, sinesEntry, powersEntry};

#endif
