// The built plug-in as a host on this platform sees it: loaded from disk,
// entered through its exported names, and its effect record read as raw bytes
// at the offsets a host compiled elsewhere expects (144-byte record with
// 4-byte pointers, 192 bytes with 8-byte pointers).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "abi/aeffect.h"
#include "abi/vst_events.h"
#include "host/shared_library.h"
#include "support/event_list.h"
#include "support/recording_host.h"

using namespace quorvel;

namespace {

using EntryPoint = AEffect*(QV_CALL*)(audioMasterCallback);

constexpr bool kNarrow = sizeof(void*) == 4;

// Where each field lives, for both pointer widths, written out rather than
// derived so that a packing or alignment change cannot move both sides.
struct FieldPlace {
    const char* name;
    std::size_t narrow;
    std::size_t wide;
    std::size_t offset() const { return kNarrow ? narrow : wide; }
};

const FieldPlace kMagic{"magic", 0, 0};
const FieldPlace kDispatcher{"dispatcher", 4, 8};
const FieldPlace kProcess{"process", 8, 16};
const FieldPlace kSetParameter{"setParameter", 12, 24};
const FieldPlace kGetParameter{"getParameter", 16, 32};
const FieldPlace kNumPrograms{"numPrograms", 20, 40};
const FieldPlace kNumParams{"numParams", 24, 44};
const FieldPlace kNumInputs{"numInputs", 28, 48};
const FieldPlace kNumOutputs{"numOutputs", 32, 52};
const FieldPlace kFlags{"flags", 36, 56};
const FieldPlace kResvd1{"resvd1", 40, 64};
const FieldPlace kResvd2{"resvd2", 44, 72};
const FieldPlace kInitialDelay{"initialDelay", 48, 80};
const FieldPlace kRealQualities{"realQualities", 52, 84};
const FieldPlace kOffQualities{"offQualities", 56, 88};
const FieldPlace kIoRatio{"ioRatio", 60, 92};
const FieldPlace kObject{"object", 64, 96};
const FieldPlace kUser{"user", 68, 104};
const FieldPlace kUniqueId{"uniqueID", 72, 112};
const FieldPlace kVersion{"version", 76, 116};
const FieldPlace kProcessReplacing{"processReplacing", 80, 120};
const FieldPlace kProcessDoubleReplacing{"processDoubleReplacing", 84, 128};
const FieldPlace kFuture{"future", 88, 136};

template <class T>
T readAt(const AEffect* effect, const FieldPlace& place) {
    T value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(effect) + place.offset(), sizeof value);
    return value;
}

// The plug-in this build made, or another copy of it (an installed one) named
// by QUORVEL_PLUGIN_UNDER_TEST.
std::string pluginPath() {
    const char* chosen = std::getenv("QUORVEL_PLUGIN_UNDER_TEST");
    return chosen && *chosen ? chosen : QUORVEL_PLUGIN_PATH;
}

class LoadedPlugin : public ::testing::Test {
protected:
    void SetUp() override {
        std::printf("loaded from %s\n", pluginPath().c_str());
        entry = reinterpret_cast<EntryPoint>(library.symbol("VSTPluginMain"));
        ASSERT_NE(entry, nullptr);
        effect = entry(RecordingHost::callback);
        ASSERT_NE(effect, nullptr);
    }
    void TearDown() override {
        if (effect) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }

    RecordingHost host;
    quorvel::host::SharedLibrary library{pluginPath()};  // throws, naming the file, if it cannot be loaded
    EntryPoint entry = nullptr;
    AEffect* effect = nullptr;
};

TEST_F(LoadedPlugin, ExportsOneEntryUnderBothNames) {
    void* vstMain = library.symbol("VSTPluginMain");
    void* legacyMain = library.symbol("main");
    ASSERT_NE(vstMain, nullptr);
    EXPECT_EQ(legacyMain, vstMain);
}

TEST_F(LoadedPlugin, RawRecordHoldsTheInstrumentsValues) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(effect);
    // 'VstP' and 'kzt7' packed most significant first, stored little-endian.
    const unsigned char magic[] = {0x50, 0x74, 0x73, 0x56};
    const unsigned char uniqueId[] = {0x37, 0x74, 0x7A, 0x6B};
    EXPECT_EQ(std::memcmp(bytes + kMagic.offset(), magic, 4), 0);
    EXPECT_EQ(std::memcmp(bytes + kUniqueId.offset(), uniqueId, 4), 0);

    EXPECT_EQ(readAt<std::int32_t>(effect, kNumPrograms), 1);
    EXPECT_EQ(readAt<std::int32_t>(effect, kNumParams), 8);
    EXPECT_EQ(readAt<std::int32_t>(effect, kNumInputs), 0);
    EXPECT_EQ(readAt<std::int32_t>(effect, kNumOutputs), 2);
    EXPECT_EQ(readAt<std::int32_t>(effect, kFlags), 0x110);
    EXPECT_EQ(readAt<std::intptr_t>(effect, kResvd1), 0);
    EXPECT_EQ(readAt<std::intptr_t>(effect, kResvd2), 0);
    EXPECT_EQ(readAt<std::int32_t>(effect, kInitialDelay), 0);
    EXPECT_EQ(readAt<float>(effect, kIoRatio), 1.0f);
    EXPECT_NE(readAt<void*>(effect, kObject), nullptr);
    EXPECT_EQ(readAt<void*>(effect, kUser), nullptr);
    EXPECT_EQ(readAt<std::int32_t>(effect, kVersion), 1);
    for (const FieldPlace* entryField :
         {&kDispatcher, &kProcess, &kSetParameter, &kGetParameter, &kProcessReplacing, &kProcessDoubleReplacing})
        EXPECT_NE(readAt<void*>(effect, *entryField), nullptr) << entryField->name;
    for (std::size_t i = 0; i < 56; ++i) EXPECT_EQ(bytes[kFuture.offset() + i], 0) << "future[" << i << "]";
}

// The golden note, the one place its samples are checked: key 69 at velocity
// 100 with the default parameters at 44100 Hz, driven only through raw record
// offsets of the loaded plug-in, so that a host reading the record with its
// own declaration hears exactly this. (The differential tests hold every
// other session to the reference engine.)
TEST_F(LoadedPlugin, GoldenNoteThroughTheRawRecord) {
    auto dispatch = readAt<AEffectDispatcherProc>(effect, kDispatcher);
    auto processReplacing = readAt<AEffectProcessProc>(effect, kProcessReplacing);

    dispatch(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    dispatch(effect, effSetBlockSize, 0, 512, nullptr, 0.0f);
    dispatch(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    EventList events;
    events.noteOn(0, 69, 100);
    dispatch(effect, effProcessEvents, 0, 0, events.get(), 0.0f);

    std::vector<float> left(110, -1.0f), right(110, -1.0f);
    float* outs[2] = {left.data(), right.data()};
    processReplacing(effect, nullptr, outs, 110);

    std::vector<float> expected(110, 0.0f);
    for (int i : {0, 1, 2, 3, 101, 102, 103}) expected[i] = 0.40000004f;
    expected[4] = expected[104] = 0.15000001f;
    expected[100] = 0.35000002f;
    for (int i = 0; i < 110; ++i) {
        EXPECT_EQ(left[i], expected[i]) << "sample " << i;
        EXPECT_EQ(right[i], expected[i]) << "sample " << i;
    }
}

}  // namespace
