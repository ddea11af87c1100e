// One run of the renderer: the performance as one part, or one part per
// channel mixed and/or written to files of their own, with the report of
// what the instrument's voices could not play.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/instrument.h"
#include "tools/audio_file.h"
#include "tools/performance.h"
#include "tools/voice_report.h"

namespace quorvel::tools {

struct Part {
    int channel = 0;  // 1..16; 0 for the whole performance as one part
    Performance performance;
    std::unique_ptr<quorvel::host::Instrument> plugin;
    VoiceReport report;
};

struct RenderJob {
    std::vector<Part> parts;
    std::int64_t totalFrames = 0;
    SampleFormat format = SampleFormat::Float;
    std::string mixPath;   // empty: no mix (stems only)
    std::string stemsDir;  // empty: no stems
    std::string stemStem;  // stems are <stemsDir>/<stemStem>-channel-NN<extension>
    int sampleRate = 44100;
    // A fresh instance of the plug-in with the run's settings, for a pass
    // that must not disturb the parts' own instances.
    std::function<std::unique_ptr<quorvel::host::Instrument>()> freshPlugin;
};

// The file a part is written to in the stems folder.
std::string stemPath(const RenderJob& job, const Part& part);

// Renders every part in step, block by block, into the files; returns their
// paths (stems first, the mix last). The mix of several parts is their sum:
// exact in float files; in the PCM formats and FLAC, a sum that goes beyond
// full scale is divided by its peak (found by a first pass), so that it
// reaches full scale and never clips. Stops with Interrupted at a signal;
// the files stay untouched unless every one is complete.
std::vector<std::string> renderJob(RenderJob& job, const std::function<void(std::int64_t)>& progress);

}  // namespace quorvel::tools
