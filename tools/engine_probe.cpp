// The instrument's engine type, driven as its plug-in glue drives it.
// Re-pointing the voice report at another engine means changing this file
// only.
#include "tools/engine_probe.h"

#include <vector>

#include "params/identity.h"
#include "synth/engine.h"

namespace quorvel::tools {

struct EngineProbe::Instance {
    Instance(int sampleRate, int maxBlock)
        : rate(static_cast<float>(sampleRate)),
          left(static_cast<std::size_t>(maxBlock)),
          right(static_cast<std::size_t>(maxBlock)) {}
    quorvel::Engine engine;
    float rate;
    std::vector<float> left, right;
};

EngineProbe::EngineProbe(int sampleRate, int maxBlock) : instrument(std::make_unique<Instance>(sampleRate, maxBlock)) {}

EngineProbe::~EngineProbe() = default;

void EngineProbe::setParameter(int index, float value) { instrument->engine.setParameter(index, value); }

void EngineProbe::process(const quorvel::host::MidiEvent* events, std::size_t count, int frames) {
    Instance& i = *instrument;
    i.engine.receiveMidiList(static_cast<std::int32_t>(count),
                             [events](std::int32_t e, std::int32_t& frame, unsigned char& status, unsigned char& data1,
                                      unsigned char& data2) {
                                 const quorvel::host::MidiEvent& m = events[e];
                                 frame = m.offset;
                                 status = m.bytes[0];
                                 data1 = m.bytes[1];
                                 data2 = m.bytes[2];
                                 return true;
                             });
    i.engine.render(i.rate, i.left.data(), i.right.data(), frames);
}

std::array<int, EngineProbe::kVoices> EngineProbe::voiceKeys() const {
    static_assert(kVoices == kNumVoices, "the probe reports every voice");
    std::array<int, kVoices> keys{};
    for (int k = 0; k < kVoices; ++k) keys[static_cast<std::size_t>(k)] = instrument->engine.voice(k).note;
    return keys;
}

bool EngineProbe::isTheInstrument(const quorvel::host::Instrument& instrument) {
    // The VST 2.4 plug-in by its identity; the report is not made through LV2.
    const auto* plugin = dynamic_cast<const quorvel::host::Plugin*>(&instrument);
    return plugin && plugin->uniqueId() == kUniqueId && plugin->effectName() == kEffectName;
}

}  // namespace quorvel::tools
