// What the instrument's eight voices could not play: its engine is run on the
// same timed MIDI events and parameter values the plug-in gets, and the
// notes that found every voice busy are listed.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/performance.h"
#include "tools/render.h"

namespace quorvel::tools {

struct DroppedNote {
    int channel;  // 1..16
    int key;
    std::int64_t tick;
    std::int64_t frame;
};

struct VoiceReport {
    std::int64_t notes = 0;   // note-ons
    std::int64_t played = 0;  // note-ons that found a free voice
    int mostVoices = 0;       // the most voices sounding at once
    std::vector<DroppedNote> dropped;
};

// `settings`: parameter values (index, value) set before the first sample;
// `changes`: those the performance makes while it plays.
VoiceReport reportVoices(const Performance& performance, const std::vector<std::pair<int, float>>& settings,
                         const std::vector<IndexedChange>& changes, int sampleRate, int blockSize,
                         std::int64_t totalFrames);

// "bar:beat:tick" (bar and beat from 1) through the performance's meters.
std::string barBeatTick(const Performance& performance, std::int64_t tick);
// "m:ss.mmm" (or "h:mm:ss.mmm" from an hour on).
std::string clockTime(std::int64_t frame, int sampleRate);
// "C4" for key 60.
std::string keyName(int key);

}  // namespace quorvel::tools
