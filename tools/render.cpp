#include "tools/render.h"

#include <algorithm>

namespace quorvel::tools {

std::vector<IndexedChange> indexedChanges(const quorvel::host::Instrument& plugin, const Performance& performance) {
    std::vector<IndexedChange> changes;
    for (const TimedParameter& p : performance.parameters) {
        const std::optional<int> index = plugin.findParameter(p.name);
        if (index) changes.push_back({p.frame, *index, p.value});
    }
    std::stable_sort(changes.begin(), changes.end(),
                     [](const IndexedChange& a, const IndexedChange& b) { return a.frame < b.frame; });
    return changes;
}

std::int64_t blockEnd(std::int64_t position, int blockSize, std::int64_t totalFrames,
                      const std::vector<IndexedChange>& changes, std::size_t nextChange) {
    std::int64_t end = std::min<std::int64_t>(position + blockSize, totalFrames);
    if (nextChange < changes.size()) end = std::min(end, std::max(changes[nextChange].frame, position + 1));
    return end;
}

std::size_t blockEvents(const std::vector<TimedMidi>& messages, std::size_t next, std::int64_t position,
                        std::int64_t end, std::vector<quorvel::host::MidiEvent>& events) {
    events.clear();
    for (; next < messages.size() && messages[next].frame < end; ++next) {
        quorvel::host::MidiEvent e;
        e.offset = static_cast<std::int32_t>(std::max<std::int64_t>(messages[next].frame - position, 0));
        std::copy(messages[next].bytes, messages[next].bytes + 3, e.bytes);
        events.push_back(e);
    }
    return next;
}

PerformancePlayer::PerformancePlayer(quorvel::host::Instrument& plugin, const Performance& performance,
                                     std::int64_t totalFrames)
    : instrument(plugin),
      messages(performance.midi),
      parameterChanges(indexedChanges(plugin, performance)),
      length(totalFrames) {
    const int blockSize = plugin.settings().blockSize;
    channelBuffers.assign(static_cast<std::size_t>(plugin.numOutputs()),
                          std::vector<float>(static_cast<std::size_t>(blockSize)));
    for (auto& buffer : channelBuffers) channelPointers.push_back(buffer.data());
    if (channelPointers.empty()) channelPointers.push_back(nullptr);
}

PerformancePlayer::~PerformancePlayer() {
    if (switchedOn) instrument.switchOff();
}

int PerformancePlayer::next() {
    if (played >= length) return 0;
    if (!switchedOn) {
        instrument.switchOn();
        switchedOn = true;
    }
    while (nextParameterChange < parameterChanges.size() && parameterChanges[nextParameterChange].frame <= played) {
        instrument.setParameter(parameterChanges[nextParameterChange].index,
                                parameterChanges[nextParameterChange].value);
        ++nextParameterChange;
    }
    const std::int64_t end =
        blockEnd(played, instrument.settings().blockSize, length, parameterChanges, nextParameterChange);

    nextMessage = quorvel::tools::blockEvents(messages, nextMessage, played, end, blockEvents);
    const int frames = static_cast<int>(end - played);
    instrument.process(blockEvents.data(), blockEvents.size(), channelPointers.data(), frames);
    played = end;
    return frames;
}

}  // namespace quorvel::tools
