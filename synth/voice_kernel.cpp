// Which build of the voice kernel runs: the fastest the processor supports,
// unless QUORVEL_KERNEL names another available one.
#include "synth/voice_kernel.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace quorvel {

PitchCache::PitchCache() {
    for (int k = 0; k < kNumVoices; ++k) {
        exponent[k] = NAN;  // equal to no exponent
        increment[k] = 0.0f;
    }
}

KeyPowers::KeyPowers() {
    for (int key = 0; key < 128; ++key) of[key] = kernel_paths::powerOfTwo(static_cast<float>(key - 69) / 12.0f);
}

void KeyIncrements::update(const KeyPowers& powers, float sampleRate) {
    rate = sampleRate;
    for (int key = 0; key < 128; ++key) {
        float increment = powers.of[key] * 440.0f;
        increment = increment / sampleRate;
        of[key] = increment * 0.125f;
    }
}

float kernel_paths::sine(float x) { return static_cast<float>(std::sin(static_cast<double>(x))); }

float kernel_paths::powerOfTwo(float x) {
    // A power beyond the float range is infinite (the phase wrap copes);
    // converting such a double as it is would be undefined.
    const double power = std::pow(2.0, static_cast<double>(x));
    return power > FLT_MAX ? INFINITY : static_cast<float>(power);
}

bool kernelAvailable(KernelPath path) {
    switch (path) {
        case KernelPath::Scalar:
            return true;
        case KernelPath::Sse2:
#if defined(QUORVEL_KERNEL_SSE2)
            return true;
#else
            return false;
#endif
        case KernelPath::Avx2:
#if defined(QUORVEL_KERNEL_AVX2)
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2");
#else
            return false;
#endif
    }
    return false;
}

const char* kernelName(KernelPath path) {
    switch (path) {
        case KernelPath::Scalar:
            return "scalar";
        case KernelPath::Sse2:
            return "sse2";
        case KernelPath::Avx2:
            return "avx2";
    }
    return "";
}

KernelPath preferredKernel() {
    const KernelPath paths[] = {KernelPath::Avx2, KernelPath::Sse2, KernelPath::Scalar};
    if (const char* wanted = std::getenv("QUORVEL_KERNEL")) {
        for (KernelPath path : paths)
            if (std::strcmp(wanted, kernelName(path)) == 0 && kernelAvailable(path)) return path;
    }
    for (KernelPath path : paths)
        if (kernelAvailable(path)) return path;
    return KernelPath::Scalar;
}

const VoiceKernel& voiceKernel(KernelPath path) {
    switch (path) {
#if defined(QUORVEL_KERNEL_AVX2)
        case KernelPath::Avx2:
            return kernel_paths::avx2;
#endif
#if defined(QUORVEL_KERNEL_SSE2)
        case KernelPath::Sse2:
            return kernel_paths::sse2;
#endif
        default:
            return kernel_paths::scalar;
    }
}

}  // namespace quorvel
