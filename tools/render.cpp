#include "tools/render.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace quorvel::tools {

namespace {

struct IndexedChange {
    std::int64_t frame;
    int index;
    float value;
};

}  // namespace

void renderPerformance(quorvel::host::Instrument& plugin, const Performance& performance, std::int64_t totalFrames,
                       const BlockSink& sink, const ProgressSink& progress) {
    std::vector<IndexedChange> changes;
    for (const TimedParameter& p : performance.parameters) {
        const std::optional<int> index = plugin.findParameter(p.name);
        if (index) changes.push_back({p.frame, *index, p.value});
    }
    std::stable_sort(changes.begin(), changes.end(),
                     [](const IndexedChange& a, const IndexedChange& b) { return a.frame < b.frame; });

    const int blockSize = plugin.settings().blockSize;
    const int channels = plugin.numOutputs();
    std::vector<std::vector<float>> buffers(static_cast<std::size_t>(channels),
                                            std::vector<float>(static_cast<std::size_t>(blockSize)));
    std::vector<float*> outputs;
    for (auto& buffer : buffers) outputs.push_back(buffer.data());
    if (outputs.empty()) outputs.push_back(nullptr);

    const std::vector<TimedMidi>& midi = performance.midi;
    std::vector<quorvel::host::MidiEvent> events;
    std::size_t nextMidi = 0;
    std::size_t nextChange = 0;
    // Events before the first sample (there should be none) play at once.
    plugin.switchOn();
    for (std::int64_t position = 0; position < totalFrames;) {
        while (nextChange < changes.size() && changes[nextChange].frame <= position) {
            plugin.setParameter(changes[nextChange].index, changes[nextChange].value);
            ++nextChange;
        }
        std::int64_t end = std::min<std::int64_t>(position + blockSize, totalFrames);
        if (nextChange < changes.size()) end = std::min(end, changes[nextChange].frame);

        events.clear();
        while (nextMidi < midi.size() && midi[nextMidi].frame < end) {
            quorvel::host::MidiEvent e;
            e.offset = static_cast<std::int32_t>(std::max<std::int64_t>(midi[nextMidi].frame - position, 0));
            std::copy(midi[nextMidi].bytes, midi[nextMidi].bytes + 3, e.bytes);
            events.push_back(e);
            ++nextMidi;
        }
        const int frames = static_cast<int>(end - position);
        plugin.process(events.data(), events.size(), outputs.data(), frames);
        sink(outputs.data(), frames);
        position = end;
        if (progress) progress(position);
    }
    plugin.switchOff();
}

}  // namespace quorvel::tools
