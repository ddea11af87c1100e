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
// voice_allocation.h (inline), the block settings and the render loop in
// tone_generation.cpp, the vibrato phase in vibrato_phase.h, and the voice
// kernel: the pitch in voice_kernel_pitch.h, the sub-steps and output sample
// in voice_kernel_body.h, the power of two and sine in voice_kernel_maths.h.
#pragma once

#include <climits>
#include <cstdint>
#include <vector>

#include "params/parameters.h"
#include "synth/relaxed_float.h"
#include "synth/synth_event.h"
#include "synth/voice.h"
#include "synth/voice_kernel.h"

namespace quorvel {

class Engine {
    // Frames are sorted a digit of this many bits at a time: one pass for
    // blocks of up to 1024 frames.
    static constexpr unsigned kFrameDigitBits = 10;

public:
    Engine();

    // Parameter values, stored exactly as given and read as stored; an index
    // outside 0..7 (negative ones included) stores nothing and reads 0.
    // setParameter answers whether the index names a parameter.
    bool setParameter(std::int32_t index, float value);
    float parameter(std::int32_t index) const;

    // MIDI intake of a list of `count` messages, each due `frame` samples
    // into the next block: `message(i, frame, status, data1, data2)` gives
    // the i-th, or answers false for an entry that holds none. Each turns into
    // a queued event, except the bend-range messages, which act at once. The
    // queue grows here if it must, never while rendering.
    template <class Message>
    void receiveMidiList(std::int32_t count, Message message);
    // One message at a time, for a caller that reads its messages one by one:
    // prepareForEvents makes room for `count` more events (the queue and its
    // firing order grow there, never while rendering); receiveMidi then takes
    // one message into that room.
    void prepareForEvents(std::int32_t count);
    void receiveMidi(std::int32_t frame, unsigned char status, unsigned char data1, unsigned char data2) {
        SynthEvent event;
        if (!decodeMidi(frame, status, data1, data2, &event)) return;
        eventQueue.push_back(event);  // in the room prepareForEvents made
        noteArrival(frame);
    }
    // Whether receiveMidi queues an event for a message with this status and
    // first data byte (a note, the wheel, all notes off, a bend), so that a
    // caller with a full queue knows which messages it can still hand over.
    static bool queuesEvent(unsigned char status, unsigned char data1);

    // Renders `frames` samples at `sampleRate` (a rate that is not a positive
    // finite number runs at 44100 Hz) into both buffers, then empties the
    // queue. The buffers are not touched when `frames` is 0 or less.
    void render(float sampleRate, float* left, float* right, std::int32_t frames);
    // For the voice kernel, after it has rendered a run without vibrato:
    // takes the voices the cut timer freed off their keys and, unless the
    // stretch ends there, applies the events of the next run's first sample.
    // True, with `run` set up for that run, when it too goes without
    // vibrato; otherwise the render loop takes the run over from `chain`.
    bool nextPlainRun(RunChain& chain, VoiceRun& run);

    // The build of the voice kernel this engine runs (the fastest available
    // one unless QUORVEL_KERNEL names another). Tests switch between them;
    // false, and no change, for a path this build or processor cannot run.
    bool useKernel(KernelPath path);
    KernelPath kernelInUse() const { return kernelPath; }

    // Read-only views of the engine state, for tests and tools.
    Voice voice(int i) const {
        Voice v = voices.voice(i);
        if (!(activeVoices >> i & 1u)) v.note = -1;
        return v;
    }
    const EventQueue& queue() const { return eventQueue; }
    std::int32_t currentOutputBit() const { return outputBit; }
    float currentNoteVolume() const { return noteVolume; }
    float currentBendRange() const { return bendRange; }
    float currentBendSemitones() const { return bendSemitones; }
    float currentWheelDepth() const { return wheelDepth; }
    float currentLfoPhase() const { return lfoPhase; }
    bool keyHeld(int key) const { return heldKeys[key] != 0; }
    bool anyKeyHeld() const { return heldCount != 0; }

