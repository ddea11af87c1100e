// The host kit with an instrument nobody here wrote: amsynth, from Debian.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "host/plugin.h"
#include "host/shared_library.h"

using namespace quorvel;

#if defined(__SANITIZE_ADDRESS__)
// amsynth allocates objects it never frees (one per parameter). Its library
// stays mapped to the end (see below), so the reports name it and only they
// are suppressed.
extern "C" const char* __lsan_default_suppressions() { return "leak:amsynth_vst.so\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

namespace {

constexpr const char* kAmsynth = "/usr/lib/vst/amsynth_vst.so";

TEST(ThirdPartyPlugin, AmsynthLoadsAndPlaysAChord) {
    if (!std::filesystem::exists(kAmsynth))
        GTEST_SKIP() << kAmsynth << " is absent (Debian package amsynth, installed by scripts/deps.sh)";
    // Held for the whole process and never unloaded, so that the library is
    // still mapped at exit and its own leaks are attributed to it (a static
    // object would unload it before the leak report).
    static const auto* keep = new quorvel::host::SharedLibrary(kAmsynth);
    ASSERT_NE(keep->symbol("VSTPluginMain"), nullptr);

    quorvel::host::HostSettings settings;
    settings.sampleRate = 44100;
    settings.blockSize = 256;
    quorvel::host::Plugin plugin(kAmsynth, settings);
    EXPECT_FALSE(plugin.effectName().empty());
    EXPECT_TRUE(plugin.isSynth());
    EXPECT_GE(plugin.numOutputs(), 1);
    EXPECT_GT(plugin.numParams(), 0);
    for (int i = 0; i < plugin.numParams(); ++i) EXPECT_FALSE(plugin.parameterName(i).empty()) << i;

    const int channels = plugin.numOutputs();
    std::vector<std::vector<float>> buffers(static_cast<std::size_t>(channels), std::vector<float>(256));
    std::vector<float*> outputs;
    for (auto& b : buffers) outputs.push_back(b.data());

    std::vector<quorvel::host::MidiEvent> chord;
    for (int key : {57, 60, 64}) {
        quorvel::host::MidiEvent e;
        e.offset = 10;
        e.bytes[0] = 0x90;
        e.bytes[1] = static_cast<std::uint8_t>(key);
        e.bytes[2] = 100;
        chord.push_back(e);
    }
    double energy = 0.0;
    bool finite = true;
    for (int block = 0; block < 80; ++block) {
        if (block == 0)
            plugin.process(chord.data(), chord.size(), outputs.data(), 256);
        else
            plugin.process(nullptr, 0, outputs.data(), 256);
        for (const auto& b : buffers)
            for (float s : b) {
                finite = finite && std::isfinite(s);
                energy += static_cast<double>(s) * s;
            }
    }
    EXPECT_TRUE(finite);
    EXPECT_GT(energy, 1.0);
    // An instrument that takes MIDI says so, by asking for it or by answering yes.
    EXPECT_TRUE(plugin.midiRequested() || plugin.canDo("receiveVstMidiEvent") == 1);
}

}  // namespace
