#include "plugin/quorvel.h"

#include <cstring>
#include <new>

namespace quorvel {

Quorvel::Quorvel(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, kNumPrograms, kParamCount) {
    cEffect.flags |= effFlagsCanReplacing | effFlagsIsSynth;
    cEffect.numInputs = kNumInputs;
    cEffect.numOutputs = kNumOutputs;
    cEffect.uniqueID = kUniqueId;
}

Quorvel::~Quorvel() = default;

AEffect* createQuorvelEffect(audioMasterCallback audioMaster) {
    if (!audioMaster) return nullptr;  // no host to ask: nothing to create
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    Quorvel* effect = new (std::nothrow) Quorvel(audioMaster);
    return effect ? effect->getAeffect() : nullptr;
}

// Every block asks the host for its rate first, whether or not it has samples.
void Quorvel::processReplacing(float** /*inputs*/, float** outputs, std::int32_t sampleFrames) {
    const float rate = static_cast<float>(updateSampleRate());
    if (sampleFrames > 0)
        synth.render(rate, outputs[0], outputs[1], sampleFrames);
    else
        synth.render(rate, nullptr, nullptr, sampleFrames);
}

// MIDI events go to the engine with their frame offsets; other kinds of event
// and missing entries are passed over. The host's pointer array holds
// numEvents entries, usually more than the two the record declares, so they
// are reached through the list's own bytes.
std::int32_t Quorvel::processEvents(VstEvents* events) {
    if (!events) return 1;
    VstEvent* const* slots = eventSlots(static_cast<const VstEvents*>(events));
    synth.receiveMidiList(events->numEvents, [slots](std::int32_t i, std::int32_t& frame, unsigned char& status,
                                                     unsigned char& data1, unsigned char& data2) {
        const VstEvent* event = slots[i];
        if (!event || event->type != kVstMidiType) return false;
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
        frame = midi->deltaFrames;
        status = static_cast<unsigned char>(midi->midiData[0]);
        data1 = static_cast<unsigned char>(midi->midiData[1]);
        data2 = static_cast<unsigned char>(midi->midiData[2]);
        return true;
    });
    return 1;
}

void Quorvel::setParameter(std::int32_t index, float value) {
    if (!synth.setParameter(index, value)) return;
    if (index == kNoteCut) updateDisplay();  // the label follows the value
}

float Quorvel::getParameter(std::int32_t index) { return synth.parameter(index); }

// The text queries write into the host's buffer; a host that passes no buffer
// gets nothing written, and no capability.

void Quorvel::getParameterName(std::int32_t index, char* text) {
    if (text) std::strcpy(text, parameterName(index));
}

void Quorvel::getParameterLabel(std::int32_t index, char* label) {
    if (label) std::strcpy(label, parameterLabel(index, synth.parameter(index)));
}

void Quorvel::getParameterDisplay(std::int32_t index, char* text) {
    if (!text) return;
    const ParameterDisplay display = parameterDisplay(index, synth.parameter(index));
    switch (display.form) {
        case ParameterDisplay::Form::Text:
            std::strcpy(text, display.text);
            break;
        case ParameterDisplay::Form::Number:
            float2string(display.number, text, display.maxLength);
            break;
        case ParameterDisplay::Form::Decibels:
            dB2string(display.number, text, display.maxLength);
            break;
    }
}

void Quorvel::setProgramName(char* name) {
    if (name) programName.set(name);
}

void Quorvel::getProgramName(char* name) {
    if (name) std::memcpy(name, programName.text(), std::strlen(programName.text()) + 1);
}

bool Quorvel::getEffectName(char* name) {
    if (!name) return false;
    std::strcpy(name, kEffectName);
    return true;
}

bool Quorvel::getVendorString(char* text) {
    if (!text) return false;
    std::strcpy(text, kVendorString);
    return true;
}

bool Quorvel::getProductString(char* text) {
    if (!text) return false;
    std::strcpy(text, kProductString);
    return true;
}

std::int32_t Quorvel::getVendorVersion() { return kVendorVersion; }

std::int32_t Quorvel::canDo(char* text) { return capabilityAnswer(text); }

}  // namespace quorvel
