#include "plugin/audio_effect.h"

#include <cstring>

#include "synth/float_environment.h"

namespace quorvel {

namespace {

// The six functions stored in the record: each finds the object through the
// record and calls one virtual operation, under the floating-point settings
// the instrument computes with (the host gets its own back on return).

std::intptr_t QV_CALL dispatchEntry(AEffect* e, std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                                    float opt) {
    const FloatEnvironment environment;
    AudioEffect* effect = effectOf(e);
    if (opcode != effClose) return effect->dispatcher(opcode, index, value, ptr, opt);
    effect->dispatcher(opcode, index, value, ptr, opt);
    delete effect;
    return 1;
}

void QV_CALL processEntry(AEffect* e, float** inputs, float** outputs, std::int32_t sampleFrames) {
    const FloatEnvironment environment;
    effectOf(e)->process(inputs, outputs, sampleFrames);
}

void QV_CALL processReplacingEntry(AEffect* e, float** inputs, float** outputs, std::int32_t sampleFrames) {
    const FloatEnvironment environment;
    effectOf(e)->processReplacing(inputs, outputs, sampleFrames);
}

void QV_CALL processDoubleReplacingEntry(AEffect* e, double** inputs, double** outputs, std::int32_t sampleFrames) {
    const FloatEnvironment environment;
    effectOf(e)->processDoubleReplacing(inputs, outputs, sampleFrames);
}

void QV_CALL setParameterEntry(AEffect* e, std::int32_t index, float value) {
    const FloatEnvironment environment;
    effectOf(e)->setParameter(index, value);
}

float QV_CALL getParameterEntry(AEffect* e, std::int32_t index) {
    const FloatEnvironment environment;
    return effectOf(e)->getParameter(index);
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback callback, std::int32_t programs, std::int32_t params)
    : audioMaster(callback),
      editor(nullptr),
      sampleRate(44100.0f),
      blockSize(1024),
      numPrograms(programs),
      numParams(params),
      curProgram(0) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.flags = effFlagsCanReplacing;
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEntry;
    cEffect.process = processEntry;
    cEffect.setParameter = setParameterEntry;
    cEffect.getParameter = getParameterEntry;
    cEffect.processReplacing = processReplacingEntry;
    cEffect.processDoubleReplacing = processDoubleReplacingEntry;
    cEffect.numPrograms = programs;
    cEffect.numParams = params;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.version = 1;
}

AudioEffect::~AudioEffect() { delete editor; }

std::intptr_t AudioEffect::dispatcher(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                                      float opt) {
    switch (static_cast<std::uint32_t>(opcode)) {
        case effOpen:
            open();
            return 0;
        case effClose:
            close();
            return 0;
        case effSetProgram:
            if (value < numPrograms) setProgram(static_cast<std::int32_t>(value));
            return 0;
        case effGetProgram:
            return getProgram();
        case effSetProgramName:
            setProgramName(static_cast<char*>(ptr));
            return 0;
        case effGetProgramName:
            getProgramName(static_cast<char*>(ptr));
            return 0;
        case effGetParamLabel:
            getParameterLabel(index, static_cast<char*>(ptr));
            return 0;
        case effGetParamDisplay:
            getParameterDisplay(index, static_cast<char*>(ptr));
            return 0;
        case effGetParamName:
            getParameterName(index, static_cast<char*>(ptr));
            return 0;
        case effSetSampleRate:
            setSampleRate(opt);
            return 0;
        case effSetBlockSize:
            setBlockSize(static_cast<std::int32_t>(value));
            return 0;
        case effMainsChanged:
            if (value == 0)
                suspend();
            else
                resume();
            return 0;
        case effEditGetRect:
        case effEditOpen:
        case effEditClose:
        case effEditIdle:
            // Editor requests go to an attached editor; there never is one.
            return 0;
        case effIdentify:
            return 0x4E764566;  // 'N','v','E','f'
        case effGetChunk:
            return getChunk(static_cast<void**>(ptr), index != 0);
        case effSetChunk:
            return setChunk(ptr, static_cast<std::int32_t>(value), index != 0);
        default:
            return 0;
    }
}

void AudioEffect::setParameterAutomated(std::int32_t index, float value) {
    setParameter(index, value);
    if (audioMaster) callHost(audioMasterAutomate, index, 0, nullptr, value);
}

std::int32_t AudioEffect::getMasterVersion() {
    if (!audioMaster) return 1;
    auto version = static_cast<std::int32_t>(callHost(audioMasterVersion));
    return version == 0 ? 1 : version;
}

std::int32_t AudioEffect::getCurrentUniqueId() {
    if (!audioMaster) return 0;
    return static_cast<std::int32_t>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle() {
    if (audioMaster) callHost(audioMasterIdle);
}

bool AudioEffect::isInputConnected(std::int32_t input) {
    if (!audioMaster) return true;
    return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(std::int32_t output) {
    if (!audioMaster) return true;
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

}  // namespace quorvel
