// Quorvel: eight one-bit pulse voices sharing one output bit.
//
// The class is split by subsystem: the engine (event queue, voices, tone
// generation, MIDI intake) lives in synth/, the parameters, program name and
// identity in params/.
#pragma once

#include <cstdint>
#include <vector>

#include "params/identity.h"
#include "params/parameters.h"
#include "params/relaxed_float.h"
#include "plugin/audio_effect_x.h"
#include "synth/synth_event.h"
#include "synth/voice.h"
#include "synth/voice_kernel.h"

class Quorvel : public AudioEffectX {
public:
    explicit Quorvel(audioMasterCallback audioMaster);
    ~Quorvel() override;

    // Tone generation.
    void processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) override;

    // MIDI intake.
    std::int32_t processEvents(VstEvents* events) override;

    // Parameters.
    void setParameter(std::int32_t index, float value) override;
    float getParameter(std::int32_t index) override;
    void getParameterLabel(std::int32_t index, char* label) override;
    void getParameterDisplay(std::int32_t index, char* text) override;
    void getParameterName(std::int32_t index, char* text) override;

    // Program and identity.
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

    bool anyKeyHeld() const;

    // The build of the voice kernel this instance runs (the fastest available
    // one unless QUORVEL_KERNEL names another). Tests switch between them;
    // false, and no change, for a path this build or processor cannot run.
    bool useKernel(KernelPath path);
    KernelPath kernelInUse() const { return kernelPath; }

    // Read-only views for tests and tools built against the engine.
    Voice voice(int i) const { return voices.voice(i); }
    const EventQueue& queue() const { return eventQueue; }
    std::int32_t currentOutputBit() const { return outputBit; }
    float currentNoteVolume() const { return noteVolume; }
    float currentBendRange() const { return bendRange; }
    float currentBendSemitones() const { return bendSemitones; }
    float currentWheelDepth() const { return wheelDepth; }
    float currentLfoPhase() const { return lfoPhase; }
    bool keyHeld(int key) const { return heldKeys[key] != 0; }

    // Places an event in the queue as MIDI intake would.
    void queueEvent(const SynthEvent& e) {
        eventQueue.push_back(e);
        reserveEventOrder();
    }

private:
    BlockSettings computeBlockSettings();
    void renderStretch(const BlockSettings& settings, std::int32_t from, std::int32_t to, float** outputs);
    bool anyVoicePlaying() const;
    // The queued events that fall due in the block, put in firing order
    // once per block; advanceEvents then applies those due at one sample.
    void scheduleEvents(std::int32_t sampleFrames);
    void advanceEvents(std::int32_t sample, const BlockSettings& settings);
    std::int32_t nextEventSample() const;
    void reserveEventOrder();
    void applyEvent(const SynthEvent& e, const BlockSettings& settings);
    void noteOn(std::int32_t key, std::int32_t velocity, const BlockSettings& settings);
    void noteOff(std::int32_t key);
    void allNotesOff();

    // Parameter values, stored exactly as the host sets them.
    RelaxedFloat paramPulseWidth{kDefaultPulseWidth};
    RelaxedFloat paramDetune{kDefaultDetune};
    RelaxedFloat paramNoteCut{kDefaultNoteCut};
    RelaxedFloat paramVelocityTarget{kDefaultVelocityTarget};
    RelaxedFloat paramPhaseReset{kDefaultPhaseReset};
    RelaxedFloat paramModSpeed{kDefaultModSpeed};
    RelaxedFloat paramModDepth{kDefaultModDepth};
    RelaxedFloat paramOutputGain{kDefaultOutputGain};
    RelaxedFloat* paramByIndex(std::int32_t index);

    char programName[kProgramNameSize];

    // Engine state.
    EventQueue eventQueue;
    unsigned char heldKeys[128] = {};
    float bendSemitones = 0.0f;
    float bendRange = 2.0f;
    float wheelDepth = 0.0f;
    float lfoPhase = 0.0f;
    std::int32_t rpnLsb = 0;
    std::int32_t rpnMsb = 0;
    VoiceBank voices;
    std::int32_t outputBit = 0;
    float noteVolume = 1.0f;

    // The block's due events in the order they fire (indexes into the queue,
    // sorted by sample, arrival order kept), and room to sort them: twice the
    // queue's capacity, grown where the queue grows, never while rendering.
    std::vector<std::uint32_t> eventOrder;
    std::uint32_t dueEvents = 0;
    std::uint32_t nextDue = 0;

    // The render loop works in stretches of up to kRunLength samples: the
    // sine of each sample's vibrato phase, and the vibrato offset.
    float stretchSines[kRunLength] = {};
    float stretchVibrato[kRunLength] = {};
    KernelPath kernelPath;
    const VoiceKernel* kernel;
    PitchCache pitchCache;
};

// The entry point's work: asks the host's version, creates one instrument and
// returns its record, or null.
AEffect* createQuorvelEffect(audioMasterCallback audioMaster);
