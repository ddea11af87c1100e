// The host kit with an instrument nobody here wrote: amsynth, from Debian.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "chord_check.h"
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

    const ChordResult played = playChord(plugin);
    EXPECT_TRUE(played.finite);
    EXPECT_GT(played.energy, 1.0);
    // An instrument that takes MIDI says so, by asking for it or by answering yes.
    EXPECT_TRUE(plugin.midiRequested() || plugin.canDo("receiveVstMidiEvent") == 1);
}

}  // namespace
