// Quorvel as an LV2 instrument: its descriptor, its URI, what each port index
// carries and how many events one piece of a block can queue. Saved sessions
// refer to the URI and to the port symbols of quorvel.ttl: neither ever changes.
#pragma once

#include <lv2/core/lv2.h>

#include <cstdint>

#include "params/parameters.h"
#include "synth/engine.h"

namespace quorvel::lv2 {

constexpr const char* kPluginUri = "urn:quorvel:quorvel";

// One MIDI input, the two audio outputs (left first), then the eight
// parameters in their index order.
enum Port : std::uint32_t {
    kPortMidiIn = 0,
    kPortLeft = 1,
    kPortRight = 2,
    kPortFirstParameter = 3,
};
constexpr std::uint32_t kPortCount = kPortFirstParameter + kParamCount;

constexpr std::uint32_t parameterPort(std::int32_t index) {
    return kPortFirstParameter + static_cast<std::uint32_t>(index);
}

// Events the engine can hold for one piece of a block without allocating,
// unless the host announces a larger sequence size: room for a sequence of
// 4096 three-byte MIDI events (96 KiB of atoms). A fuller sequence is
// rendered in pieces split at its event frames.
constexpr std::int32_t kEventCapacity = 4096;

// The one plug-in of the library at index 0, null for any other index (the
// exported lv2_descriptor answers with it).
const LV2_Descriptor* descriptor(std::uint32_t index);

// The engine behind an instance the descriptor made (null while activate()
// could not make one): a read-only view for tests and fuzz targets. The
// library does not export it.
const Engine* engineOf(LV2_Handle instance);

}  // namespace quorvel::lv2
