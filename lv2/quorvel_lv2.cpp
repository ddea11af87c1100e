// Quorvel as an LV2 instrument. Glue only, the sibling of the VST 2.4 glue in
// plugin/quorvel.cpp: it owns one engine (synth/engine.h) and forwards to it.
// What differs from VST 2.4 stays here: the sample rate is fixed when the
// instance is made, parameter values are control ports read at the start of
// every run, MIDI arrives as an atom sequence inside the run, and activate()
// starts the instance afresh.
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/units/units.h>
#include <lv2/urid/urid.h>

#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>

#include "lv2/quorvel_lv2.h"
#include "synth/engine.h"
#include "synth/float_environment.h"

namespace quorvel::lv2 {

namespace {

struct Uris {
    LV2_URID sequence = 0;
    LV2_URID midiEvent = 0;
    LV2_URID beat = 0;
};

// One MIDI message of the input sequence, as the engine takes it.
struct Message {
    std::int64_t frame;
    unsigned char status, data1, data2;
};

// The events of a sequence body in the order the host wrote them. Each event
// is checked to lie whole inside the sequence the host announced; a damaged
// one ends the walk.
class EventCursor {
public:
    EventCursor(const std::uint8_t* from, const std::uint8_t* to) : at(from), end(to) {}

    const LV2_Atom_Event* event() const {
        const std::size_t left = static_cast<std::size_t>(end - at);
        if (left < sizeof(LV2_Atom_Event)) return nullptr;
        const auto* e = reinterpret_cast<const LV2_Atom_Event*>(at);
        return e->body.size <= left - sizeof(LV2_Atom_Event) ? e : nullptr;
    }
    // Events follow one another at 8-byte steps.
    void next() {
        const std::size_t step = sizeof(LV2_Atom_Event) + ((event()->body.size + 7u) & ~std::size_t{7});
        at = step < static_cast<std::size_t>(end - at) ? at + step : end;
    }

private:
    const std::uint8_t* at;
    const std::uint8_t* end;
};

class Instrument {
public:
    Instrument(float rate, const Uris& ids, std::int32_t room) : sampleRate(rate), uris(ids), capacity(room) {}

    // A new engine with room for `capacity` events: all history gone, false
    // without the memory for it.
    bool start() noexcept {
        engine.reset();
        try {
            engine.emplace();
            engine->prepareForEvents(capacity);
            return true;
        } catch (const std::bad_alloc&) {
            engine.reset();
            return false;
        }
    }

    void connect(std::uint32_t port, void* data) {
        if (port == kPortMidiIn)
            events = static_cast<const LV2_Atom_Sequence*>(data);
        else if (port == kPortLeft || port == kPortRight)
            outputs[port - kPortLeft] = static_cast<float*>(data);
        else if (port < kPortCount)
            controls[port - kPortFirstParameter] = static_cast<const float*>(data);
    }

    void run(std::uint32_t frames);
    const Engine* engineInUse() const { return engine ? &*engine : nullptr; }

private:
    bool readMessage(const LV2_Atom_Event* e, Message& m) const;
    std::size_t queuedAt(EventCursor from, std::int64_t frame) const;
    void takeEvents(EventCursor at, std::int32_t frames);
    std::uint32_t takeEventsInPieces(EventCursor at, std::uint32_t frames);
    void renderPiece(std::uint32_t from, std::uint32_t to);

