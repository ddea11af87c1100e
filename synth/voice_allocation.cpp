// When each queued event falls due, and what it does then: note on with
// voice allocation, note off, all notes off, bend and wheel.
#include <cstring>

#include "synth/quorvel.h"

void Quorvel::reserveEventOrder() {
    if (eventOrder.size() < 2 * eventQueue.capacity()) eventOrder.resize(2 * eventQueue.capacity());
}

// An event with delta d falls due at sample d of the block; a negative delta,
// or one at or beyond the block's end, never does. The due events are put in
// firing order once per block: by sample, in arrival order within a sample.
// The first half of eventOrder takes them, the second half serves the sort.
void Quorvel::scheduleEvents(std::int32_t sampleFrames) {
    const SynthEvent* events = eventQueue.data();
    const std::uint32_t size = static_cast<std::uint32_t>(eventQueue.size());
    std::uint32_t* order = eventOrder.data();
    std::uint32_t count = 0;
    std::int32_t last = 0;
    bool sorted = true;
    for (std::uint32_t i = 0; i < size; ++i) {
        const std::int32_t delta = events[i].delta;
        if (delta < 0 || delta >= sampleFrames) continue;
        sorted = sorted && delta >= last;
        last = delta;
        order[count++] = i;
    }
    dueEvents = count;
    nextDue = 0;
    if (sorted) return;

    // Hosts send each list in time order, so this is rare: a bottom-up merge
    // sort, stable, in the storage reserved beside the queue.
    std::uint32_t* from = order;
    std::uint32_t* to = order + size;
    for (std::uint32_t width = 1; width < count; width *= 2) {
        for (std::uint32_t lo = 0; lo < count; lo += 2 * width) {
            const std::uint32_t mid = lo + width < count ? lo + width : count;
            const std::uint32_t hi = mid + width < count ? mid + width : count;
            std::uint32_t a = lo, b = mid, out = lo;
            while (a < mid && b < hi) to[out++] = events[from[b]].delta < events[from[a]].delta ? from[b++] : from[a++];
            while (a < mid) to[out++] = from[a++];
            while (b < hi) to[out++] = from[b++];
        }
        std::uint32_t* t = from;
        from = to;
        to = t;
    }
    if (from != order) std::memcpy(order, from, count * sizeof(std::uint32_t));
}

// The sample at which the next event not applied yet falls due, or -1.
std::int32_t Quorvel::nextEventSample() const {
    return nextDue < dueEvents ? eventQueue[eventOrder[nextDue]].delta : -1;
}

void Quorvel::advanceEvents(std::int32_t sample, const BlockSettings& settings) {
    const SynthEvent* events = eventQueue.data();
    const std::uint32_t* order = eventOrder.data();
    const std::uint32_t due = dueEvents;
    std::uint32_t next = nextDue;
    while (next < due && events[order[next]].delta == sample) applyEvent(events[order[next++]], settings);
    nextDue = next;
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
    // Eight keys at a time; the first group with a held key ends the search.
    for (std::size_t k = 0; k < sizeof(heldKeys); k += 8) {
        std::uint64_t group;
        std::memcpy(&group, heldKeys + k, sizeof(group));
        if (group != 0) return true;
    }
    return false;
}

void Quorvel::noteOn(std::int32_t key, std::int32_t velocity, const BlockSettings& settings) {
    if (key < 0 || key > 127) return;  // MIDI intake only queues 0..127
    heldKeys[key] = 1;

    int k = 0;
    while (k < kNumVoices && voices.note[k] >= 0) ++k;
    if (k == kNumVoices) return;  // all eight busy: the note is dropped, nothing is stolen

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

    const float startPhase = (target == PhaseReset) ? a : paramPhaseReset.load();
    if (startPhase > 0.0f) voices.phase[k] = startPhase;

    float cut = paramNoteCut.load() * (target == NoteCut ? a : 1.0f);
    cut = cut * settings.sampleRate;
    voices.cutCounter[k] = cut * 8.0f;

    voices.pulseLength[k] = (target == PulseWidth ? a : 1.0f) * settings.basePulseLength;
    noteVolume = (target == Volume) ? a : 1.0f;
}

void Quorvel::noteOff(std::int32_t key) {
    if (key < 0 || key > 127) return;
    heldKeys[key] = 0;
    for (std::int32_t& note : voices.note)
        if (note == key) note = -1;
    if (!anyKeyHeld()) outputBit = 0;
}

void Quorvel::allNotesOff() {
    std::memset(heldKeys, 0, sizeof(heldKeys));
    for (std::int32_t& note : voices.note) note = -1;
    outputBit = 0;
}
