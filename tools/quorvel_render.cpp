// quorvel-render: plays a MIDI file (or the built-in demo phrase) through a
// VST 2.4 or LV2 instrument and writes the audio to a file.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
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
#include "tools/demo_phrase.h"
#include "tools/midi_file.h"
#include "tools/render.h"

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
// build tree and an installed layout), else where the build put it.
std::string defaultPluginPath(const char* argv0) {
    const fs::path directory = executablePath(argv0).parent_path();
    std::error_code error;
    for (const fs::path& candidate :
         {directory / QUORVEL_PLUGIN_FILE_NAME, directory.parent_path() / QUORVEL_PLUGIN_FILE_NAME})
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
        if (percent == shown) return;
        shown = percent;
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
        if (enabled && shown >= 0 && shown < 100) std::fputc('\n', stderr);
    }

private:
    std::int64_t totalFrames;
    int rate;
    bool enabled;
    int shown = -1;
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
};

int run(const Options& options, const char* argv0) {
    std::vector<ParameterSetting> settings;
    for (const std::string& text : options.settings) settings.push_back(parseSetting(text));
    const quorvel::tools::SampleFormat format = quorvel::tools::sampleFormatFromName(options.format);

    quorvel::host::HostSettings host;
    host.sampleRate = options.rate;
    host.blockSize = options.block;
    host.product = kProgram;
    const std::string pluginPath = options.plugin.empty() ? defaultPluginPath(argv0) : options.plugin;
    const std::unique_ptr<quorvel::host::Instrument> loaded = quorvel::host::loadInstrument(pluginPath, host);
    quorvel::host::Instrument& plugin = *loaded;

    if (options.info) {
#if QUORVEL_HOST_LV2
        if (const auto* lv2 = dynamic_cast<const quorvel::host::Lv2Plugin*>(&plugin)) {
            printLv2Info(*lv2);
            return 0;
        }
#endif
        printInfo(dynamic_cast<const quorvel::host::Plugin&>(plugin));
        return 0;
    }

    for (const ParameterSetting& setting : settings) {
        const std::optional<int> index = plugin.findParameter(setting.name);
        if (!index) {
            std::string names;
            for (int i = 0; i < plugin.numParams(); ++i) names += (i ? ", " : "") + plugin.parameterName(i);
            throw UsageError("--set \"" + setting.text + "\": the plug-in has no parameter \"" + setting.name + "\"" +
                             (names.empty() ? std::string(" (it has none)") : " (it has: " + names + ")"));
        }
        const auto [lowest, highest] = plugin.parameterRange(*index);
        if (!(setting.value >= lowest && setting.value <= highest))
            throw UsageError("--set \"" + setting.text + "\": the value must lie between " + shortNumber(lowest) +
                             " and " + shortNumber(highest));
        plugin.setParameter(*index, setting.value);
    }
    if (plugin.numOutputs() < 1) throw quorvel::tools::InputError(pluginPath + ": the plug-in has no audio outputs");

    const quorvel::tools::Performance performance = options.midiFile.empty()
                                                        ? quorvel::tools::demoPerformance(options.rate)
                                                        : quorvel::tools::loadMidiFile(options.midiFile, options.rate);
    std::string output = options.output;
    if (output.empty()) {
        const std::string stem = options.midiFile.empty() ? "quorvel-demo" : fs::path(options.midiFile).stem().string();
        output = stem + quorvel::tools::fileExtension(format);
    }

    const std::int64_t tailFrames = static_cast<std::int64_t>(std::llround(options.tail * options.rate));
    const std::int64_t totalFrames = performance.endFrame + tailFrames;
    if (performance.endFrame > kMaxSeconds * options.rate)
        throw quorvel::tools::InputError((options.midiFile.empty() ? std::string("the demo") : options.midiFile) +
                                         " lasts " + std::to_string(performance.endFrame / options.rate / 3600) +
                                         " hours; the renderer stops at 24");
    quorvel::tools::AudioFileWriter writer(output, format, plugin.numOutputs(), options.rate);
    Progress progress(totalFrames, options.rate);
    try {
        quorvel::tools::renderPerformance(
            plugin, performance, totalFrames,
            [&](const float* const* channels, int frames) { writer.write(channels, frames); },
            [&](std::int64_t done) { progress.update(done); });
    } catch (...) {
        progress.abandon();
        throw;
    }
    writer.commit();
    std::printf("%s\n", output.c_str());
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

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help
        std::fprintf(stderr, "%s: %s (see --help)\n", kProgram, e.what());
        return kUsageError;
    }

    try {
        return run(options, argv[0]);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
        return kUsageError;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
        return kRunError;
    }
}
