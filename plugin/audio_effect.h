// AudioEffect: the basic plug-in layer. It owns the effect record handed to
// the host, the base state every plug-in keeps, the dispatcher for the basic
// requests (0 to 24) and the basic host services.
#pragma once

#include <cstdint>

#include "abi/aeffect.h"

namespace quorvel {

// An editor window a plug-in may attach; this instrument never attaches one,
// so the frame only needs to own and destroy it.
class EffectEditor {
public:
    virtual ~EffectEditor() = default;
};

class AudioEffect {
public:
    AudioEffect(audioMasterCallback audioMaster, std::int32_t numPrograms, std::int32_t numParams);
    virtual ~AudioEffect();

    virtual std::intptr_t dispatcher(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                                     float opt);

    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}

    virtual void setSampleRate(float newSampleRate) { sampleRate = newSampleRate; }
    virtual void setBlockSize(std::int32_t newBlockSize) { blockSize = newBlockSize; }

    virtual void processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) = 0;
    virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/, std::int32_t /*sampleFrames*/) {}

    virtual void setParameter(std::int32_t /*index*/, float /*value*/) {}
    virtual float getParameter(std::int32_t /*index*/) { return 0.0f; }
    virtual void setParameterAutomated(std::int32_t index, float value);

    virtual std::int32_t getProgram() { return curProgram; }
    virtual void setProgram(std::int32_t program) { curProgram = program; }
    virtual void setProgramName(char* /*name*/) {}
    virtual void getProgramName(char* name) { name[0] = 0; }

    virtual void getParameterLabel(std::int32_t /*index*/, char* label) { label[0] = 0; }
    virtual void getParameterDisplay(std::int32_t /*index*/, char* text) { text[0] = 0; }
    virtual void getParameterName(std::int32_t /*index*/, char* text) { text[0] = 0; }

    virtual std::int32_t getChunk(void** /*data*/, bool /*isPreset*/) { return 0; }
    virtual std::int32_t setChunk(void* /*data*/, std::int32_t /*byteSize*/, bool /*isPreset*/) { return 0; }

    virtual void setUniqueID(std::int32_t iD) { cEffect.uniqueID = iD; }
    virtual void setNumInputs(std::int32_t inputs) { cEffect.numInputs = inputs; }
    virtual void setNumOutputs(std::int32_t outputs) { cEffect.numOutputs = outputs; }

    virtual void canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
    virtual void canDoubleReplacing(bool state) { setFlag(effFlagsCanDoubleReplacing, state); }
    virtual void programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
    virtual void setInitialDelay(std::int32_t delay) { cEffect.initialDelay = delay; }

    virtual EffectEditor* getEditor() { return editor; }
    virtual AEffect* getAeffect() { return &cEffect; }
    virtual float getSampleRate() { return sampleRate; }
    virtual std::int32_t getBlockSize() { return blockSize; }

    virtual std::int32_t getMasterVersion();
    virtual std::int32_t getCurrentUniqueId();
    virtual void masterIdle();

    virtual void dB2string(float value, char* text, std::int32_t maxLen);
    virtual void Hz2string(float samples, char* text, std::int32_t maxLen);
    virtual void ms2string(float samples, char* text, std::int32_t maxLen);
    virtual void float2string(float value, char* text, std::int32_t maxLen);
    virtual void int2string(std::int32_t value, char* text, std::int32_t maxLen);

    // Deprecated operations, kept for their slots.
    virtual void process(float** /*inputs*/, float** /*outputs*/, std::int32_t /*sampleFrames*/) {}
    virtual float getVu() { return 0.0f; }
    virtual void hasVu(bool state) { setFlag(effFlagsHasVu, state); }
    virtual void hasClip(bool state) { setFlag(effFlagsHasClip, state); }
    virtual void canMono(bool state) { setFlag(effFlagsCanMono, state); }
    virtual void setRealtimeQualities(std::int32_t qualities) { cEffect.realQualities = qualities; }
    virtual void setOfflineQualities(std::int32_t qualities) { cEffect.offQualities = qualities; }
    virtual bool isInputConnected(std::int32_t input);
    virtual bool isOutputConnected(std::int32_t output);

protected:
    // Sets or clears one bit of the record's flags.
    void setFlag(std::int32_t bit, bool state) {
        if (state)
            cEffect.flags |= bit;
        else
            cEffect.flags &= ~bit;
    }

    // Calls the host with the record's address; the caller checks audioMaster first.
    std::intptr_t callHost(std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0, void* ptr = nullptr,
                           float opt = 0.0f) {
        return audioMaster(&cEffect, opcode, index, value, ptr, opt);
    }

    audioMasterCallback audioMaster;
    EffectEditor* editor;
    float sampleRate;
    std::int32_t blockSize;
    std::int32_t numPrograms;
    std::int32_t numParams;
    std::int32_t curProgram;
    AEffect cEffect;
};

// The object behind a record, through the record's object field.
inline AudioEffect* effectOf(AEffect* e) { return static_cast<AudioEffect*>(e->object); }

}  // namespace quorvel
