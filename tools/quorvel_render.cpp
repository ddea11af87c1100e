// quorvel-render: plays a MIDI file (or the built-in demo phrase) through a
// VST 2.4 or LV2 instrument and writes the audio to a file.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define STDERR_FILENO 2
#else
#include <unistd.h>
#endif

#include "host/plugin.h"
#if QUORVEL_HOST_LV2
#include "host/lv2_plugin.h"
#endif
#include "tools/audio_file.h"
#include "tools/channels.h"
#include "tools/demo_phrase.h"
#include "tools/engine_probe.h"
#include "tools/interrupt.h"
#include "tools/midi_file.h"
#include "tools/render.h"
#include "tools/render_job.h"
#include "tools/voice_report.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kProgram = "quorvel-render";
constexpr int kUsageError = 2;
constexpr int kRunError = 1;
constexpr std::int64_t kMaxSeconds = 24 * 3600;  // longest performance rendered

// A command-line mistake: reported with exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct ParameterSetting {
    std::string text;  // as given, for messages
    std::string name;
    float value;
};

ParameterSetting parseSetting(const std::string& text) {
    const std::size_t equals = text.rfind('=');
    if (equals == std::string::npos || equals == 0) throw UsageError("--set \"" + text + "\": expected Name=value");
    const std::string name = text.substr(0, equals);
    const std::string number = text.substr(equals + 1);
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    if (number.empty() || *end != '\0' || !std::isfinite(value))
        throw UsageError("--set \"" + text + "\": \"" + number + "\" is not a number");
    return {text, name, static_cast<float>(value)};
}

// A number as a user would write it ("0", "1", "0.5", "20000").
std::string shortNumber(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
}

fs::path executablePath(const char* argv0) {
#if defined(_WIN32)
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
    if (length > 0 && length < 32768) return fs::path(std::wstring(buffer, length));
#else
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) return self;
#endif
    return fs::absolute(argv0);
}

// The instrument built with the renderer: beside it, one directory up (the
// build tree), in lib/vst one directory up (cmake --install's layout), else
// where the build put it.
std::string defaultPluginPath(const char* argv0) {
    const fs::path directory = executablePath(argv0).parent_path();
    std::error_code error;
    for (const fs::path& candidate :
         {directory / QUORVEL_PLUGIN_FILE_NAME, directory.parent_path() / QUORVEL_PLUGIN_FILE_NAME,
          directory.parent_path() / "lib" / "vst" / QUORVEL_PLUGIN_FILE_NAME})
        if (fs::is_regular_file(candidate, error)) return candidate.string();
    return QUORVEL_BUILD_PLUGIN_PATH;
}

std::string fourCharacters(std::int32_t id) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const int c = (static_cast<std::uint32_t>(id) >> shift) & 0xFF;
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
    }
    return text;
}

#if QUORVEL_HOST_LV2
void printLv2Info(const quorvel::host::Lv2Plugin& plugin) {
    std::printf("Plug-in:        %s\n", plugin.path().c_str());
    std::printf("Name:           %s\n", plugin.name().c_str());
    std::printf("URI:            %s\n", plugin.uri().c_str());
    std::printf("Class:          %s\n", plugin.className().c_str());
    std::printf("Bundle:         %s\n", plugin.bundle().c_str());
    std::printf("Outputs:        %d\n", plugin.numOutputs());
    std::printf("Parameters:     %d\n", plugin.numParams());
    std::printf("Ports:          %zu\n", plugin.ports().size());
    const auto number = [](float v) { return std::isnan(v) ? std::string("-") : std::to_string(v); };
    for (const quorvel::host::Lv2Plugin::Port& port : plugin.ports()) {
        std::printf("  %3u  %-6s %-7s %-20s %-20s", port.index, port.input ? "input" : "output", port.kind.c_str(),
                    port.symbol.c_str(), port.name.c_str());
        if (port.kind == "control")
            std::printf(" %s..%s, default %s", number(port.minimum).c_str(), number(port.maximum).c_str(),
                        number(port.defaultValue).c_str());
        std::printf("\n");
    }
}
#endif

