// Setting, getting, naming and displaying the eight parameters.
#include <cstring>

#include "synth/quorvel.h"

const char* const kParamNames[kParamCount] = {
    "Pulse width", "Phase reset", "Detune", "Note cut", "Velocity target",
    "Modulation speed", "Modulation depth", "Output gain",
};

const char* const velocityTargetNames[4] = {"Volume", kParamNames[kPulseWidth], kParamNames[kPhaseReset],
                                            kParamNames[kNoteCut]};

RelaxedFloat* Quorvel::paramByIndex(std::int32_t index) {
    switch (index) {
        case kPulseWidth: return &paramPulseWidth;
        case kPhaseReset: return &paramPhaseReset;
        case kDetune: return &paramDetune;
        case kNoteCut: return &paramNoteCut;
        case kVelocityTarget: return &paramVelocityTarget;
        case kModSpeed: return &paramModSpeed;
        case kModDepth: return &paramModDepth;
        case kOutputGain: return &paramOutputGain;
        default: return nullptr;  // negative indexes land here too
    }
}

void Quorvel::setParameter(std::int32_t index, float value) {
    RelaxedFloat* param = paramByIndex(index);
    if (!param) return;
    param->store(value);
    if (index == kNoteCut) updateDisplay();  // the label follows the value
}

float Quorvel::getParameter(std::int32_t index) {
    const RelaxedFloat* param = paramByIndex(index);
    return param ? param->load() : 0.0f;
}

// The three text queries write into the host's buffer; a host that passes no
// buffer gets nothing written.

void Quorvel::getParameterName(std::int32_t index, char* text) {
    if (!text) return;
    std::strcpy(text, static_cast<std::uint32_t>(index) < kParamCount ? kParamNames[index] : "");
}

void Quorvel::getParameterLabel(std::int32_t index, char* label) {
    if (!label) return;
    const char* unit = "";
    switch (index) {
        case kPulseWidth: unit = "us"; break;
        case kNoteCut: unit = paramNoteCut.load() > 0.0f ? "ms" : ""; break;
        case kOutputGain: unit = "dB"; break;
        default: break;
    }
    std::strcpy(label, unit);
}

void Quorvel::getParameterDisplay(std::int32_t index, char* text) {
    if (!text) return;
    const RelaxedFloat* param = paramByIndex(index);
    if (!param) {
        text[0] = 0;
        return;
    }
    const float value = param->load();
    switch (index) {
        case kPulseWidth:
            float2string(value * 2000.0f, text, 5);
            break;
        case kPhaseReset:
            if (value == 0.0f)
                std::strcpy(text, "Disabled");
            else
                float2string(value, text, 5);
            break;
        case kDetune:
            float2string((value + value) - 1.0f, text, 5);
            break;
        case kNoteCut:
            if (value == 0.0f)
                std::strcpy(text, "Infinite");
            else
                float2string(value * 1000.0f, text, 5);
            break;
        case kVelocityTarget: {
            const std::int32_t target = velocityTargetIndex(value);
            // Values outside the host's 0..1 that select no target show as empty.
            std::strcpy(text, static_cast<std::uint32_t>(target) < 4 ? velocityTargetNames[target] : "");
            break;
        }
        case kOutputGain:
            dB2string(value, text, 3);
            break;
        default:  // modulation speed and depth
            float2string(value, text, 5);
            break;
    }
}
