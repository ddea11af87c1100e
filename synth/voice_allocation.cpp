// What a due event does: note on with voice allocation, note off, all notes
// off, bend and wheel.
#include <cstring>

#include "synth/engine.h"

namespace quorvel {

namespace {
int lowestSetBit(unsigned set) {
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_ctz(set);
#else
    int k = 0;
    while (!(set >> k & 1u)) ++k;
    return k;
#endif
}
}  // namespace

// Applies the events due at `sample`, in firing order, and answers the
// sample at which the next ones fall due (-1: none). Kept beside what they
// do, so that applying one is no call.
std::int32_t Engine::advanceEvents(std::int32_t sample, const BlockSettings& settings) {
    const SynthEvent* events = dueEvents;
    const std::uint32_t due = dueCount;
    std::uint32_t next = nextDue;
    while (next < due && events[next].delta == sample) applyEvent(events[next++], settings);
    nextDue = next;
    return next < due ? events[next].delta : -1;
}

void Engine::applyEvent(const SynthEvent& e, const BlockSettings& settings) {
    switch (e.kind) {
        case EventKind::PitchBend:
            bendSemitones = e.value;
            break;
        case EventKind::ModWheel:
            wheelDepth = e.value * 0.25f;
            break;
        case EventKind::Note:
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

bool Engine::anyKeyHeld() const { return heldCount != 0; }

void Engine::noteOn(std::int32_t key, std::int32_t velocity, const BlockSettings& settings) {
    if (key < 0 || key > 127) return;  // MIDI intake only queues 0..127
    heldCount += heldKeys[key] ^ 1;
    heldKeys[key] = 1;

    const unsigned free = ~activeVoices & 0xFFu;
    if (free == 0) return;  // all eight busy: the note is dropped, nothing is stolen
    const int k = lowestSetBit(free);
    activeVoices |= 1u << k;
    keyVoices[key] = static_cast<unsigned char>(keyVoices[key] | 1u << k);

    // Out-of-range settings may have left a free voice with a start phase no
    // sub-step has wrapped yet, or a pulse counter that no in-range setting
    // reaches (those keep it at -1 or above and below 2^38): the new note does not
    // inherit them.
    if (!(voices.phase[k] < kPhaseLoopLimit)) voices.phase[k] = 0.0f;
    if (!(voices.pulseCounter[k] >= -1.0f && voices.pulseCounter[k] < 0x1p40f)) voices.pulseCounter[k] = 0.0f;

    const float a = static_cast<float>(velocity) / 100.0f;
    const std::int32_t target = settings.velocityTarget;
    voices.note[k] = key;
    voices.pitch[k] = static_cast<float>(key - 69);

    const float startPhase = selects(target, VelocityTarget::PhaseReset) ? a : params[kPhaseReset].load();
    if (startPhase > 0.0f) voices.phase[k] = startPhase;

    float cut = params[kNoteCut].load() * (selects(target, VelocityTarget::NoteCut) ? a : 1.0f);
    cut = cut * settings.sampleRate;
    voices.cutCounter[k] = cut * 8.0f;

    voices.pulseLength[k] = (selects(target, VelocityTarget::PulseWidth) ? a : 1.0f) * settings.basePulseLength;
    noteVolume = selects(target, VelocityTarget::Volume) ? a : 1.0f;
}

void Engine::noteOff(std::int32_t key) {
    if (key < 0 || key > 127) return;
    heldCount -= heldKeys[key];
    heldKeys[key] = 0;
    // Every voice playing the key: among those note-on gave it, the ones
    // still playing it.
    for (unsigned given = keyVoices[key] & activeVoices; given != 0; given &= given - 1) {
        const int k = lowestSetBit(given);
        if (voices.note[k] == key) {
            voices.note[k] = -1;
            activeVoices &= ~(1u << k);
        }
    }
    keyVoices[key] = 0;
    if (heldCount == 0) outputBit = 0;
}

void Engine::allNotesOff() {
    std::memset(heldKeys, 0, sizeof(heldKeys));
    heldCount = 0;
    for (std::int32_t& note : voices.note) note = -1;
    activeVoices = 0;
    outputBit = 0;
}

}  // namespace quorvel