void printInfo(const quorvel::host::Plugin& plugin) {
    std::printf("Plug-in:        %s\n", plugin.path().c_str());
    std::printf("Effect name:    %s\n", plugin.effectName().c_str());
    std::printf("Vendor:         %s\n", plugin.vendorString().c_str());
    std::printf("Product:        %s\n", plugin.productString().c_str());
    std::printf("Vendor version: %d\n", plugin.vendorVersion());
    std::printf("VST version:    %d\n", plugin.vstVersion());
    std::printf("Record version: %d\n", plugin.recordVersion());
    std::printf("Unique ID:      0x%08X '%s'\n", static_cast<unsigned>(plugin.uniqueId()),
                fourCharacters(plugin.uniqueId()).c_str());
    std::printf("Category:       %s (%d)\n", quorvel::host::categoryName(plugin.category()), plugin.category());
    std::printf("Inputs:         %d\n", plugin.numInputs());
    std::printf("Outputs:        %d\n", plugin.numOutputs());
    std::printf("Programs:       %d (current: \"%s\")\n", plugin.numPrograms(), plugin.programName().c_str());
    std::printf("Parameters:     %d\n", plugin.numParams());
    for (int i = 0; i < plugin.numParams(); ++i) {
        const std::string display = plugin.parameterDisplay(i);
        const std::string label = plugin.parameterLabel(i);
        std::printf("  %3d  %-20s %s%s%s\n", i, plugin.parameterName(i).c_str(), display.c_str(),
                    label.empty() ? "" : " ", label.c_str());
    }
}

// A progress bar on a terminal, nothing otherwise.
class Progress {
public:
    Progress(std::int64_t total, int sampleRate)
        : totalFrames(total), rate(sampleRate), enabled(isatty(STDERR_FILENO) != 0) {}

    void update(std::int64_t done) {
        if (!enabled || totalFrames <= 0) return;
        const int percent = static_cast<int>(done * 100 / totalFrames);
        if (percent == shownPercent) return;
        shownPercent = percent;
        constexpr int kWidth = 30;
        const int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%  %.1f / %.1f s",
                     std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(kWidth - filled), '.').c_str(), percent,
                     static_cast<double>(done) / rate, static_cast<double>(totalFrames) / rate);
        if (done >= totalFrames) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

    void abandon() {
        if (enabled && shownPercent >= 0 && shownPercent < 100) std::fputc('\n', stderr);
    }

private:
    std::int64_t totalFrames;
    int rate;
    bool enabled;
    int shownPercent = -1;
};

struct Options {
    std::string midiFile;
    std::string output;
    std::string plugin;
    int rate = 44100;
    int block = 512;
    std::vector<std::string> settings;
    double tail = 1.0;
    std::string format = "float";
    bool info = false;
    std::string channels;
    bool parts = false;
    std::string stems;
    bool report = false;
};

std::unique_ptr<quorvel::host::Instrument> loadPlugin(const std::string& path, const quorvel::host::HostSettings& host,
                                                      const std::vector<std::pair<int, float>>& settings) {
    auto plugin = quorvel::host::loadInstrument(path, host);
    for (const auto& [index, value] : settings) plugin->setParameter(index, value);
    return plugin;
}

std::string partName(const quorvel::tools::Part& part) {
    return part.channel == 0 ? std::string() : "channel " + std::to_string(part.channel) + ": ";
}

// The report's summary: one line.
std::string summary(const std::vector<quorvel::tools::Part>& parts) {
    std::int64_t notes = 0, played = 0, dropped = 0;
    int most = 0;
    for (const quorvel::tools::Part& part : parts) {
        notes += part.report.notes;
        played += part.report.played;
        dropped += static_cast<std::int64_t>(part.report.dropped.size());
        most = std::max(most, part.report.mostVoices);
    }
    std::string text = std::to_string(notes) + " notes, " + std::to_string(played) + " played, at most " +
                       std::to_string(most) + (most == 1 ? " voice" : " voices") + " at once" +
                       (parts.size() > 1 ? " in one part" : "") + ", " + std::to_string(dropped) +
                       " found no free voice";
    if (parts.size() > 1) text = std::to_string(parts.size()) + " parts, " + text;
    return text;
}

void printReport(const std::vector<quorvel::tools::Part>& parts, int rate) {
    for (const quorvel::tools::Part& part : parts) {
        const quorvel::tools::VoiceReport& r = part.report;
        std::printf("%s%lld notes, %lld played, at most %d %s at once, %zu found no free voice\n",
                    partName(part).c_str(), static_cast<long long>(r.notes), static_cast<long long>(r.played),
                    r.mostVoices, r.mostVoices == 1 ? "voice" : "voices", r.dropped.size());
        for (const quorvel::tools::DroppedNote& d : r.dropped) {
            std::printf("  no free voice: channel %d, key %d (%s), at %s (%s)\n", d.channel, d.key,
                        quorvel::tools::keyName(d.key).c_str(),
                        quorvel::tools::barBeatTick(part.performance, d.tick).c_str(),
                        quorvel::tools::clockTime(d.frame, rate).c_str());
        }
    }
    if (parts.size() > 1) std::printf("all: %s\n", summary(parts).c_str());
}

