// Quorvel: the instrument as a VST 2.4 plug-in. Glue only: it owns one engine
// (synth/engine.h) and forwards to it, and keeps the host-facing rules here:
// the sample-rate question at the start of every processed block, the display
// refresh after "Note cut" is set, the reading of the host's event lists, and
// the texts written into the host's buffers.
#pragma once

#include <cstdint>

#include "params/identity.h"
#include "plugin/audio_effect_x.h"
#include "synth/engine.h"

namespace quorvel {

class Quorvel : public AudioEffectX {
public:
    explicit Quorvel(audioMasterCallback audioMaster);
    ~Quorvel() override;

    void processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) override;
    std::int32_t processEvents(VstEvents* events) override;

    void setParameter(std::int32_t index, float value) override;
    float getParameter(std::int32_t index) override;
    void getParameterLabel(std::int32_t index, char* label) override;
    void getParameterDisplay(std::int32_t index, char* text) override;
    void getParameterName(std::int32_t index, char* text) override;

    std::int32_t getProgram() override { return 0; }
    void setProgram(std::int32_t /*program*/) override {}
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    std::int32_t getVendorVersion() override;
    std::int32_t canDo(char* text) override;
    std::int32_t getNumMidiInputChannels() override { return 1; }

    // The engine this instance forwards to.
    Engine& engine() { return synth; }
    const Engine& engine() const { return synth; }

private:
    Engine synth;
    ProgramName programName;
};

// The entry point's work: asks the host's version, creates one instrument and
// returns its record, or null.
AEffect* createQuorvelEffect(audioMasterCallback audioMaster);

}  // namespace quorvel
