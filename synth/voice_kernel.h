// The pitch, sub-step and output stages of the render loop for a run of
// samples in which no event falls due: the eight voices are stepped side by
// side, one vector lane per voice.
//
// Three builds of the same kernel (voice_kernel_body.h) exist: plain C++ that
// any compiler runs, SSE2 (every x86-64 processor, 32-bit x86 built with
// -msse2) and AVX2 (chosen at run time where the processor has it). All three
// give the same bits; a path can be forced for testing.
#pragma once

#include <cstdint>

#include "synth/relaxed_float.h"
#include "synth/repeated_sums.h"
#include "synth/voice.h"

namespace quorvel {

// The last pitch computed for each lane, and the increment it gave: a voice
// whose exponent and block rate are unchanged gets the same increment
// without evaluating the power again. Equality of the exponent and the rate
// is all that matters, since the increment is a function of the two alone.
struct PitchCache {
    float exponent[kNumVoices];   // x = (pitch + vibrato + bend [+ detune]) / 12; NaN: nothing cached
    float increment[kNumVoices];  // 2^x * 440 / rate * 0.125
    float rate = 0.0f;
    PitchCache();
};

// For each key, (float)pow(2.0, x) for x = (key - 69) / 12 rounded to single
// precision: the pitch stage's power of two for a voice whose pitch nothing
// moves (no vibrato, bend or detune), worked out once per engine.
struct KeyPowers {
    float of[128];
    KeyPowers();
};

// For each key, the increment the pitch stage gives that power at one rate
// (p * 440 / rate * 0.125, in this order): what a voice whose pitch nothing
// moves needs, worked out again when the rate changes.
struct KeyIncrements {
    float rate = 0.0f;  // the rate `of` holds the increments for; 0: none yet
    float of[128] = {};
    void update(const KeyPowers& powers, float sampleRate);
};

// The most samples one run takes.
constexpr std::int32_t kRunLength = 128;

// One run: the engine state the kernel reads and updates, and the run's
// inputs and outputs.
struct VoiceRun {
    VoiceBank* voices;        // the eight voices, updated in place
    std::int32_t* outputBit;  // the shared output bit, updated in place
    PitchCache* pitchCache;
    const float* vibrato;        // the vibrato offset of every sample of the run
    bool vibratoFlat;            // every one of them 0
    std::int32_t frames;         // samples in the run, 1 to kRunLength
    float bend;                  // bendSemitones, fixed for the run
    float sampleRate;            // the block's rate
    float noteVolume;            // fixed for the run
    const RelaxedFloat* detune;  // parameters read sample by sample
    const RelaxedFloat* noteCut;
    const RelaxedFloat* outputGain;
    float* out0;  // the run's first sample in each output channel
    float* out1;
    unsigned active;   // the voices playing at the run's start (bit k: voice k)
    unsigned playing;  // out: the voices still playing after the run
};

class Engine;

// Runs without vibrato rendered one after another in one call: between two,
// the kernel has the engine apply the next run's events
// (Engine::nextPlainRun). Where a run needs vibrato, or the stretch ends,
// the call returns and the render loop goes on from `start`.
struct RunChain {
    Engine* engine;
    const BlockSettings* settings;
    float* left;  // the block's output buffers
    float* right;
    std::int32_t to;     // the stretch's end
    std::int32_t start;  // the run to render next: its first sample, events applied
    std::int32_t end;    // the sample after it
    float wheelAtStart;  // the wheel before the start's events
};

enum class KernelPath : std::int32_t { Scalar = 0, Sse2 = 1, Avx2 = 2 };

// What one build of the kernel provides.
struct VoiceKernel {
    // Pitch, sub-steps and output for a run.
    void (*renderRun)(VoiceRun& run);
    // The same for a run without vibrato and those after it, as long as
    // they need none either (see RunChain).
    void (*renderPlainRuns)(VoiceRun& run, RunChain& chain);
    // (float)sin((double)x[i]) for count values, bit for bit; the vibrato's
    // sine of its phase.
    void (*sines)(const float* x, std::int32_t count, float* result);
    // The same for x = phase + j * step, j = 0 to count - 1, where each of
    // these sums is exact in single precision.
    void (*sinesOfSteps)(float phase, float step, std::int32_t count, float* result);
    // (float)pow(2.0, x[i]) for count values, bit for bit (infinity where the
    // power exceeds the float range); the pitch stage's power of two.
    void (*powersOfTwo)(const float* x, std::int32_t count, float* result);
};

// Whether this build and this processor can run the path.
bool kernelAvailable(KernelPath path);
// The fastest available path, or the one the environment variable
// QUORVEL_KERNEL names ("scalar", "sse2", "avx2") when that one is available.
KernelPath preferredKernel();
const char* kernelName(KernelPath path);
// The path's functions; only for an available path.
const VoiceKernel& voiceKernel(KernelPath path);

namespace kernel_paths {
// What every path falls back to for the lanes its polynomials do not settle.
float sine(float x);
float powerOfTwo(float x);  // infinity beyond the float range

extern const VoiceKernel scalar;
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define QUORVEL_KERNEL_SSE2 1
extern const VoiceKernel sse2;
#endif
// AVX2 is left out on Windows, where the compilers used do not align the
// stack for 32-byte vectors.
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__)) && !defined(_WIN32)
#define QUORVEL_KERNEL_AVX2 1
extern const VoiceKernel avx2;
#endif
}  // namespace kernel_paths

}  // namespace quorvel
