// The eight parameters: indexes, names, defaults, and the velocity-target rule
// shared by the engine and the display.
#pragma once

#include <cstdint>

enum ParamIndex : std::int32_t {
    kPulseWidth = 0,
    kPhaseReset = 1,
    kDetune = 2,
    kNoteCut = 3,
    kVelocityTarget = 4,
    kModSpeed = 5,
    kModDepth = 6,
    kOutputGain = 7,
};

constexpr std::int32_t kParamCount = 8;

extern const char* const kParamNames[kParamCount];

constexpr float kDefaultPulseWidth = 0.05f;
constexpr float kDefaultPhaseReset = 1.0f;
constexpr float kDefaultDetune = 0.5f;
constexpr float kDefaultNoteCut = 0.0f;
constexpr float kDefaultVelocityTarget = 0.0f;
constexpr float kDefaultModSpeed = 0.5f;
constexpr float kDefaultModDepth = 0.25f;
constexpr float kDefaultOutputGain = 0.5f;

// Display names of the velocity targets, indexed by VelocityTarget.
extern const char* const velocityTargetNames[4];

// t * 4 - 0.01 in single precision, truncated toward zero: 0..3 for t in
// (-0.2475, 1.0025), a value outside 0..3 (no target) otherwise. Values whose
// truncation would not fit an integer (NaN, infinities, huge) give -1, which
// is outside the table like every other out-of-range index.
inline std::int32_t velocityTargetIndex(float t) {
    float x = t * 4.0f;
    x = x + -0.01f;
    if (!(x > -2.0f && x < 5.0f)) return -1;
    return static_cast<std::int32_t>(x);
}