int run(const Options& options, const char* argv0) {
    std::vector<ParameterSetting> settings;
    for (const std::string& text : options.settings) settings.push_back(parseSetting(text));
    const quorvel::tools::SampleFormat format = quorvel::tools::sampleFormatFromName(options.format);
    quorvel::tools::ChannelSet channels = quorvel::tools::kAllChannels;
    if (!options.channels.empty()) {
        try {
            channels = quorvel::tools::parseChannelList(options.channels);
        } catch (const quorvel::tools::InputError& e) {
            throw UsageError("--channels \"" + options.channels + "\": " + e.what());
        }
    }
    const bool parts = options.parts || !options.stems.empty();
    if (!options.stems.empty() && !options.parts && !options.output.empty())
        throw UsageError("--output names the mix of the parts: give --parts with --stems to write one");

    quorvel::host::HostSettings host;
    host.sampleRate = options.rate;
    host.blockSize = options.block;
    host.product = kProgram;
    const std::string pluginPath = options.plugin.empty() ? defaultPluginPath(argv0) : options.plugin;
    std::unique_ptr<quorvel::host::Instrument> first = quorvel::host::loadInstrument(pluginPath, host);

    if (options.info) {
#if QUORVEL_HOST_LV2
        if (const auto* lv2 = dynamic_cast<const quorvel::host::Lv2Plugin*>(first.get())) {
            printLv2Info(*lv2);
            return 0;
        }
#endif
        printInfo(dynamic_cast<const quorvel::host::Plugin&>(*first));
        return 0;
    }

    std::vector<std::pair<int, float>> indexed;
    for (const ParameterSetting& setting : settings) {
        const std::optional<int> index = first->findParameter(setting.name);
        if (!index) {
            std::string names;
            for (int i = 0; i < first->numParams(); ++i) names += (i ? ", " : "") + first->parameterName(i);
            throw UsageError("--set \"" + setting.text + "\": the plug-in has no parameter \"" + setting.name + "\"" +
                             (names.empty() ? std::string(" (it has none)") : " (it has: " + names + ")"));
        }
        const auto [lowest, highest] = first->parameterRange(*index);
        if (!(setting.value >= lowest && setting.value <= highest))
            throw UsageError("--set \"" + setting.text + "\": the value must lie between " + shortNumber(lowest) +
                             " and " + shortNumber(highest));
        indexed.emplace_back(*index, setting.value);
        first->setParameter(*index, setting.value);
    }
    if (first->numOutputs() < 1) throw quorvel::tools::InputError(pluginPath + ": the plug-in has no audio outputs");

    const std::string source = options.midiFile.empty() ? std::string("the demo") : options.midiFile;
    const quorvel::tools::Performance performance = quorvel::tools::onlyChannels(
        options.midiFile.empty() ? quorvel::tools::demoPerformance(options.rate)
                                 : quorvel::tools::loadMidiFile(options.midiFile, options.rate),
        channels);
    const std::string stem = options.midiFile.empty() ? "quorvel-demo" : fs::path(options.midiFile).stem().string();

    const std::int64_t tailFrames = static_cast<std::int64_t>(std::llround(options.tail * options.rate));
    if (performance.endFrame > kMaxSeconds * options.rate)
        throw quorvel::tools::InputError(source + " lasts " +
                                         std::to_string(performance.endFrame / options.rate / 3600) +
                                         " hours; the renderer stops at 24");

    quorvel::tools::RenderJob job;
    job.totalFrames = performance.endFrame + tailFrames;
    job.format = format;
    job.sampleRate = options.rate;
    job.stemStem = stem;
    job.freshPlugin = [&] { return loadPlugin(pluginPath, host, indexed); };
    if (parts) {
        const std::vector<int> voiced = quorvel::tools::channelsWithNotes(performance, channels);
        if (voiced.empty()) throw quorvel::tools::InputError(source + " has no notes on the chosen channels");
        for (int channel : voiced) {
            quorvel::tools::Part part;
            part.channel = channel;
            part.performance =
                quorvel::tools::onlyChannels(performance, static_cast<quorvel::tools::ChannelSet>(1u << (channel - 1)));
            part.plugin = first ? std::move(first) : loadPlugin(pluginPath, host, indexed);
            job.parts.push_back(std::move(part));
        }
        if (!options.stems.empty()) {
            std::error_code error;
            fs::create_directories(options.stems, error);
            if (!fs::is_directory(options.stems, error))
                throw quorvel::tools::InputError("cannot write stems into " + options.stems + ": it is not a folder");
            job.stemsDir = options.stems;
        }
    } else {
        quorvel::tools::Part part;
        part.performance = performance;
        part.plugin = std::move(first);
        job.parts.push_back(std::move(part));
    }
    if (!parts || options.parts)
        job.mixPath = options.output.empty() ? stem + quorvel::tools::fileExtension(format) : options.output;

    // What the instrument's voices could not play, from its own engine.
    const bool instrument = quorvel::tools::EngineProbe::isTheInstrument(*job.parts.front().plugin);
    if (instrument) {
        for (quorvel::tools::Part& part : job.parts) {
            const auto changes = quorvel::tools::indexedChanges(*part.plugin, part.performance);
            part.report = quorvel::tools::reportVoices(part.performance, indexed, changes, options.rate, options.block,
                                                       job.totalFrames);
        }
    } else if (options.report) {
        throw UsageError("--report needs the quorvel instrument: " + pluginPath + " is another plug-in");
    }

    Progress progress(job.totalFrames, options.rate);
    std::vector<std::string> written;
    try {
        written = quorvel::tools::renderJob(job, [&](std::int64_t done) { progress.update(done); });
    } catch (...) {
        progress.abandon();
        throw;
    }
    if (options.report)
        printReport(job.parts, options.rate);
    else if (instrument)
        std::fprintf(stderr, "%s: %s\n", kProgram, summary(job.parts).c_str());
    for (const std::string& path : written) std::printf("%s\n", path.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app{
        "Renders a Standard MIDI file through a VST 2.4 or LV2 instrument into an audio file.\n"
        "Without a MIDI file it plays a built-in demo phrase.",
        kProgram};
    // Paths start with '/' on Unix-like systems and under wine; never read them as options.
    app.allow_windows_style_options(false);
    app.add_option("MIDI_FILE", options.midiFile, "Standard MIDI file (format 0 or 1)");
    app.add_option("-o,--output", options.output,
                   "Audio file to write (default: <midi basename>.wav, or quorvel-demo.wav without a MIDI file)");
    app.add_option("-p,--plugin", options.plugin,
                   "Plug-in to load: a VST 2.4 library, an LV2 bundle folder or an LV2 plug-in's URI "
                   "(default: the quorvel VST 2.4 plug-in built beside this program)");
    app.add_option("-r,--rate", options.rate, "Sample rate in Hz")
        ->check(CLI::Range(1000, 768000))
        ->capture_default_str();
    app.add_option("-b,--block", options.block, "Block size in samples")
        ->check(CLI::Range(1, 8192))
        ->capture_default_str();
    app.add_option("-s,--set", options.settings,
                   "Set a parameter by name before rendering, \"Name=value\" with a "
                   "value from 0 to 1 (an LV2 port's own range); repeatable")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("-t,--tail", options.tail, "Seconds of audio after the last event")
        ->check(CLI::Range(0.0, 3600.0))
        ->capture_default_str();
    app.add_option("-f,--format", options.format, "Output format")
        ->check(CLI::IsMember({"float", "pcm16", "pcm24", "flac"}))
        ->capture_default_str();
    app.add_flag("--info", options.info, "Show what a host's plug-in scanner shows about the plug-in, then exit");
    app.add_option("--channels", options.channels,
                   "Play only these MIDI channels, e.g. 1-4,6 (channel 10 holds drums in General MIDI files)");
    app.add_flag("--parts", options.parts,
                 "Play each channel that has notes on its own instance of the plug-in and mix them");
    app.add_option("--stems", options.stems,
                   "Also write each part to its own file in this folder, named after its channel");
    app.add_flag("--report", options.report, "List the notes the instrument's voices could not play (quorvel only)");
    app.set_version_flag("--version", std::string(kProgram) + " " + QUORVEL_VERSION);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help
        std::fprintf(stderr, "%s: %s (see --help)\n", kProgram, e.what());
        return kUsageError;
    }

    quorvel::tools::catchInterrupts();
    try {
        return run(options, argv[0]);
    } catch (const quorvel::tools::Interrupted& e) {
        std::fprintf(stderr, "%s: interrupted by signal %d; no file was written\n", kProgram, e.signal);
        return 128 + e.signal;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
        return kUsageError;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
        return kRunError;
    }
}
