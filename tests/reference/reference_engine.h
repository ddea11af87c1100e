// A second, deliberately plain implementation of the instrument's sound
// engine: MIDI intake, the event queue with voice allocation, and the
// one-bit tone generator. It is written for reading, not for speed: every
// step is done where and how the engine's rules say, in single precision,
// with the sine and the power of two in double precision.
//
// The differential tests drive it side by side with the plug-in and expect
// the same output bit for bit; the benchmarks use it as the baseline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvel {

struct VstEvents;

namespace reference {

// One raw MIDI message as a host would stamp it for the coming block.
struct MidiMessage {
    std::int32_t deltaFrames;
    std::uint8_t status;
    std::uint8_t data1;
    std::uint8_t data2;
};

class Engine {
public:
    static constexpr int kParamCount = 8;
    static constexpr int kVoiceCount = 8;

    // One pulse oscillator; a negative note marks it free.
    struct VoiceState {
        std::int32_t note = -1;
        float pitch = 0.0f;
        float phase = 0.0f;
        float phaseIncrement = 0.0f;
        float pulseCounter = 0.0f;
        float pulseLength = 0.0f;
        float cutCounter = 0.0f;
    };

    Engine();

    // Parameter values by host index (0 "Pulse width" ... 7 "Output gain"),
    // stored exactly as given; other indexes are ignored / read as 0.
    void setParameter(std::int32_t index, float value);
    float parameter(std::int32_t index) const;

    // The sample rate the host set directly (what effSetSampleRate stores).
    // The rate used by a block is this value unless that block's host answer
    // is positive, which then replaces it.
    void setStoredSampleRate(float rate) { storedSampleRate = rate; }
    float currentSampleRate() const { return storedSampleRate; }

    // MIDI intake: the host's event list, or raw messages in list order.
    void takeEvents(const VstEvents* list);
    void takeMessages(const MidiMessage* messages, std::size_t count);
    void takeMessage(const MidiMessage& message);

    // Renders one block into both channels. sampleRateAnswer is what the host
    // answers to the sample-rate request at the start of the block.
    void render(std::intptr_t sampleRateAnswer, float* left, float* right, std::int32_t frames);

    // How often the rarer paths were taken since construction, so that tests
    // can tell whether their inputs reach them.
    struct Counts {
        std::uint64_t notesDropped = 0;    // note-on with all eight voices busy
        std::uint64_t notesCut = 0;        // voices freed by the cut timer
        std::uint64_t allNotesOff = 0;     // all-notes-off events applied
        std::uint64_t bendRangeSet = 0;    // data entry taken as a new bend range
        std::uint64_t periodsDoubled = 0;  // sub-steps in which a voice started two periods or more
        std::uint64_t periodsFar = 0;      // ... sixteen or more (a low rate, a high pitch)
        std::uint64_t eventsUnfired = 0;   // events discarded at block end without effect
        std::uint64_t detunedVoices = 0;   // pitch updates that carried the detune
        std::uint64_t vibratoWraps = 0;    // vibrato phase wrapped while the wheel was in use
    };
    const Counts& counts() const { return counted; }
    int activeVoices() const;

    // Engine state between blocks, for comparison with the plug-in's.
    const VoiceState& voice(int i) const { return voices[i]; }
    std::int32_t currentOutputBit() const { return outputBit; }
    float currentNoteVolume() const { return noteVolume; }
    float currentBendRange() const { return bendRange; }
    float currentBendSemitones() const { return bendSemitones; }
    float currentWheelDepth() const { return wheelDepth; }
    float currentLfoPhase() const { return lfoPhase; }
    bool keyHeld(int key) const { return heldKeys[key] != 0; }

private:
    enum Kind : std::int32_t { kNote = 0, kPitchBend = 1, kModWheel = 2 };
    enum Target : std::int32_t {
        kTargetVolume = 0,
        kTargetPulseWidth = 1,
        kTargetPhaseReset = 2,
        kTargetNoteCut = 3,
        kNoTarget = -1,
    };

    struct Event {
        std::int32_t kind;
        std::int32_t delta;
        std::int32_t note;
        std::int32_t velocity;
        float value;
    };

    struct Block {
        float sampleRate;
        float lfoIncrement;
        float vibratoScale;
        float basePulseLength;
        std::int32_t velocityTarget;
    };

    static std::int32_t velocityTargetIndex(float t);
    void takeMidi(std::int32_t deltaFrames, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    void applyDueEvents(const Block& block);
    void apply(const Event& e, const Block& block);
    void noteOn(std::int32_t key, std::int32_t velocity, const Block& block);
    void noteOff(std::int32_t key);
    void allNotesOff();
    bool anyKeyHeld() const;

    float params[kParamCount];
    float storedSampleRate = 44100.0f;

    std::vector<Event> queue;
    unsigned char heldKeys[128] = {};
    float bendSemitones = 0.0f;
    float bendRange = 2.0f;
    float wheelDepth = 0.0f;
    float lfoPhase = 0.0f;
    std::int32_t rpnLsb = 0;
    std::int32_t rpnMsb = 0;
    VoiceState voices[kVoiceCount];
    std::int32_t outputBit = 0;
    float noteVolume = 1.0f;

    Counts counted;
};

}  // namespace reference

}  // namespace quorvel
