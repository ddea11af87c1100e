// The host kit with an LV2 instrument nobody here wrote: mda-lv2's JX10, from
// Debian, found by its URI on the system's LV2 path.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

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

    std::vector<std::vector<float>> buffers(static_cast<std::size_t>(plugin.numOutputs()), std::vector<float>(256));
    std::vector<float*> outputs;
    for (auto& b : buffers) outputs.push_back(b.data());
    std::vector<quorvel::host::MidiEvent> chord;
    for (std::uint8_t key : {57, 60, 64}) chord.push_back({10, {0x90, key, 100}});
    double energy = 0.0;
    bool finite = true;
    for (int block = 0; block < 80; ++block) {
        plugin.process(block == 0 ? chord.data() : nullptr, block == 0 ? chord.size() : 0, outputs.data(), 256);
        for (const auto& b : buffers)
            for (float s : b) {
                finite = finite && std::isfinite(s);
                energy += static_cast<double>(s) * s;
            }
    }
    EXPECT_TRUE(finite);
    EXPECT_GT(energy, 1.0);

    // The bundle holds many plug-ins: loading it by folder asks for a URI.
    try {
        quorvel::host::Lv2Plugin ambiguous(kMdaBundle, settings);
        ADD_FAILURE() << "a bundle of several plug-ins loaded by folder";
    } catch (const quorvel::host::HostError& e) {
        EXPECT_NE(std::string(e.what()).find(kJx10), std::string::npos) << e.what();
    }
}

}  // namespace
