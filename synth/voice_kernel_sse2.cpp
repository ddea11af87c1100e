// The voice kernel on SSE2: the eight lanes as two vectors of four floats
// (eight doubles as four vectors of two). SSE2 is part of every x86-64
// processor and of the 32-bit x86 builds (-msse2).
#include "synth/voice_allocation.h"
#include "synth/voice_kernel.h"

#if defined(QUORVEL_KERNEL_SSE2)

#include <emmintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__GNUC__) || defined(__clang__)
#define QV_LANES __attribute__((always_inline)) inline
#define QV_RARE __attribute__((noinline))
#else
#define QV_LANES inline
#define QV_RARE
#endif

namespace quorvel {
namespace {

struct F {
    __m128 lo, hi;
};
struct M {
    __m128 lo, hi;
};
// Lanes 0-1, 2-3, 4-5, 6-7.
struct D {
    __m128d l01, l23, l45, l67;
};
struct MD {
    __m128d l01, l23, l45, l67;
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
inline unsigned bits(M m) { return static_cast<unsigned>(_mm_movemask_ps(m.lo) | (_mm_movemask_ps(m.hi) << 4)); }
inline M lanes(unsigned set) {
    const __m128i all = _mm_set1_epi32(static_cast<int>(set));
    const __m128i low = _mm_setr_epi32(1, 2, 4, 8), high = _mm_setr_epi32(16, 32, 64, 128);
    return M{_mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(all, low), low)),
             _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(all, high), high))};
}

inline D widen(F a) {
    return D{_mm_cvtps_pd(a.lo), _mm_cvtps_pd(_mm_movehl_ps(a.lo, a.lo)), _mm_cvtps_pd(a.hi),
             _mm_cvtps_pd(_mm_movehl_ps(a.hi, a.hi))};
}
inline F narrow(D a) {
    return F{_mm_movelh_ps(_mm_cvtpd_ps(a.l01), _mm_cvtpd_ps(a.l23)),
             _mm_movelh_ps(_mm_cvtpd_ps(a.l45), _mm_cvtpd_ps(a.l67))};
}
inline D splatD(double x) {
    const __m128d v = _mm_set1_pd(x);
    return D{v, v, v, v};
}
inline D addD(D a, D b) {
    return D{_mm_add_pd(a.l01, b.l01), _mm_add_pd(a.l23, b.l23), _mm_add_pd(a.l45, b.l45), _mm_add_pd(a.l67, b.l67)};
}
inline D subD(D a, D b) {
    return D{_mm_sub_pd(a.l01, b.l01), _mm_sub_pd(a.l23, b.l23), _mm_sub_pd(a.l45, b.l45), _mm_sub_pd(a.l67, b.l67)};
}
inline D mulD(D a, D b) {
    return D{_mm_mul_pd(a.l01, b.l01), _mm_mul_pd(a.l23, b.l23), _mm_mul_pd(a.l45, b.l45), _mm_mul_pd(a.l67, b.l67)};
}
inline D negD(D a) {
    const __m128d sign = _mm_set1_pd(-0.0);
    return D{_mm_xor_pd(a.l01, sign), _mm_xor_pd(a.l23, sign), _mm_xor_pd(a.l45, sign), _mm_xor_pd(a.l67, sign)};
}
inline D absD(D a) {
    const __m128d sign = _mm_set1_pd(-0.0);
    return D{_mm_andnot_pd(sign, a.l01), _mm_andnot_pd(sign, a.l23), _mm_andnot_pd(sign, a.l45),
             _mm_andnot_pd(sign, a.l67)};
}
inline MD leD(D a, D b) {
    return MD{_mm_cmple_pd(a.l01, b.l01), _mm_cmple_pd(a.l23, b.l23), _mm_cmple_pd(a.l45, b.l45),
              _mm_cmple_pd(a.l67, b.l67)};
}
inline __m128d blendD(__m128d m, __m128d a, __m128d b) { return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b)); }
inline D selectD(MD m, D a, D b) {
    return D{blendD(m.l01, a.l01, b.l01), blendD(m.l23, a.l23, b.l23), blendD(m.l45, a.l45, b.l45),
             blendD(m.l67, a.l67, b.l67)};
}
// Lanes whose pattern has the bit set, for bits of the lower 32; each 64-bit
// lane takes the comparison of its lower half.
inline __m128d bitD(__m128d a, __m128i bit) {
    const __m128i low = _mm_cmpeq_epi32(_mm_and_si128(_mm_castpd_si128(a), bit), bit);
    return _mm_castsi128_pd(_mm_shuffle_epi32(low, _MM_SHUFFLE(2, 2, 0, 0)));
}
inline MD bitD(D a, unsigned bit) {
    const __m128i b = _mm_set_epi32(0, static_cast<int>(bit), 0, static_cast<int>(bit));
    return MD{bitD(a.l01, b), bitD(a.l23, b), bitD(a.l45, b), bitD(a.l67, b)};
}
inline unsigned bitsD(MD m) {
    return static_cast<unsigned>(_mm_movemask_pd(m.l01) | (_mm_movemask_pd(m.l23) << 2) |
                                 (_mm_movemask_pd(m.l45) << 4) | (_mm_movemask_pd(m.l67) << 6));
}
// 2^k for doubles holding 1.5 * 2^52 + k: k + 1023 shifted into the exponent.
inline __m128d pow2OfRounded(__m128d shifted) {
    const __m128i bias = _mm_set_epi32(0, 1023, 0, 1023);
    return _mm_castsi128_pd(_mm_slli_epi64(_mm_add_epi64(_mm_castpd_si128(shifted), bias), 52));
}
inline D pow2OfRounded(D shifted) {
    return D{pow2OfRounded(shifted.l01), pow2OfRounded(shifted.l23), pow2OfRounded(shifted.l45),
             pow2OfRounded(shifted.l67)};
}

// The kernel in this order: its maths, the pitch stage, the lane stepping.
// clang-format off
#include "synth/voice_kernel_maths.h"
#include "synth/voice_kernel_pitch.h"
#include "synth/voice_kernel_body.h"
// clang-format on

void renderRunEntry(VoiceRun& run) { renderRun(run); }
void renderPlainRunsEntry(VoiceRun& run, RunChain& chain) {
    renderPlainRuns(run, [&chain](VoiceRun& next) { return chain.engine->nextPlainRun(chain, next); });
}
void sinesEntry(const float* x, std::int32_t count, float* result) { eachOf<Sine>(x, count, result); }
void stepSinesEntry(float phase, float step, std::int32_t count, float* result) {
    sinesOfSteps(phase, step, count, result);
}
void powersEntry(const float* x, std::int32_t count, float* result) { eachOf<PowerOfTwo>(x, count, result); }
}  // namespace

const VoiceKernel kernel_paths::sse2 = {renderRunEntry, renderPlainRunsEntry, sinesEntry, stepSinesEntry, powersEntry};

}  // namespace quorvel

#endif
