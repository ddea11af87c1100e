// The host kit with an LV2 instrument nobody here wrote: mda-lv2's JX10, from
// Debian, found by its URI on the system's LV2 path.
#include <gtest/gtest.h>

#include <filesystem>

#include "chord_check.h"
#include "host/lv2_plugin.h"

namespace {

constexpr const char* kMdaBundle = "/usr/lib/lv2/mda.lv2";
constexpr const char* kJx10 = "http://drobilla.net/plugins/mda/JX10";

TEST(ThirdPartyLv2Plugin, MdaJx10LoadsAndPlaysAChord) {
    if (!std::filesystem::exists(kMdaBundle))
        GTEST_SKIP() << kMdaBundle << " is absent (Debian package mda-lv2, installed by scripts/deps.sh)";
    quorvel::host::HostSettings settings;
    settings.blockSize = 256;
    quorvel::host::Lv2Plugin plugin(kJx10, settings);
    EXPECT_EQ(plugin.className(), "Instrument Plugin");
    ASSERT_GE(plugin.numOutputs(), 1);
    ASSERT_GT(plugin.numParams(), 0);

    const ChordResult played = playChord(plugin);
    EXPECT_TRUE(played.finite);
    EXPECT_GT(played.energy, 1.0);

    // The bundle holds many plug-ins: loading it by folder asks for a URI.
    try {
        quorvel::host::Lv2Plugin ambiguous(kMdaBundle, settings);
        ADD_FAILURE() << "a bundle of several plug-ins loaded by folder";
    } catch (const quorvel::host::HostError& e) {
        EXPECT_NE(std::string(e.what()).find(kJx10), std::string::npos) << e.what();
    }
}

}  // namespace
