// The instrument's engine: eight one-bit pulse voices sharing one output bit.
//
// A plain type that knows no plug-in format: parameter values go in and out by
// index, MIDI messages arrive with their frame offsets, and a block is rendered
// at a sample rate handed in as a value into two output buffers. A plug-in
// format's glue owns one and forwards the host's requests to it.
//
// Where things are: MIDI intake in midi_intake.h (inline) and .cpp, the
// event queue's firing order in event_schedule.cpp, the due events applied
// (note on with voice allocation, note off, bend, wheel) in
// voice_allocation.cpp, the block settings and the render loop in
// tone_generation.cpp, the vibrato phase in vibrato_phase.h, and the voice
// kernel: the pitch in voice_kernel_pitch.h, the sub-steps and output sample
// in voice_kernel_body.h, the power of two and sine in voice_kernel_maths.h.
#pragma once

#include <cstdint>
#include <vector>

#include "params/parameters.h"
#include "synth/relaxed_float.h"
#include "synth/synth_event.h"
#include "synth/voice.h"
#include "synth/voice_kernel.h"

namespace quorvel {

class Engine {
public:
    Engine();

    // Parameter values, stored exactly as given and read as stored; an index
    // outside 0..7 (negative ones included) stores nothing and reads 0.
    // setParameter answers whether the index names a parameter.
    bool setParameter(std::int32_t index, float value);
    float parameter(std::int32_t index) const;

    // MIDI intake. prepareForEvents makes room for `count` more events at once
    // (the only place where the queue and its firing order grow); each
    // receiveMidi then turns one message, due `frame` samples into the next
    // block, into a queued event, except the bend-range messages, which act at
    // once.
    void prepareForEvents(std::int32_t count);
    void receiveMidi(std::int32_t frame, unsigned char status, unsigned char data1, unsigned char data2);
    // Whether receiveMidi queues an event for a message with this status and
    // first data byte (a note, the wheel, all notes off, a bend), so that a
    // caller with a full queue knows which messages it can still hand over.
    static bool queuesEvent(unsigned char status, unsigned char data1);

    // Renders `frames` samples at `sampleRate` (a rate that is not a positive
    // finite number runs at 44100 Hz) into both buffers, then empties the
    // queue. The buffers are not touched when `frames` is 0 or less.
    void render(float sampleRate, float* left, float* right, std::int32_t frames);

    // The build of the voice kernel this engine runs (the fastest available
    // one unless QUORVEL_KERNEL names another). Tests switch between them;
    // false, and no change, for a path this build or processor cannot run.
    bool useKernel(KernelPath path);
    KernelPath kernelInUse() const { return kernelPath; }

    // Read-only views of the engine state, for tests and tools.
    Voice voice(int i) const { return voices.voice(i); }
    const EventQueue& queue() const { return eventQueue; }
    std::int32_t currentOutputBit() const { return outputBit; }
    float currentNoteVolume() const { return noteVolume; }
    float currentBendRange() const { return bendRange; }
    float currentBendSemitones() const { return bendSemitones; }
    float currentWheelDepth() const { return wheelDepth; }
    float currentLfoPhase() const { return lfoPhase; }
    bool keyHeld(int key) const { return heldKeys[key] != 0; }
    bool anyKeyHeld() const;

    // Places an event in the queue as MIDI intake would.
    void queueEvent(const SynthEvent& e) {
        eventQueue.push_back(e);
        reserveEventOrder();
    }

private:
    BlockSettings computeBlockSettings(float sampleRate) const;
    void renderStretch(const BlockSettings& settings, std::int32_t from, std::int32_t to, float* left, float* right);
    bool anyVoicePlaying() const;
    // The queued events that fall due in the block, put in firing order
    // once per block; advanceEvents then applies those due at one sample.
    void scheduleEvents(std::int32_t frames);
    void advanceEvents(std::int32_t sample, const BlockSettings& settings);
    std::int32_t nextEventSample() const;
    void reserveEventOrder();
    void appendEvent(EventKind kind, std::int32_t delta, std::int32_t note, std::int32_t velocity, float value);
    void applyEvent(const SynthEvent& e, const BlockSettings& settings);
    void noteOn(std::int32_t key, std::int32_t velocity, const BlockSettings& settings);
    void noteOff(std::int32_t key);
    void allNotesOff();

    // Parameter values by index, shared with the host's threads.
    RelaxedFloat params[kParamCount];

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

}  // namespace quorvel

// The inline part of the engine: MIDI intake.
#include "synth/midi_intake.h"  // IWYU pragma: export