    // Places an event in the queue as MIDI intake would.
    void queueEvent(const SynthEvent& e) {
        noteArrival(e.delta);
        eventQueue.push_back(e);
        reserveEventOrder();
    }

private:
    BlockSettings computeBlockSettings(float sampleRate) const;
    void renderStretch(const BlockSettings& settings, std::int32_t from, std::int32_t to, float* left, float* right);
    // The queued events that fall due in the block, put in firing order
    // once per block; advanceEvents then applies those due at one sample.
    void scheduleEvents(std::int32_t frames);
    std::int32_t advanceEvents(std::int32_t sample, const BlockSettings& settings);
    void reserveEventOrder();
    void noteArrival(std::int32_t delta) {
        queueInOrder = queueInOrder && delta >= lastArrival;
        lastArrival = delta;
    }
    void sortDueEvents(std::int32_t frames);
    bool decodeMidi(std::int32_t frame, unsigned char status, unsigned char data1, unsigned char data2,
                    SynthEvent* out);
    // What note on and off change besides the voices and the per-key tables,
    // as advanceEvents keeps it while applying a sample's events.
    struct Playing {
        unsigned voices;    // activeVoices
        std::int32_t held;  // heldCount
        std::int32_t bit;   // outputBit
    };
    void noteOnOrOff(std::int32_t key, std::int32_t velocity, const BlockSettings& settings, Playing& playing);
    void startNote(int voice, std::int32_t key, std::int32_t velocity, const BlockSettings& settings);
    void allNotesOff();
    void voicesCut(unsigned stillPlaying);
    // Between runs (voice_allocation.h): the start of the run after
    // `chain.end` with its events applied; that after a run, with the voices
    // the cut timer freed taken off their keys first; the run's fields taken
    // from the engine.
    void startNextRun(RunChain& chain);
    void runDone(RunChain& chain, const VoiceRun& run);
    void setUpRun(const RunChain& chain, VoiceRun& run) const;
    // Whether a run whose first sample's events found the wheel at
    // `wheelAtStart` needs vibrato offsets: a voice plays, and the wheel is
    // at 0.001 or more before or after those events.
    bool needsVibrato(float wheelAtStart) const {
        return activeVoices != 0 && ((wheelAtStart >= 0.001f) | (wheelDepth >= 0.001f));
    }

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

    // Which voices play (bit k: voice k plays voices.note[k]), so that
    // note-on finds the first free voice at once.
    unsigned activeVoices = 0;
    std::int32_t heldCount = 0;  // keys held, the non-zero entries of heldKeys
    // The voices playing each key (bit k: voice k), so that note-off finds
    // them at once.
    unsigned char keyVoices[128] = {};

    // Whether the queue arrived in firing order (frames never decreasing, as
    // hosts send each list), noted as events are queued.
    bool queueInOrder = true;
    std::int32_t lastArrival = INT32_MIN;

    // The block's due events in the order they fire (sorted by sample,
    // arrival order kept): a stretch of the queue when it arrived in order,
    // else a sorted copy in sortSpace, which has room for the copy and its
    // sorting (twice the queue's capacity, grown where the queue grows, never
    // while rendering); sortCounts has one count per value of a frame digit.
    const SynthEvent* dueEvents = nullptr;
    std::uint32_t dueCount = 0;
    std::uint32_t nextDue = 0;
    std::vector<SynthEvent> sortSpace;
    std::uint32_t sortCounts[1u << kFrameDigitBits] = {};

    // The render loop works in stretches of up to kRunLength samples: the
    // sine of each sample's vibrato phase, and the vibrato offset.
    float stretchSines[kRunLength] = {};
    float stretchVibrato[kRunLength] = {};
    KernelPath kernelPath;
    const VoiceKernel* kernel;
    PitchCache pitchCache;
    KeyPowers keyPowers;
    KeyIncrements keyIncrements;  // for the last block's rate
};

}  // namespace quorvel

// The inline part of the engine: MIDI intake.
#include "synth/midi_intake.h"  // IWYU pragma: export
