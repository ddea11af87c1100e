#include "tools/render_job.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/interrupt.h"
#include "tools/render.h"

namespace quorvel::tools {

namespace {

// Plays all parts in step: every part's player cuts the same blocks, since
// they share the length and the parameter changes.
class Ensemble {
public:
    Ensemble(RenderJob& job, const std::vector<quorvel::host::Instrument*>& plugins) {
        for (std::size_t p = 0; p < job.parts.size(); ++p)
            players.push_back(
                std::make_unique<PerformancePlayer>(*plugins[p], job.parts[p].performance, job.totalFrames));
        channelCount = plugins.front()->numOutputs();
    }

    // The next block of every part; 0 at the end.
    int next() {
        stopIfInterrupted();
        int frames = 0;
        for (auto& player : players) frames = player->next();
        return frames;
    }
    const float* const* outputs(std::size_t part) const { return players[part]->outputs(); }
    std::size_t size() const { return players.size(); }
    int channels() const { return channelCount; }

    // The parts' sum for one sample of one channel, rounded once.
    float sum(int channel, int frame) const {
        double total = 0.0;
        for (const auto& player : players) total += player->outputs()[channel][frame];
        return static_cast<float>(total);
    }

private:
    std::vector<std::unique_ptr<PerformancePlayer>> players;
    int channelCount = 0;
};

// The largest magnitude of the mix, played on fresh instances: the parts'
// own ones must start the real pass as new.
float mixPeak(RenderJob& job) {
    std::vector<std::unique_ptr<quorvel::host::Instrument>> fresh;
    std::vector<quorvel::host::Instrument*> plugins;
    for (std::size_t p = 0; p < job.parts.size(); ++p) {
        fresh.push_back(job.freshPlugin());
        plugins.push_back(fresh.back().get());
    }
    Ensemble ensemble(job, plugins);
    float peak = 0.0f;
    for (int frames; (frames = ensemble.next()) > 0;)
        for (int c = 0; c < ensemble.channels(); ++c)
            for (int f = 0; f < frames; ++f) peak = std::max(peak, std::abs(ensemble.sum(c, f)));
    return peak;
}

}  // namespace

std::string stemPath(const RenderJob& job, const Part& part) {
    char name[32];
    std::snprintf(name, sizeof name, "-channel-%02d", part.channel);
    return job.stemsDir + "/" + job.stemStem + name + fileExtension(job.format);
}

std::vector<std::string> renderJob(RenderJob& job, const std::function<void(std::int64_t)>& progress) {
    const bool several = job.parts.size() > 1;
    // The level of a mix that goes beyond full scale where the format clips.
    float divisor = 1.0f;
    if (several && !job.mixPath.empty() && job.format != SampleFormat::Float) divisor = std::max(1.0f, mixPeak(job));

    const int channels = job.parts.front().plugin->numOutputs();
    std::vector<std::string> paths;
    std::vector<std::unique_ptr<AudioFileWriter>> stems;
    if (!job.stemsDir.empty()) {
        for (const Part& part : job.parts) {
            paths.push_back(stemPath(job, part));
            stems.push_back(
                std::make_unique<AudioFileWriter>(paths.back(), job.format, channels, job.sampleRate, job.totalFrames));
        }
    }
    std::unique_ptr<AudioFileWriter> mix;
    if (!job.mixPath.empty()) {
        paths.push_back(job.mixPath);
        mix = std::make_unique<AudioFileWriter>(job.mixPath, job.format, channels, job.sampleRate, job.totalFrames);
    }

    std::vector<quorvel::host::Instrument*> plugins;
    for (Part& part : job.parts) plugins.push_back(part.plugin.get());
    Ensemble ensemble(job, plugins);
    std::vector<std::vector<float>> mixed(static_cast<std::size_t>(channels));
    std::vector<float*> mixedOutputs(static_cast<std::size_t>(channels));
    std::int64_t done = 0;
    for (int frames; (frames = ensemble.next()) > 0;) {
        for (std::size_t p = 0; p < stems.size(); ++p) stems[p]->write(ensemble.outputs(p), frames);
        if (mix && !several) {
            mix->write(ensemble.outputs(0), frames);
        } else if (mix) {
            for (int c = 0; c < channels; ++c) {
                std::vector<float>& out = mixed[static_cast<std::size_t>(c)];
                out.resize(static_cast<std::size_t>(frames));
                for (int f = 0; f < frames; ++f) {
                    const float sum = ensemble.sum(c, f);
                    out[static_cast<std::size_t>(f)] =
                        divisor == 1.0f ? sum : static_cast<float>(static_cast<double>(sum) / divisor);
                }
                mixedOutputs[static_cast<std::size_t>(c)] = out.data();
            }
            mix->write(mixedOutputs.data(), frames);
        }
        done += frames;
        if (progress) progress(done);
    }
    stopIfInterrupted();
    for (auto& stem : stems) stem->commit();
    if (mix) mix->commit();
    return paths;
}

}  // namespace quorvel::tools
