// The per-sample event countdown and what each event does when it falls due:
// note on with voice allocation, note off, all notes off, bend and wheel.
#include <cstring>

#include "synth/quorvel.h"

void Quorvel::advanceEvents(const BlockSettings& settings) {
    for (SynthEvent& e : eventQueue) {
        if (e.delta < 0) continue;  // fired already, or never due
        --e.delta;
        if (e.delta >= 0) continue;
        applyEvent(e, settings);
    }
}

void Quorvel::applyEvent(const SynthEvent& e, const BlockSettings& settings) {
    switch (e.kind) {
        case PitchBend:
            bendSemitones = e.value;
            break;
        case ModWheel:
            wheelDepth = e.value * 0.25f;
            break;
        case Note:
            if (e.velocity != 0)
                noteOn(e.note, e.velocity, settings);
            else if (e.note >= 0)
                noteOff(e.note);
            else
                allNotesOff();
            break;
        default:
            break;
    }
}

bool Quorvel::anyKeyHeld() const {
    for (unsigned char held : heldKeys)
        if (held) return true;
    return false;
}

void Quorvel::noteOn(std::int32_t key, std::int32_t velocity, const BlockSettings& settings) {
    if (key < 0 || key > 127) return;  // MIDI intake only queues 0..127
    heldKeys[key] = 1;

    Voice* voice = nullptr;
    for (Voice& candidate : voices) {
        if (candidate.note < 0) {
            voice = &candidate;
            break;
        }
    }
    if (!voice) return;  // all eight busy: the note is dropped, nothing is stolen

    // Out-of-range settings may have left a free voice with a start phase no
    // sub-step has wrapped yet, or a pulse counter that no in-range setting
    // reaches (those keep it above -1 and below 2^38): the new note does not
    // inherit them.
    if (!(voice->phase < kPhaseLoopLimit)) voice->phase = 0.0f;
    if (!(voice->pulseCounter > -1.0f && voice->pulseCounter < 0x1p40f)) voice->pulseCounter = 0.0f;

    const float a = static_cast<float>(velocity) / 100.0f;
    const std::int32_t target = settings.velocityTarget;
    voice->note = key;
    voice->pitch = static_cast<float>(key - 69);

    const float startPhase = (target == PhaseReset) ? a : paramPhaseReset.load();
    if (startPhase > 0.0f) voice->phase = startPhase;

    float cut = paramNoteCut.load() * (target == NoteCut ? a : 1.0f);
    cut = cut * settings.sampleRate;
    voice->cutCounter = cut * 8.0f;

    voice->pulseLength = (target == PulseWidth ? a : 1.0f) * settings.basePulseLength;
    noteVolume = (target == Volume) ? a : 1.0f;
}

void Quorvel::noteOff(std::int32_t key) {
    if (key < 0 || key > 127) return;
    heldKeys[key] = 0;
    for (Voice& voice : voices)
        if (voice.note == key) voice.note = -1;
    if (!anyKeyHeld()) outputBit = 0;
}

void Quorvel::allNotesOff() {
    std::memset(heldKeys, 0, sizeof(heldKeys));
    for (Voice& voice : voices) voice.note = -1;
    outputBit = 0;
}
