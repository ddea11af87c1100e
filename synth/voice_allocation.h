// What a due event does: note on with voice allocation, note off, all notes
// off, bend and wheel. Defined inline for the render loop and for the voice
// kernel, which applies the events between runs without vibrato itself
// (Engine::nextPlainRun), so that a dense list of events costs no call per
// sample that has some.
#pragma once

#include <cstring>

#include "synth/engine.h"

namespace quorvel {

// Note on and off are taken inside the loop over a sample's events, without
// a call each.
#if defined(__GNUC__) || defined(__clang__)
#define QUORVEL_IN_EVENT_LOOP __attribute__((always_inline)) inline
#else
#define QUORVEL_IN_EVENT_LOOP inline
#endif

// Voice k (free) starts the note: everything but the set of playing voices,
// which the caller keeps.
QUORVEL_IN_EVENT_LOOP void Engine::startNote(int k, std::int32_t key, std::int32_t velocity,
                                             const BlockSettings& settings) {
    // Out-of-range settings may have left a free voice with a start phase no
    // sub-step has wrapped yet, or a pulse counter that no in-range setting
    // reaches (those keep it at -1 or above and below 2^38): the new note does not
    // inherit them.
    if (!(voices.phase[k] < kPhaseLoopLimit)) voices.phase[k] = 0.0f;
    if (!(voices.pulseCounter[k] >= -1.0f && voices.pulseCounter[k] < 0x1p40f)) voices.pulseCounter[k] = 0.0f;

    const float a = static_cast<float>(velocity) / 100.0f;
    const std::int32_t target = settings.velocityTarget;
    voices.note[k] = key;
    keyVoices[key] = static_cast<unsigned char>(keyVoices[key] | 1u << k);
    voices.pitch[k] = static_cast<float>(key - 69);
    voices.keyIncrement[k] = keyIncrements.of[key];

    const float startPhase = selects(target, VelocityTarget::PhaseReset) ? a : params[kPhaseReset].load();
    if (startPhase > 0.0f) voices.phase[k] = startPhase;

    float cut = params[kNoteCut].load() * (selects(target, VelocityTarget::NoteCut) ? a : 1.0f);
    cut = cut * settings.sampleRate;
    voices.cutCounter[k] = cut * 8.0f;

    voices.pulseLength[k] = (selects(target, VelocityTarget::PulseWidth) ? a : 1.0f) * settings.basePulseLength;
    noteVolume = selects(target, VelocityTarget::Volume) ? a : 1.0f;
}

// Note on (velocity 1..127) or note off (velocity 0), for key 0..127. Dense
// traffic mixes the two at random, so both are taken on one path with a
// branch only where a note-on obtains a voice: the held key is counted, the
// voices playing the key are freed (a note-on frees none), the output bit
// falls silent when a note-off leaves no key held. The playing voices, the
// count of held keys and the output bit come as the caller's copies (see
// advanceEvents).
QUORVEL_IN_EVENT_LOOP void Engine::noteOnOrOff(std::int32_t key, std::int32_t velocity, const BlockSettings& settings,
                                               Playing& playing) {
    // Masks worked out with arithmetic rather than tests on whether the
    // velocity is 0, which the compiler would turn back into a branch.
    const std::uint32_t v = static_cast<std::uint32_t>(velocity);
    const std::uint32_t on = (v | (0u - v)) >> 31;  // velocity is 0..127
    playing.held += static_cast<std::int32_t>(on) - heldKeys[key];
    heldKeys[key] = static_cast<unsigned char>(on);
    const unsigned freed = keyVoices[key] & (on - 1u);
    keyVoices[key] = static_cast<unsigned char>(keyVoices[key] & ~freed);
    playing.voices &= ~freed;
    playing.bit &= -static_cast<std::int32_t>(on | (playing.held != 0 ? 1u : 0u));  // 0 or 1 kept, or 0

    // A note-on takes the first free voice; with all eight busy the note is
    // dropped and nothing is stolen.
    const unsigned startable = ~playing.voices & 0xFFu & (0u - on);
    if (startable != 0) {
        const int k = lowestBit(startable);
        playing.voices |= 1u << k;
        startNote(k, key, velocity, settings);
    }
}

// Applies the events due at `sample`, in firing order, and answers the
// sample at which the next ones fall due (-1: none). Kept beside what they
// do, so that applying a note is no call. The playing voices, the count of
// held keys and the output bit are kept in locals meanwhile: the per-key
// tables are bytes, and the compiler must take a store to one for a store
// to any field, reading those three back after every note otherwise.
__attribute__((noinline)) inline std::int32_t Engine::advanceEvents(std::int32_t sample,
                                                                    const BlockSettings& settings) {
    const SynthEvent* events = dueEvents;
    const std::uint32_t due = dueCount;
    std::uint32_t next = nextDue;
    Playing playing{activeVoices, heldCount, outputBit};
    while (next < due && events[next].delta == sample) {
        const SynthEvent& e = events[next++];
        if (e.kind == EventKind::Note && static_cast<std::uint32_t>(e.note) <= 127u) {
            noteOnOrOff(e.note, e.velocity, settings, playing);
        } else if (e.kind == EventKind::PitchBend) {
            bendSemitones = e.value;
        } else if (e.kind == EventKind::ModWheel) {
            wheelDepth = e.value * 0.25f;
        } else if (e.kind == EventKind::Note && e.note < 0 && e.velocity == 0) {
            allNotesOff();  // MIDI intake queues no other keys outside 0..127
            playing = Playing{0u, 0, 0};
        }
    }
    activeVoices = playing.voices;
    heldCount = playing.held;
    outputBit = playing.bit;
    nextDue = next;
    return next < due ? events[next].delta : -1;
}

// Voices the cut timer freed during a run (the kernel answers which still
// play): their keys no longer sound on them.
inline void Engine::voicesCut(unsigned stillPlaying) {
    for (unsigned left = activeVoices & ~stillPlaying; left != 0; left &= left - 1) {
        const int k = lowestBit(left);
        keyVoices[voices.note[k]] = static_cast<unsigned char>(keyVoices[voices.note[k]] & ~(1u << k));
    }
    activeVoices = stillPlaying;
}

inline void Engine::allNotesOff() {
    std::memset(heldKeys, 0, sizeof(heldKeys));
    std::memset(keyVoices, 0, sizeof(keyVoices));
    heldCount = 0;
    activeVoices = 0;
    outputBit = 0;
}

// The wheel as it was before the events of chain.end, those events
// applied, and the end of the run they start.
inline void Engine::startNextRun(RunChain& chain) {
    const std::int32_t start = chain.end;
    chain.start = start;
    if (start >= chain.to) return;
    chain.wheelAtStart = wheelDepth;
    std::int32_t end = advanceEvents(start, *chain.settings);
    // None (-1) or past the stretch: the stretch ends the run.
    if (static_cast<std::uint32_t>(end) > static_cast<std::uint32_t>(chain.to)) end = chain.to;
    chain.end = end;
}

// After a run: the voices the cut timer freed come off their keys, then the
// next run starts.
inline void Engine::runDone(RunChain& chain, const VoiceRun& run) {
    if (run.playing != activeVoices) voicesCut(run.playing);
    startNextRun(chain);
}

// What the run at chain.start takes from the engine.
inline void Engine::setUpRun(const RunChain& chain, VoiceRun& run) const {
    run.frames = chain.end - chain.start;
    run.bend = bendSemitones;
    run.noteVolume = noteVolume;
    run.out0 = chain.left + chain.start;
    run.out1 = chain.right + chain.start;
    run.active = activeVoices;
}

inline bool Engine::nextPlainRun(RunChain& chain, VoiceRun& run) {
    runDone(chain, run);
    if (chain.start >= chain.to || needsVibrato(chain.wheelAtStart)) return false;
    setUpRun(chain, run);
    return true;
}

}  // namespace quorvel
