// The LV2 instrument driven through its descriptor as a host does, for the
// tests, benchmarks and fuzz targets: a URID map, atom sequences of MIDI
// events, and one instance with its ports connected.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/units/units.h>
#include <lv2/urid/urid.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "lv2/quorvel_lv2.h"

namespace quorvel {

// A host's URID map: each URI gets the next number from 1 on. The map holds
// pointers to itself: it stays where it was made.
class UridMap {
public:
    UridMap() = default;
    UridMap(const UridMap&) = delete;
    UridMap& operator=(const UridMap&) = delete;

    LV2_URID map(const char* uri) {
        for (std::size_t i = 0; i < uris.size(); ++i)
            if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
        uris.emplace_back(uri);
        return static_cast<LV2_URID>(uris.size());
    }
    // A feature list offering urid:map alone.
    const LV2_Feature* const* features() const { return list; }

private:
    static LV2_URID mapEntry(LV2_URID_Map_Handle handle, const char* uri) {
        return static_cast<UridMap*>(handle)->map(uri);
    }
    std::vector<std::string> uris;
    LV2_URID_Map mapData{this, &UridMap::mapEntry};
    LV2_Feature feature{LV2_URID__map, &mapData};
    const LV2_Feature* list[2] = {&feature, nullptr};
};

// An atom sequence in frames, as a host writes one into the MIDI port's
// buffer. Events are stored in the order they are added; damaged ones can be
// written raw.
class AtomSequence {
public:
    explicit AtomSequence(UridMap& map)
        : sequenceType(map.map(LV2_ATOM__Sequence)), midiType(map.map(LV2_MIDI__MidiEvent)) {
        clear();
    }

    void clear() {
        bytes.assign(sizeof(LV2_Atom_Sequence), 0);
        count = 0;
        header().atom.type = sequenceType;
        header().atom.size = sizeof(LV2_Atom_Sequence_Body);
    }
    AtomSequence& midi(std::int64_t frame, unsigned status, unsigned data1 = 0, unsigned data2 = 0) {
        const std::uint8_t message[3] = {static_cast<std::uint8_t>(status), static_cast<std::uint8_t>(data1),
                                         static_cast<std::uint8_t>(data2)};
        return event(frame, midiType, message, 3);
    }
    // An event of any type and size; `declared` overrides the size written
    // into its header (a truncated event claims more than follows).
    AtomSequence& event(std::int64_t frame, LV2_URID type, const void* body, std::uint32_t size) {
        return event(frame, type, body, size, size);
    }
    AtomSequence& event(std::int64_t frame, LV2_URID type, const void* body, std::uint32_t size,
                        std::uint32_t declared) {
        const std::size_t at = bytes.size();
        const std::size_t padded = (size + 7u) & ~std::size_t{7};
        bytes.resize(at + sizeof(LV2_Atom_Event) + padded, 0);
        LV2_Atom_Event e{};
        e.time.frames = frame;
        e.body.size = declared;
        e.body.type = type;
        std::memcpy(bytes.data() + at, &e, sizeof e);
        if (size) std::memcpy(bytes.data() + at + sizeof e, body, size);
        header().atom.size = static_cast<std::uint32_t>(bytes.size() - sizeof(LV2_Atom));
        ++count;
        return *this;
    }
    // The unit of the event times (0: frames by default).
    void setUnit(LV2_URID unit) { header().body.unit = unit; }
    void setType(LV2_URID type) { header().atom.type = type; }

    std::size_t events() const { return count; }
    LV2_Atom_Sequence* get() { return &header(); }
    LV2_URID midiEventType() const { return midiType; }

private:
    LV2_Atom_Sequence& header() { return *reinterpret_cast<LV2_Atom_Sequence*>(bytes.data()); }
    // Bytes of the sequence; the allocator's alignment suits 64-bit times.
    std::vector<std::uint8_t> bytes;
    std::size_t count = 0;
    LV2_URID sequenceType, midiType;
};

// One instance of the instrument, instantiated with urid:map, every port
// connected, activated. Control values are written to controls[] (the
// parameter index order) and read by the instrument in run().
class Lv2Instance {
public:
    // `sequenceBytes`, when positive, is announced as the MIDI port's
    // sequence size (buf-size:sequenceSize through options:options).
    explicit Lv2Instance(double sampleRate = 44100.0, std::int32_t sequenceBytes = 0)
        : descriptor(lv2::descriptor(0)), input(map) {
        const LV2_Feature* const* features = map.features();
        if (sequenceBytes > 0) {
            sequenceSize = sequenceBytes;
            options[0] = {LV2_OPTIONS_INSTANCE,
                          0,
                          map.map(LV2_BUF_SIZE__sequenceSize),
                          sizeof(std::int32_t),
                          map.map(LV2_ATOM__Int),
                          &sequenceSize};
            withOptions[0] = map.features()[0];
            features = withOptions;
        }
        handle = descriptor->instantiate(descriptor, sampleRate, "", features);
        if (!handle) return;
        for (std::int32_t i = 0; i < kParamCount; ++i) {
            controls[i] = kParamDefaults[i];
            descriptor->connect_port(handle, lv2::parameterPort(i), &controls[i]);
        }
        descriptor->activate(handle);
    }
    ~Lv2Instance() {
        if (!handle) return;
        descriptor->deactivate(handle);
        descriptor->cleanup(handle);
    }
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    explicit operator bool() const { return handle != nullptr; }

    // Runs `frames` samples into the given buffers with the events of `input`
    // (connected anew: its buffer may have moved), then empties `input`.
    void run(std::uint32_t frames, float* left, float* right) {
        run(frames, left, right, input.get());
        input.clear();
    }
    // Runs with a sequence of the caller's (built on this instance's map).
    void run(std::uint32_t frames, float* left, float* right, const LV2_Atom_Sequence* events) {
        descriptor->connect_port(handle, lv2::kPortMidiIn, const_cast<LV2_Atom_Sequence*>(events));
        descriptor->connect_port(handle, lv2::kPortLeft, left);
        descriptor->connect_port(handle, lv2::kPortRight, right);
        descriptor->run(handle, frames);
    }
    void activate() { descriptor->activate(handle); }

    const LV2_Descriptor* const descriptor;
    UridMap map;
    AtomSequence input;
    float controls[kParamCount] = {};
    LV2_Handle handle = nullptr;

private:
    std::int32_t sequenceSize = 0;
    LV2_Options_Option options[2] = {};
    LV2_Feature optionsFeature{LV2_OPTIONS__options, options};
    const LV2_Feature* withOptions[3] = {nullptr, &optionsFeature, nullptr};
};

}  // namespace quorvel
