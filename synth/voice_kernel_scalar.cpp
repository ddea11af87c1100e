// The voice kernel in plain C++, for processors without the vector paths:
// each lane operation is a loop over the eight voices, with exactly the
// rounding of the vector instructions it stands for.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "synth/voice_allocation.h"
#include "synth/voice_kernel.h"

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
    float v[kNumVoices];
};
struct M {
    bool v[kNumVoices];
};
struct D {
    double v[kNumVoices];
};
struct MD {
    bool v[kNumVoices];
};

// Lane-wise application of an operation.
template <class R, class Op>
inline R each(Op op) {
    R r;
#if defined(__GNUC__)
#pragma GCC unroll 8
#endif
    for (int k = 0; k < kNumVoices; ++k) r.v[k] = op(k);
    return r;
}

inline F loadF(const float* p) {
    F r;
    std::memcpy(r.v, p, sizeof r.v);
    return r;
}
inline void storeF(float* p, F a) { std::memcpy(p, a.v, sizeof a.v); }
inline F splat(float x) {
    return each<F>([x](int) { return x; });
}
inline F add(F a, F b) {
    return each<F>([&](int k) { return a.v[k] + b.v[k]; });
}
inline F sub(F a, F b) {
    return each<F>([&](int k) { return a.v[k] - b.v[k]; });
}
inline F mul(F a, F b) {
    return each<F>([&](int k) { return a.v[k] * b.v[k]; });
}
inline F div(F a, F b) {
    return each<F>([&](int k) { return a.v[k] / b.v[k]; });
}
inline F neg(F a) {
    return each<F>([&](int k) { return -a.v[k]; });
}
inline F select(M m, F a, F b) {
    return each<F>([&](int k) { return m.v[k] ? a.v[k] : b.v[k]; });
}
inline F keep(M m, F a) {
    return each<F>([&](int k) { return m.v[k] ? a.v[k] : 0.0f; });
}

inline M le(F a, F b) {
    return each<M>([&](int k) { return a.v[k] <= b.v[k]; });
}
inline M gt(F a, F b) {
    return each<M>([&](int k) { return a.v[k] > b.v[k]; });
}
inline M ge(F a, F b) {
    return each<M>([&](int k) { return a.v[k] >= b.v[k]; });
}
inline M nlt(F a, F b) {
    return each<M>([&](int k) { return !(a.v[k] < b.v[k]); });
}
inline M eq(F a, F b) {
    return each<M>([&](int k) { return a.v[k] == b.v[k]; });
}
inline M mand(M a, M b) {
    return each<M>([&](int k) { return a.v[k] && b.v[k]; });
}
inline M mor(M a, M b) {
    return each<M>([&](int k) { return a.v[k] || b.v[k]; });
}
inline M mandnot(M a, M b) {
    return each<M>([&](int k) { return !a.v[k] && b.v[k]; });
}
inline unsigned bits(M m) {
    unsigned set = 0;
    for (int k = 0; k < kNumVoices; ++k) set |= static_cast<unsigned>(m.v[k]) << k;
    return set;
}
inline M lanes(unsigned set) {
    return each<M>([set](int k) { return (set >> k & 1u) != 0; });
}

inline D widen(F a) {
    return each<D>([&](int k) { return static_cast<double>(a.v[k]); });
}
inline F narrow(D a) {
    return each<F>([&](int k) { return static_cast<float>(a.v[k]); });
}
inline D splatD(double x) {
    return each<D>([x](int) { return x; });
}
inline D addD(D a, D b) {
    return each<D>([&](int k) { return a.v[k] + b.v[k]; });
}
inline D subD(D a, D b) {
    return each<D>([&](int k) { return a.v[k] - b.v[k]; });
}
inline D mulD(D a, D b) {
    return each<D>([&](int k) { return a.v[k] * b.v[k]; });
}
inline D negD(D a) {
    return each<D>([&](int k) { return -a.v[k]; });
}
inline D absD(D a) {
    return each<D>([&](int k) { return std::fabs(a.v[k]); });
}
inline MD leD(D a, D b) {
    return each<MD>([&](int k) { return a.v[k] <= b.v[k]; });
}
inline D selectD(MD m, D a, D b) {
    return each<D>([&](int k) { return m.v[k] ? a.v[k] : b.v[k]; });
}
inline MD bitD(D a, unsigned bit) {
    return each<MD>([&](int k) {
        std::uint64_t b;
        std::memcpy(&b, &a.v[k], sizeof b);
        return (b & bit) != 0;
    });
}
inline unsigned bitsD(MD m) {
    unsigned set = 0;
    for (int k = 0; k < kNumVoices; ++k) set |= static_cast<unsigned>(m.v[k]) << k;
    return set;
}
// 2^k for doubles holding 1.5 * 2^52 + k: k + 1023 shifted into the exponent.
inline D pow2OfRounded(D shifted) {
    return each<D>([&](int k) {
        std::uint64_t b;
        std::memcpy(&b, &shifted.v[k], sizeof b);
        b = (b + 1023u) << 52;
        double r;
        std::memcpy(&r, &b, sizeof r);
        return r;
    });
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

const VoiceKernel kernel_paths::scalar = {renderRunEntry, renderPlainRunsEntry, sinesEntry, stepSinesEntry,
                                          powersEntry};

}  // namespace quorvel