    const float sampleRate;
    const Uris uris;
    const std::int32_t capacity;
    std::optional<Engine> engine;
    const LV2_Atom_Sequence* events = nullptr;
    float* outputs[2] = {nullptr, nullptr};
    const float* controls[kParamCount] = {};
    float* left = nullptr;
    float* right = nullptr;
};

bool Instrument::readMessage(const LV2_Atom_Event* e, Message& m) const {
    // Every message the engine acts on has three bytes; shorter ones are cut
    // off or of kinds it ignores.
    if (e->body.type != uris.midiEvent || e->body.size < 3) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(e + 1);
    m = {e->time.frames, bytes[0], bytes[1], bytes[2]};
    return true;
}

// How many of the events from `from` on, up to the first at another frame,
// would be queued at `frame`.
std::size_t Instrument::queuedAt(EventCursor from, std::int64_t frame) const {
    std::size_t count = 0;
    Message m;
    for (; const LV2_Atom_Event* e = from.event(); from.next()) {
        if (e->time.frames != frame) break;
        if (readMessage(e, m) && Engine::queuesEvent(m.status, m.data1)) ++count;
    }
    return count;
}

// Frames [from, to) of the run as one engine block (in blocks of the
// engine's largest size beyond it, which no host comes near).
void Instrument::renderPiece(std::uint32_t from, std::uint32_t to) {
    while (from < to) {
        const std::uint32_t length = to - from < INT32_MAX ? to - from : INT32_MAX;
        engine->render(sampleRate, left + from, right + from, static_cast<std::int32_t>(length));
        from += length;
    }
}

// Every message to the engine, which has room for all of them, with its
// frame; frames outside the run stay outside it (the engine drops them).
void Instrument::takeEvents(EventCursor at, std::int32_t frames) {
    Message m;
    for (; const LV2_Atom_Event* e = at.event(); at.next()) {
        if (!readMessage(e, m)) continue;
        const std::int32_t frame = m.frame < 0 ? -1 : m.frame >= frames ? frames : static_cast<std::int32_t>(m.frame);
        engine->receiveMidi(frame, m.status, m.data1, m.data2);
    }
}

// Messages to the engine while the queue has room; before a frame whose
// events would overfill it, the run so far is rendered as a piece and the
// next piece starts at that frame. Answers where the last piece starts.
std::uint32_t Instrument::takeEventsInPieces(EventCursor at, std::uint32_t frames) {
    const std::size_t capacity = engine->queue().capacity();
    std::uint32_t start = 0;
    std::int64_t groupFrame = -1;  // the frame of the latest events in time order
    Message m;
    for (; const LV2_Atom_Event* e = at.event(); at.next()) {
        if (!readMessage(e, m)) continue;
        if (!Engine::queuesEvent(m.status, m.data1)) {
            engine->receiveMidi(0, m.status, m.data1, m.data2);  // acts at once, or not at all
            continue;
        }
        // An event outside the run (or before the piece it would join)
        // never falls due: the engine would drop it unapplied.
        if (m.frame < start || m.frame >= frames) continue;
        if (m.frame > groupFrame) {
            groupFrame = m.frame;
            const std::size_t wanted = engine->queue().size() + queuedAt(at, m.frame);
            if (m.frame > start && (wanted > capacity || m.frame - start >= INT32_MAX)) {
                renderPiece(start, static_cast<std::uint32_t>(m.frame));
                start = static_cast<std::uint32_t>(m.frame);
            }
        }
        // More events at one frame than the queue holds: the excess is
        // dropped rather than allocated for.
        if (engine->queue().size() < capacity)
            engine->receiveMidi(static_cast<std::int32_t>(m.frame - start), m.status, m.data1, m.data2);
    }
    return start;
}

// The events due inside the run go to the engine with their frames, the run
// is rendered, and the queue is empty again. The queue holds what was made
// room for at activation; a sequence that could queue more is taken in
// pieces, each starting at an event frame and holding that frame's events.
// All pieces use the same parameter values and rate, so they give the same
// samples as one block would. A run of no frames writes nothing; its
// bend-range messages still act, as in a VST 2.4 host's empty block.
void Instrument::run(std::uint32_t frames) {
    left = outputs[0] ? outputs[0] : outputs[1];
    right = outputs[1] ? outputs[1] : outputs[0];
    if (frames > 0 && !left) return;  // nowhere to write the run
    if (!engine) {
        // activate() found no memory: silence.
        if (frames > 0) {
            std::memset(left, 0, frames * sizeof(float));
            std::memset(right, 0, frames * sizeof(float));
        }
        return;
    }
    for (std::int32_t i = 0; i < kParamCount; ++i)
        if (controls[i]) engine->setParameter(i, *controls[i]);

    std::uint32_t start = 0;
    // A sequence in beats is not read. Any other unit counts as frames: some
    // hosts (Ardour 7 among them) leave the field unset.
    const bool readable = events && events->atom.type == uris.sequence &&
                          events->atom.size >= sizeof(LV2_Atom_Sequence_Body) && events->body.unit != uris.beat;
    if (readable) {
        const auto* body = reinterpret_cast<const std::uint8_t*>(&events->body);
        const EventCursor first(body + sizeof(LV2_Atom_Sequence_Body), body + events->atom.size);
        // A message the engine queues takes at least 24 bytes of the sequence
        // (16 of header, 3 of MIDI padded to 8).
        const std::size_t most = (events->atom.size - sizeof(LV2_Atom_Sequence_Body)) / (sizeof(LV2_Atom_Event) + 8);
        if (frames <= INT32_MAX && engine->queue().size() + most <= engine->queue().capacity())
            takeEvents(first, static_cast<std::int32_t>(frames));
        else
            start = takeEventsInPieces(first, frames);
    }
    if (frames == 0)
        engine->render(sampleRate, nullptr, nullptr, 0);  // empties the queue, writes nothing
    else
        renderPiece(start, frames);
}

// The URIDs the instrument needs; the host's map, or null without one.
const LV2_URID_Map* mapUris(const LV2_Feature* const* features, Uris& uris) {
    const LV2_URID_Map* map = nullptr;
    for (; features && *features; ++features)
        if ((*features)->URI && std::strcmp((*features)->URI, LV2_URID__map) == 0)
            map = static_cast<const LV2_URID_Map*>((*features)->data);
    if (!map || !map->map) return nullptr;
    uris.sequence = map->map(map->handle, LV2_ATOM__Sequence);
    uris.midiEvent = map->map(map->handle, LV2_MIDI__MidiEvent);
    uris.beat = map->map(map->handle, LV2_UNITS__beat);
    return uris.sequence != 0 && uris.midiEvent != 0 && uris.beat != 0 ? map : nullptr;
}

// Events to make room for: kEventCapacity, or as many three-byte MIDI events
// as the sequence size the host announces (buf-size:sequenceSize) can hold,
// so that such a host never sends more events at one frame than the queue
// takes.
std::int32_t eventRoom(const LV2_Feature* const* features, const LV2_URID_Map& map) {
    constexpr std::int32_t kMostRoom = 1 << 18;  // 7 MiB of queue and firing order
    const LV2_Options_Option* options = nullptr;
    for (; features && *features; ++features)
        if ((*features)->URI && std::strcmp((*features)->URI, LV2_OPTIONS__options) == 0)
            options = static_cast<const LV2_Options_Option*>((*features)->data);
    const LV2_URID sequenceSize = map.map(map.handle, LV2_BUF_SIZE__sequenceSize);
    const LV2_URID intType = map.map(map.handle, LV2_ATOM__Int);
    for (; options && options->key != 0; ++options) {
        if (options->key != sequenceSize || options->type != intType || options->size != sizeof(std::int32_t) ||
            !options->value)
            continue;
        const std::int32_t bytes = *static_cast<const std::int32_t*>(options->value);
        const std::int32_t events = bytes / static_cast<std::int32_t>(sizeof(LV2_Atom_Event) + 8);
        return events < kEventCapacity ? kEventCapacity : events > kMostRoom ? kMostRoom : events;
    }
    return kEventCapacity;
}

// The rate plays the part of the VST 2.4 host's answer: single precision, and
// a rate that is no usable float leaves the engine at its own fallback.
float engineRate(double rate) { return rate > 0.0 && rate <= FLT_MAX ? static_cast<float>(rate) : 0.0f; }

Instrument* instrument(LV2_Handle handle) { return static_cast<Instrument*>(handle); }

// Every entry computes under the floating-point settings the engine is
// written for and gives the host its own back (synth/float_environment.h).

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    const FloatEnvironment environment;
    Uris uris;
    const LV2_URID_Map* map = mapUris(features, uris);
    if (!map) return nullptr;
    auto* made = new (std::nothrow) Instrument(engineRate(rate), uris, eventRoom(features, *map));
    if (made && !made->start()) {
        delete made;
        return nullptr;
    }
    return made;
}

void connectPort(LV2_Handle handle, std::uint32_t port, void* data) {
    const FloatEnvironment environment;
    instrument(handle)->connect(port, data);
}

void activate(LV2_Handle handle) {
    const FloatEnvironment environment;
    instrument(handle)->start();
}

void run(LV2_Handle handle, std::uint32_t frames) {
    const FloatEnvironment environment;
    instrument(handle)->run(frames);
}

void deactivate(LV2_Handle) { const FloatEnvironment environment; }

void cleanup(LV2_Handle handle) {
    const FloatEnvironment environment;
    delete instrument(handle);
}

const void* extensionData(const char*) {
    const FloatEnvironment environment;
    return nullptr;
}

const LV2_Descriptor kDescriptor = {kPluginUri, instantiate, connectPort, activate,
                                    run,        deactivate,  cleanup,     extensionData};

}  // namespace

const LV2_Descriptor* descriptor(std::uint32_t index) { return index == 0 ? &kDescriptor : nullptr; }

const Engine* engineOf(LV2_Handle instance) { return static_cast<const Instrument*>(instance)->engineInUse(); }

}  // namespace quorvel::lv2
