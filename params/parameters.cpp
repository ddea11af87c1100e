// Names, units and value texts of the eight parameters.
#include "params/parameters.h"

namespace quorvel {

const char* const kParamNames[kParamCount] = {
    "Pulse width",     "Phase reset",      "Detune",           "Note cut",
    "Velocity target", "Modulation speed", "Modulation depth", "Output gain",
};

const char* const kVelocityTargetNames[kVelocityTargetCount] = {"Volume", kParamNames[kPulseWidth],
                                                                kParamNames[kPhaseReset], kParamNames[kNoteCut]};

const char* parameterName(std::int32_t index) { return isParamIndex(index) ? kParamNames[index] : ""; }

const char* parameterLabel(std::int32_t index, float value) {
    switch (index) {
        case kPulseWidth:
            return "us";
        case kNoteCut:
            return value > 0.0f ? "ms" : "";
        case kOutputGain:
            return "dB";
        default:
            return "";
    }
}

namespace {
ParameterDisplay shownAs(const char* text) { return {ParameterDisplay::Form::Text, text, 0.0f, 0}; }
ParameterDisplay number(float value, std::int32_t maxLength) {
    return {ParameterDisplay::Form::Number, "", value, maxLength};
}
}  // namespace

ParameterDisplay parameterDisplay(std::int32_t index, float value) {
    switch (index) {
        case kPulseWidth:
            return number(value * 2000.0f, 5);
        case kPhaseReset:
            return value == 0.0f ? shownAs("Disabled") : number(value, 5);
        case kDetune:
            return number((value + value) - 1.0f, 5);
        case kNoteCut:
            return value == 0.0f ? shownAs("Infinite") : number(value * 1000.0f, 5);
        case kVelocityTarget: {
            const std::int32_t target = velocityTargetIndex(value);
            // Values outside the host's 0..1 that select no target show as empty.
            return shownAs(static_cast<std::uint32_t>(target) < kVelocityTargetCount ? kVelocityTargetNames[target]
                                                                                     : "");
        }
        case kOutputGain:
            return {ParameterDisplay::Form::Decibels, "", value, 3};
        case kModSpeed:
        case kModDepth:
            return number(value, 5);
        default:
            return shownAs("");
    }
}

}  // namespace quorvel
