// The report runs the engine in blocks that end where notes start, so that
// the voices can be read just before every sample at which a key is struck.
// Within that sample the engine applies the sample's note events in order,
// before any voice is stepped: a note-on takes the first free voice, or is
// dropped when all are busy (nothing is stolen); a note-off frees every voice
// with its key; all-notes-off frees them all. The report follows those events
// from the voices read, then lets the engine render the sample and requires
// every voice it then holds to be one the report expects (a voice may also
// have been freed within the sample by its note-cut timer).
#include "tools/voice_report.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "tools/channels.h"
#include "tools/engine_probe.h"
#include "tools/interrupt.h"

namespace quorvel::tools {

namespace {

bool isNoteOn(const TimedMidi& m) { return (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] != 0; }
bool isNoteOff(const TimedMidi& m) {
    return (m.bytes[0] & 0xF0) == 0x80 || ((m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] == 0);
}
bool isAllNotesOff(const TimedMidi& m) { return (m.bytes[0] & 0xF0) == 0xB0 && m.bytes[1] >= 123; }

class VoiceFollower {
public:
    VoiceFollower(const Performance& performance, const std::vector<std::pair<int, float>>& settings,
                  const std::vector<IndexedChange>& changes, int sampleRate, int blockSize, std::int64_t totalFrames)
        : messages(performance.midi),
          parameterChanges(changes),
          largestBlock(blockSize),
          length(totalFrames),
          probe(sampleRate, blockSize) {
        for (const auto& [index, value] : settings) probe.setParameter(index, value);
    }

    VoiceReport run() {
        std::size_t nextStrike = nextNoteOn(0);
        // After the last note-on voices are only freed: the report is complete.
        while (played < length && nextStrike < messages.size()) {
            stopIfInterrupted();
            while (nextParameterChange < parameterChanges.size() &&
                   parameterChanges[nextParameterChange].frame <= played) {
                probe.setParameter(parameterChanges[nextParameterChange].index,
                                   parameterChanges[nextParameterChange].value);
                ++nextParameterChange;
            }
            std::int64_t end = blockEnd(played, largestBlock, length, parameterChanges, nextParameterChange);
            const bool strike =
                nextStrike < messages.size() && std::max<std::int64_t>(messages[nextStrike].frame, 0) <= played;
            if (strike) {
                end = played + 1;
                follow(end);
            } else if (nextStrike < messages.size()) {
                end = std::min(end, messages[nextStrike].frame);
            }
            play(end);
            if (strike) check();
            nextStrike = nextNoteOn(nextMessage);
        }
        return outcome;
    }

private:
    std::size_t nextNoteOn(std::size_t from) const {
        while (from < messages.size() && !isNoteOn(messages[from])) ++from;
        return from;
    }

    // Follows the note events before `end` (those of one sample) from the
    // voices as the engine holds them now.
    void follow(std::int64_t end) {
        expectedKeys = probe.voiceKeys();
        for (std::size_t i = nextMessage; i < messages.size() && messages[i].frame < end; ++i) {
            const TimedMidi& m = messages[i];
            if (isNoteOn(m)) {
                ++outcome.notes;
                auto free = std::find(expectedKeys.begin(), expectedKeys.end(), -1);
                if (free == expectedKeys.end()) {
                    outcome.dropped.push_back({channelOf(m), m.bytes[1], m.tick, m.frame});
                } else {
                    *free = m.bytes[1];
                    ++outcome.played;
                    outcome.mostVoices = std::max(outcome.mostVoices, busy(expectedKeys));
                }
            } else if (isNoteOff(m)) {
                std::replace(expectedKeys.begin(), expectedKeys.end(), int{m.bytes[1]}, -1);
            } else if (isAllNotesOff(m)) {
                expectedKeys.fill(-1);
            }
        }
    }

    void check() const {
        const auto held = probe.voiceKeys();
        for (std::size_t k = 0; k < held.size(); ++k) {
            if (held[k] != -1 && held[k] != expectedKeys[k]) {
                throw std::logic_error("the voice report lost track of the engine's voices at sample " +
                                       std::to_string(played - 1));
            }
        }
    }

    static int busy(const std::array<int, EngineProbe::kVoices>& keys) {
        return static_cast<int>(std::count_if(keys.begin(), keys.end(), [](int k) { return k != -1; }));
    }

    void play(std::int64_t end) {
        nextMessage = quorvel::tools::blockEvents(messages, nextMessage, played, end, blockEvents);
        probe.process(blockEvents.data(), blockEvents.size(), static_cast<int>(end - played));
        played = end;
    }

    const std::vector<TimedMidi>& messages;
    const std::vector<IndexedChange>& parameterChanges;
    int largestBlock;
    std::int64_t length;
    EngineProbe probe;
    std::int64_t played = 0;
    std::size_t nextMessage = 0;
    std::size_t nextParameterChange = 0;
    std::vector<quorvel::host::MidiEvent> blockEvents;
    std::array<int, EngineProbe::kVoices> expectedKeys{};
    VoiceReport outcome;
};

}  // namespace

VoiceReport reportVoices(const Performance& performance, const std::vector<std::pair<int, float>>& settings,
                         const std::vector<IndexedChange>& changes, int sampleRate, int blockSize,
                         std::int64_t totalFrames) {
    return VoiceFollower(performance, settings, changes, sampleRate, blockSize, totalFrames).run();
}

std::string barBeatTick(const Performance& performance, std::int64_t tick) {
    const std::int64_t quarter = std::max(1, performance.ticksPerQuarter);
    Meter meter;  // 4/4 from the start until the file says otherwise
    std::int64_t bar = 1;
    for (const Meter& next : performance.meters) {
        if (next.tick > tick) break;
        // Whole bars of the meter in force up to the change (a change inside
        // a bar starts a new one).
        const std::int64_t beat = std::max<std::int64_t>(1, quarter * 4 / meter.denominator);
        const std::int64_t barLength = beat * meter.numerator;
        bar += (next.tick - meter.tick + barLength - 1) / barLength;
        meter = next;
    }
    const std::int64_t beat = std::max<std::int64_t>(1, quarter * 4 / meter.denominator);
    const std::int64_t barLength = beat * meter.numerator;
    const std::int64_t into = tick - meter.tick;
    bar += into / barLength;
    const std::int64_t inBar = into % barLength;
    return std::to_string(bar) + ":" + std::to_string(inBar / beat + 1) + ":" + std::to_string(inBar % beat);
}

std::string clockTime(std::int64_t frame, int sampleRate) {
    const std::int64_t ms = (frame * 1000 + sampleRate / 2) / sampleRate;
    char text[48];
    if (ms >= 3600000) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", static_cast<long long>(ms / 3600000),
                      static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                      static_cast<long long>(ms % 1000));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", static_cast<long long>(ms / 60000),
                      static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    }
    return text;
}

std::string keyName(int key) {
    static const char* const names[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    return names[key % 12] + std::to_string(key / 12 - 1);
}

}  // namespace quorvel::tools
