// The instrument's engine through its class in the static library the
// plug-in is built from. Re-pointing the voice report at another engine
// type means changing this file only.
#include "tools/engine_probe.h"

#include <cstring>
#include <new>
#include <vector>

#include "params/identity.h"
#include "plugin/vst_events.h"
#include "synth/quorvel.h"

namespace qrender {

namespace {

// A host that answers only the version query: the engine asks nothing else
// that it needs an answer to.
std::intptr_t QV_CALL quietHost(AEffect*, std::int32_t opcode, std::int32_t, std::intptr_t, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

}  // namespace

struct EngineProbe::Engine {
    explicit Engine(int maxBlock)
        : synth(quietHost), left(static_cast<std::size_t>(maxBlock)), right(static_cast<std::size_t>(maxBlock)) {}
    Quorvel synth;
    std::vector<float> left, right;
    std::vector<VstMidiEvent> midi;
    std::vector<unsigned char> list;  // a VstEvents header and its pointers
};

EngineProbe::EngineProbe(int sampleRate, int maxBlock) : engine_(std::make_unique<Engine>(maxBlock)) {
    engine_->synth.setSampleRate(static_cast<float>(sampleRate));
    engine_->synth.setBlockSize(maxBlock);
    engine_->synth.resume();
}

EngineProbe::~EngineProbe() = default;

void EngineProbe::setParameter(int index, float value) { engine_->synth.setParameter(index, value); }

void EngineProbe::process(const vsthost::MidiEvent* events, std::size_t count, int frames) {
    Engine& e = *engine_;
    if (count > 0) {
        e.midi.assign(count, VstMidiEvent{});
        for (std::size_t i = 0; i < count; ++i) {
            e.midi[i].type = kVstMidiType;
            e.midi[i].byteSize = sizeof(VstMidiEvent);
            e.midi[i].deltaFrames = events[i].offset;
            for (int b = 0; b < 3; ++b) e.midi[i].midiData[b] = static_cast<char>(events[i].bytes[b]);
        }
        const std::size_t slots = offsetof(VstEvents, events);
        e.list.assign(slots + count * sizeof(VstEvent*), 0);
        auto* header = reinterpret_cast<VstEvents*>(e.list.data());
        header->numEvents = static_cast<std::int32_t>(count);
        for (std::size_t i = 0; i < count; ++i) {
            VstEvent* pointer = reinterpret_cast<VstEvent*>(&e.midi[i]);
            std::memcpy(e.list.data() + slots + i * sizeof(VstEvent*), &pointer, sizeof pointer);
        }
        e.synth.processEvents(header);
    }
    float* outputs[2] = {e.left.data(), e.right.data()};
    e.synth.processReplacing(nullptr, outputs, frames);
}

std::array<int, EngineProbe::kVoices> EngineProbe::voiceKeys() const {
    static_assert(kVoices == kNumVoices, "the probe reports every voice");
    std::array<int, kVoices> keys{};
    for (int k = 0; k < kVoices; ++k) keys[static_cast<std::size_t>(k)] = engine_->synth.voice(k).note;
    return keys;
}

bool EngineProbe::isTheInstrument(const vsthost::Plugin& plugin) {
    return plugin.uniqueId() == kUniqueId && plugin.effectName() == kEffectName;
}

}  // namespace qrender
