// The voice kernel on AVX2: the eight lanes in one vector of eight floats
// (eight doubles in two vectors of four). Compiled for AVX2 function by
// function, so the rest of the plug-in runs on any x86 processor; used only
// where the processor reports AVX2. The target is "avx2" without "fma": a
// fused multiply-add would round differently from the other paths.
#include "synth/voice_allocation.h"
#include "synth/voice_kernel.h"

#if defined(QUORVEL_KERNEL_AVX2)

#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>

// Everything inlined into the kernel's entry points: GCC 12 does not keep a
// 256-bit vector returned in a struct intact across an out-of-line call
// (it clears the upper halves on the way out).
#define QV_LANES __attribute__((target("avx2"), always_inline)) inline
#define QV_RARE __attribute__((target("avx2"), noinline))

namespace quorvel {
namespace {

struct F {
    __m256 v;
};
struct M {
    __m256 v;
};
struct D {
    __m256d lo, hi;
};
struct MD {
    __m256d lo, hi;
};

QV_LANES F loadF(const float* p) { return F{_mm256_loadu_ps(p)}; }
QV_LANES void storeF(float* p, F a) { _mm256_storeu_ps(p, a.v); }
QV_LANES F splat(float x) { return F{_mm256_set1_ps(x)}; }
QV_LANES F add(F a, F b) { return F{_mm256_add_ps(a.v, b.v)}; }
QV_LANES F sub(F a, F b) { return F{_mm256_sub_ps(a.v, b.v)}; }
QV_LANES F mul(F a, F b) { return F{_mm256_mul_ps(a.v, b.v)}; }
QV_LANES F div(F a, F b) { return F{_mm256_div_ps(a.v, b.v)}; }
QV_LANES F neg(F a) { return F{_mm256_xor_ps(a.v, _mm256_set1_ps(-0.0f))}; }
QV_LANES F select(M m, F a, F b) { return F{_mm256_blendv_ps(b.v, a.v, m.v)}; }
QV_LANES F keep(M m, F a) { return F{_mm256_and_ps(m.v, a.v)}; }

QV_LANES M le(F a, F b) { return M{_mm256_cmp_ps(a.v, b.v, _CMP_LE_OQ)}; }
QV_LANES M gt(F a, F b) { return M{_mm256_cmp_ps(a.v, b.v, _CMP_GT_OQ)}; }
QV_LANES M ge(F a, F b) { return M{_mm256_cmp_ps(a.v, b.v, _CMP_GE_OQ)}; }
QV_LANES M nlt(F a, F b) { return M{_mm256_cmp_ps(a.v, b.v, _CMP_NLT_UQ)}; }
QV_LANES M eq(F a, F b) { return M{_mm256_cmp_ps(a.v, b.v, _CMP_EQ_OQ)}; }
QV_LANES M mand(M a, M b) { return M{_mm256_and_ps(a.v, b.v)}; }
QV_LANES M mor(M a, M b) { return M{_mm256_or_ps(a.v, b.v)}; }
QV_LANES M mandnot(M a, M b) { return M{_mm256_andnot_ps(a.v, b.v)}; }
QV_LANES unsigned bits(M m) { return static_cast<unsigned>(_mm256_movemask_ps(m.v)); }
QV_LANES M lanes(unsigned set) {
    const __m256i each = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    const __m256i all = _mm256_set1_epi32(static_cast<int>(set));
    return M{_mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_and_si256(all, each), each))};
}

QV_LANES D widen(F a) {
    return D{_mm256_cvtps_pd(_mm256_castps256_ps128(a.v)), _mm256_cvtps_pd(_mm256_extractf128_ps(a.v, 1))};
}
QV_LANES F narrow(D a) {
    return F{_mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(a.lo)), _mm256_cvtpd_ps(a.hi), 1)};
}
QV_LANES D splatD(double x) { return D{_mm256_set1_pd(x), _mm256_set1_pd(x)}; }
QV_LANES D addD(D a, D b) { return D{_mm256_add_pd(a.lo, b.lo), _mm256_add_pd(a.hi, b.hi)}; }
QV_LANES D subD(D a, D b) { return D{_mm256_sub_pd(a.lo, b.lo), _mm256_sub_pd(a.hi, b.hi)}; }
QV_LANES D mulD(D a, D b) { return D{_mm256_mul_pd(a.lo, b.lo), _mm256_mul_pd(a.hi, b.hi)}; }
QV_LANES D negD(D a) {
    const __m256d sign = _mm256_set1_pd(-0.0);
    return D{_mm256_xor_pd(a.lo, sign), _mm256_xor_pd(a.hi, sign)};
}
QV_LANES D absD(D a) {
    const __m256d sign = _mm256_set1_pd(-0.0);
    return D{_mm256_andnot_pd(sign, a.lo), _mm256_andnot_pd(sign, a.hi)};
}
QV_LANES MD leD(D a, D b) { return MD{_mm256_cmp_pd(a.lo, b.lo, _CMP_LE_OQ), _mm256_cmp_pd(a.hi, b.hi, _CMP_LE_OQ)}; }
QV_LANES D selectD(MD m, D a, D b) { return D{_mm256_blendv_pd(b.lo, a.lo, m.lo), _mm256_blendv_pd(b.hi, a.hi, m.hi)}; }
QV_LANES MD bitD(D a, unsigned bit) {
    const __m256i b = _mm256_set1_epi64x(bit);
    return MD{_mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(_mm256_castpd_si256(a.lo), b), b)),
              _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(_mm256_castpd_si256(a.hi), b), b))};
}
QV_LANES unsigned bitsD(MD m) {
    return static_cast<unsigned>(_mm256_movemask_pd(m.lo) | (_mm256_movemask_pd(m.hi) << 4));
}
// 2^k for doubles holding 1.5 * 2^52 + k: k + 1023 shifted into the exponent.
QV_LANES D pow2OfRounded(D shifted) {
    const __m256i bias = _mm256_set1_epi64x(1023);
    return D{_mm256_castsi256_pd(_mm256_slli_epi64(_mm256_add_epi64(_mm256_castpd_si256(shifted.lo), bias), 52)),
             _mm256_castsi256_pd(_mm256_slli_epi64(_mm256_add_epi64(_mm256_castpd_si256(shifted.hi), bias), 52))};
}

// The kernel in this order: its maths, the pitch stage, the lane stepping.
// clang-format off
#include "synth/voice_kernel_maths.h"
#include "synth/voice_kernel_pitch.h"
#include "synth/voice_kernel_body.h"
// clang-format on

__attribute__((target("avx2"))) void renderRunEntry(VoiceRun& run) { renderRun(run); }
__attribute__((target("avx2"))) void renderPlainRunsEntry(VoiceRun& run, RunChain& chain) {
    renderPlainRuns(run, [&chain](VoiceRun& next) { return chain.engine->nextPlainRun(chain, next); });
}
__attribute__((target("avx2"))) void sinesEntry(const float* x, std::int32_t count, float* result) {
    eachOf<Sine>(x, count, result);
}
__attribute__((target("avx2"))) void stepSinesEntry(float phase, float step, std::int32_t count, float* result) {
    sinesOfSteps(phase, step, count, result);
}
__attribute__((target("avx2"))) void powersEntry(const float* x, std::int32_t count, float* result) {
    eachOf<PowerOfTwo>(x, count, result);
}
}  // namespace

const VoiceKernel kernel_paths::avx2 = {renderRunEntry, renderPlainRunsEntry, sinesEntry, stepSinesEntry, powersEntry};

}  // namespace quorvel

#endif
