#include "tools/render.h"

#include <algorithm>

namespace qrender {

std::vector<IndexedChange> indexedChanges(const vsthost::Plugin& plugin, const Performance& performance) {
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

PerformancePlayer::PerformancePlayer(vsthost::Plugin& plugin, const Performance& performance, std::int64_t totalFrames)
    : plugin_(plugin),
      midi_(performance.midi),
      changes_(indexedChanges(plugin, performance)),
      totalFrames_(totalFrames) {
    const int blockSize = plugin.settings().blockSize;
    buffers_.assign(static_cast<std::size_t>(plugin.numOutputs()),
                    std::vector<float>(static_cast<std::size_t>(blockSize)));
    for (auto& buffer : buffers_) outputs_.push_back(buffer.data());
    if (outputs_.empty()) outputs_.push_back(nullptr);
}

PerformancePlayer::~PerformancePlayer() {
    if (on_) plugin_.switchOff();
}

int PerformancePlayer::next() {
    if (position_ >= totalFrames_) return 0;
    if (!on_) {
        plugin_.switchOn();
        on_ = true;
    }
    while (nextChange_ < changes_.size() && changes_[nextChange_].frame <= position_) {
        plugin_.setParameter(changes_[nextChange_].index, changes_[nextChange_].value);
        ++nextChange_;
    }
    const std::int64_t end = blockEnd(position_, plugin_.settings().blockSize, totalFrames_, changes_, nextChange_);

    // Events before the first sample (there should be none) play at once.
    events_.clear();
    while (nextMidi_ < midi_.size() && midi_[nextMidi_].frame < end) {
        vsthost::MidiEvent e;
        e.offset = static_cast<std::int32_t>(std::max<std::int64_t>(midi_[nextMidi_].frame - position_, 0));
        std::copy(midi_[nextMidi_].bytes, midi_[nextMidi_].bytes + 3, e.bytes);
        events_.push_back(e);
        ++nextMidi_;
    }
    const int frames = static_cast<int>(end - position_);
    plugin_.process(events_.data(), events_.size(), outputs_.data(), frames);
    position_ = end;
    return frames;
}

}  // namespace qrender
