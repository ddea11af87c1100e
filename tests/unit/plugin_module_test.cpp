// The built plug-in module as a host meets it: two instances created through
// the loaded entry point, played side by side and closed. (Its exports are
// checked by name in tests/cross/check_binary.cmake and as one function under
// two names in record_abi_test.cpp.) Under AddressSanitizer a leak or a stray access in either instance
// fails the run.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "abi/aeffect.h"
#include "host/shared_library.h"
#include "support/event_list.h"
#include "support/instrument_test.h"
#include "support/recording_host.h"
#include "support/render.h"

using namespace quorvel;

namespace {

using EntryPoint = AEffect*(QV_CALL*)(audioMasterCallback);

class PluginModule : public ::testing::Test {
protected:
    void SetUp() override {
        entry = reinterpret_cast<EntryPoint>(lib.symbol("VSTPluginMain"));
        ASSERT_NE(entry, nullptr);
    }
    RecordingHost host;
    quorvel::host::SharedLibrary lib{QUORVEL_PLUGIN_PATH};  // throws, naming the file, if it cannot be loaded
    EntryPoint entry = nullptr;
};

TEST_F(PluginModule, AHostAnsweringVersionZeroGetsNoInstance) {
    host.setAnswer([](const HostCall&) -> std::intptr_t { return 0; });
    EXPECT_EQ(entry(RecordingHost::callback), nullptr);
    expectOnlyAVersionQuery(host);
}

// Two instances of the loaded module share nothing: each plays its own notes
// with its own parameters, and closing one leaves the other playing.
TEST_F(PluginModule, TwoInstancesPlayIndependentlyAndCloseCleanly) {
    auto legacyEntry = reinterpret_cast<EntryPoint>(lib.symbol("main"));
    ASSERT_NE(legacyEntry, nullptr);
    AEffect* a = entry(RecordingHost::callback);
    AEffect* b = legacyEntry(RecordingHost::callback);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(a, b);
    EXPECT_EQ(host.calls.size(), 2u) << "only the two version requests";

    for (AEffect* e : {a, b}) {
        e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
        e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
        e->dispatcher(e, effSetBlockSize, 0, 256, nullptr, 0.0f);
        e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    }
    EXPECT_EQ(host.count(audioMasterWantMidi), 2u);

    // A plays a note; B stays silent for one block.
    EventList noteA;
    noteA.noteOn(0, 69, 100);
    EXPECT_EQ(a->dispatcher(a, effProcessEvents, 0, 0, noteA.get(), 0.0f), 1);
    std::vector<float> outA = renderBlock(a, 110);
    std::vector<float> outB = renderBlock(b, 110);
    EXPECT_EQ(firstNonZero(outA), 0) << "A did not play its note";
    EXPECT_EQ(firstNonZero(outB), -1) << "B heard A's note";

    // B plays an octave up at a quarter of the gain while A carries on.
    b->setParameter(b, 7, 0.125f);
    EXPECT_EQ(a->getParameter(a, 7), 0.5f);
    EventList noteB;
    noteB.noteOn(0, 81, 100);
    b->dispatcher(b, effProcessEvents, 0, 0, noteB.get(), 0.0f);
    outB = renderBlock(b, 2000);
    outA = renderBlock(a, 2000);
    EXPECT_EQ(outB[0], 0.8000001f * 0.125f);
    const std::vector<int> edgesA = risingEdges(outA), edgesB = risingEdges(outB);
    ASSERT_GE(edgesA.size(), 10u);
    ASSERT_GE(edgesB.size(), 10u);
    const double spacingA = double(edgesA.back() - edgesA.front()) / double(edgesA.size() - 1);
    const double spacingB = double(edgesB.back() - edgesB.front()) / double(edgesB.size() - 1);
    EXPECT_NEAR(spacingA, 44100.0 / 440.0, 0.1);
    EXPECT_NEAR(spacingB, 44100.0 / 880.0, 0.1);
    for (float s : outA) ASSERT_LE(s, 0.40000004f);

    host.calls.clear();
    EXPECT_EQ(a->dispatcher(a, effClose, 0, 0, nullptr, 0.0f), 1);
    outB = renderBlock(b, 200);
    EXPECT_NE(firstNonZero(outB), -1) << "B stopped when A closed";
    EXPECT_EQ(b->dispatcher(b, effClose, 0, 0, nullptr, 0.0f), 1);
    for (const HostCall& c : host.calls) EXPECT_EQ(c.opcode, audioMasterGetSampleRate);
}

}  // namespace
