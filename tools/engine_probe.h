// The instrument's own engine, run beside the plug-in for what a host cannot
// see: which of its voices hold which keys. The one place in tools/ that
// knows the engine's type; quorvel-render reaches the engine only through
// this class.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "host/plugin.h"

namespace quorvel::tools {

class EngineProbe {
public:
    static constexpr int kVoices = 8;

    // An engine at `sampleRate`, taking blocks of up to `maxBlock` samples.
    EngineProbe(int sampleRate, int maxBlock);
    ~EngineProbe();
    EngineProbe(const EngineProbe&) = delete;
    EngineProbe& operator=(const EngineProbe&) = delete;

    void setParameter(int index, float value);
    // One block, as the plug-in gets it: MIDI events with offsets inside it.
    void process(const quorvel::host::MidiEvent* events, std::size_t count, int frames);
    // The key each voice sounds, -1 for a free voice.
    std::array<int, kVoices> voiceKeys() const;

    // Whether a loaded plug-in is this engine's instrument.
    static bool isTheInstrument(const quorvel::host::Instrument& instrument);

private:
    struct Instance;
    std::unique_ptr<Instance> instrument;
};

}  // namespace quorvel::tools
