// The eight parameters: indexes, names, defaults, units and value texts, and
// the velocity-target rule shared by the engine and the display. Facts only:
// the engine stores the values, the plug-in glue writes the texts.
#pragma once

#include <cstdint>

namespace quorvel {

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

constexpr float kDefaultPulseWidth = 0.05f;
constexpr float kDefaultPhaseReset = 1.0f;
constexpr float kDefaultDetune = 0.5f;
constexpr float kDefaultNoteCut = 0.0f;
constexpr float kDefaultVelocityTarget = 0.0f;
constexpr float kDefaultModSpeed = 0.5f;
constexpr float kDefaultModDepth = 0.25f;
constexpr float kDefaultOutputGain = 0.5f;

// The defaults by index.
constexpr float kParamDefaults[kParamCount] = {
    kDefaultPulseWidth,     kDefaultPhaseReset, kDefaultDetune,   kDefaultNoteCut,
    kDefaultVelocityTarget, kDefaultModSpeed,   kDefaultModDepth, kDefaultOutputGain,
};

extern const char* const kParamNames[kParamCount];

// Whether an index names a parameter; negative indexes fall outside.
constexpr bool isParamIndex(std::int32_t index) { return static_cast<std::uint32_t>(index) < kParamCount; }

// What a note-on's velocity controls.
enum class VelocityTarget : std::int32_t {
    Volume = 0,
    PulseWidth = 1,
    PhaseReset = 2,
    NoteCut = 3,
};

constexpr std::int32_t kVelocityTargetCount = 4;

// Display names of the velocity targets, indexed by VelocityTarget.
extern const char* const kVelocityTargetNames[kVelocityTargetCount];

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

// Whether the index from velocityTargetIndex selects this target.
constexpr bool selects(std::int32_t targetIndex, VelocityTarget target) {
    return targetIndex == static_cast<std::int32_t>(target);
}

// A parameter's name, "" for an index outside 0..7.
const char* parameterName(std::int32_t index);

// A parameter's unit at its value ("ms" for a note cut only while one is set),
// "" for an index outside 0..7.
const char* parameterLabel(std::int32_t index, float value);

// How a parameter's value is shown: a fixed text, or a number the host's
// number-to-text helpers write with at most `maxLength` characters, either as
// it is or in decibels.
struct ParameterDisplay {
    enum class Form { Text, Number, Decibels };
    Form form;
    const char* text;  // Form::Text
    float number;      // Form::Number and Form::Decibels
    std::int32_t maxLength;
};

// The display of `value` for the parameter at `index`; an empty text for an
// index outside 0..7.
ParameterDisplay parameterDisplay(std::int32_t index, float value);

}  // namespace quorvel
