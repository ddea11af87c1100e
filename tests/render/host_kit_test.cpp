// The host kit: loading, the host's answers, the order of requests, events
// with their offsets, parameters by name, and every way a library can fail
// to be a plug-in.
#include <dlfcn.h>  // dladdr: where the maths library lies, for a library that is no plug-in
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "fixtures/probe_log.h"
#include "host/plugin.h"
#include "host/shared_library.h"
#include "test_support.h"

using namespace quorvel;

using quorvel::host::HostError;
using quorvel::host::HostSettings;
using quorvel::host::MidiEvent;
using quorvel::host::Plugin;

namespace {

// Keeps the probe library loaded while the test looks at what it recorded
// (the kit unloads its own reference when the Plugin goes).
class ProbeLibrary {
public:
    explicit ProbeLibrary(const char* path) : library(path) {
        auto get = reinterpret_cast<ProbeLog* (*)()>(library.symbol("probeLog"));
        if (!get) throw std::runtime_error("probeLog missing");
        probeLog = get();
    }
    const ProbeLog& log() const { return *probeLog; }

private:
    quorvel::host::SharedLibrary library;  // the kit's loader
    ProbeLog* probeLog;
};

HostSettings settings(int rate, int block) {
    HostSettings s;
    s.sampleRate = rate;
    s.blockSize = block;
    s.vendor = "Test vendor";
    s.product = "kit test";
    return s;
}

MidiEvent event(int offset, int status, int data1, int data2) {
    MidiEvent e;
    e.offset = offset;
    e.bytes[0] = static_cast<std::uint8_t>(status);
    e.bytes[1] = static_cast<std::uint8_t>(data1);
    e.bytes[2] = static_cast<std::uint8_t>(data2);
    return e;
}

TEST(HostKit, AnswersLikeAWellBehavedHostFromTheFirstCallOn) {
    ProbeLibrary probe(PROBE_PLUGIN_PATH);
    {
        Plugin plugin(PROBE_PLUGIN_PATH, settings(48000, 256));
        const ProbeLog& log = probe.log();
        // Before the record exists: the version request has a null effect,
        // the next request has a record the kit has not been given yet.
        EXPECT_EQ(log.versionAnswer, 2400);
        EXPECT_EQ(log.sampleRateDuringEntry, 48000);
        EXPECT_EQ(log.sampleRateAtOpen, 48000);
        EXPECT_EQ(log.blockSizeAtOpen, 256);
        EXPECT_EQ(log.vendorAnswer, 1);
        EXPECT_EQ(log.vendor, "Test vendor");
        EXPECT_EQ(log.product, "kit test");
        // Capabilities: yes is 1; anything the host cannot do is 0, never -1
        // (plug-ins read any non-zero answer as yes).
        EXPECT_EQ(log.canSendMidi, 1);
        EXPECT_EQ(log.canSendEvents, 1);
        EXPECT_EQ(log.canMadeUp, 0);
        EXPECT_EQ(log.timeInfo, 0);
        // Pins: 0 means connected. The probe has no inputs and two outputs.
        EXPECT_EQ(log.inputPinAnswer, 1);
        EXPECT_EQ(log.outputPinAnswers[0], 0);
        EXPECT_EQ(log.outputPinAnswers[1], 0);
        EXPECT_EQ(log.outputPinAnswers[2], 1);
        EXPECT_EQ(log.levelOutsideProcess, 1);

        float left[4], right[4];
        float* outputs[] = {left, right};
        plugin.process(nullptr, 0, outputs, 4);
        EXPECT_EQ(log.levelInsideProcess, 4);  // offline
        EXPECT_EQ(log.wantMidiAnswer, 1);
        EXPECT_TRUE(plugin.midiRequested());
        EXPECT_EQ(plugin.requestCount(audioMasterWantMidi), 1u);
    }
    EXPECT_TRUE(probe.log().closed);
}

TEST(HostKit, SendsTheRequestsOfALoadRenderAndUnloadInOrder) {
    ProbeLibrary probe(PROBE_PLUGIN_PATH);
    {
        Plugin plugin(PROBE_PLUGIN_PATH, settings(44100, 64));
        float left[64], right[64];
        float* outputs[] = {left, right};
        plugin.process(nullptr, 0, outputs, 64);
        plugin.process(nullptr, 0, outputs, 10);
        plugin.switchOff();
        plugin.switchOn();
    }
    std::vector<std::int32_t> opcodes;
    for (const ProbeDispatch& d : probe.log().dispatched) opcodes.push_back(d.opcode);
    const std::vector<std::int32_t> expected{effOpen,         effSetSampleRate, effSetBlockSize, effMainsChanged,
                                             effStartProcess, effStopProcess,   effMainsChanged, effMainsChanged,
                                             effStartProcess, effStopProcess,   effMainsChanged, effClose};
    EXPECT_EQ(opcodes, expected);
    const auto& d = probe.log().dispatched;
    EXPECT_EQ(d[1].opt, 44100.0f);
    EXPECT_EQ(d[2].value, 64);
    EXPECT_EQ(d[3].value, 1);
    EXPECT_EQ(d[6].value, 0);
    EXPECT_EQ(probe.log().blocks, (std::vector<std::int32_t>{64, 10}));
}

TEST(HostKit, HandsEventsOverAsOneListWithTheirOffsets) {
    ProbeLibrary probe(PROBE_PLUGIN_PATH);
    Plugin plugin(PROBE_PLUGIN_PATH, settings(44100, 32));
    float left[32], right[32];
    float* outputs[] = {left, right};

    const std::vector<MidiEvent> first{event(0, 0x90, 60, 100), event(0, 0x91, 64, 90), event(5, 0xB0, 1, 7),
                                       event(31, 0x80, 60, 33)};
    plugin.process(first.data(), first.size(), outputs, 32);
    plugin.process(nullptr, 0, outputs, 32);  // no list for a block without events
    const std::vector<MidiEvent> third{event(3, 0xE0, 0x00, 0x40)};
    plugin.process(third.data(), third.size(), outputs, 8);

    const auto& events = probe.log().events;
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(plugin.requestCount(audioMasterWantMidi), 1u);
    for (const ProbeEvent& e : events) {
        EXPECT_EQ(e.type, kVstMidiType);
        EXPECT_EQ(e.byteSize, static_cast<std::int32_t>(sizeof(VstMidiEvent)));
    }
    EXPECT_EQ(events[0].blockStart, 0);
    EXPECT_EQ(events[1].status, 0x91);
    EXPECT_EQ(events[2].deltaFrames, 5);
    EXPECT_EQ(events[3].deltaFrames, 31);
    EXPECT_EQ(events[3].noteOffVelocity, 33);
    EXPECT_EQ(events[4].blockStart, 64);
    EXPECT_EQ(events[4].deltaFrames, 3);
    EXPECT_EQ(events[4].data2, 0x40);
    EXPECT_EQ(left[0], 64.0f);  // the probe counts samples into the left channel

    // Events outside the block or out of order are the caller's mistake.
    const std::vector<MidiEvent> late{event(8, 0x90, 1, 1)};
    EXPECT_THROW(plugin.process(late.data(), late.size(), outputs, 8), HostError);
    const std::vector<MidiEvent> backwards{event(4, 0x90, 1, 1), event(2, 0x80, 1, 0)};
    EXPECT_THROW(plugin.process(backwards.data(), backwards.size(), outputs, 8), HostError);
    EXPECT_THROW(plugin.process(nullptr, 0, outputs, 33), HostError);
    EXPECT_THROW(plugin.process(nullptr, 0, outputs, 0), HostError);
}

TEST(HostKit, FindsParametersByNameExactlyThenIgnoringCase) {
    ProbeLibrary probe(PROBE_PLUGIN_PATH);
    Plugin plugin(PROBE_PLUGIN_PATH, settings(44100, 16));
    // The probe names its parameters "Level", "Tone Colour" and "level".
    EXPECT_EQ(plugin.findParameter("Level"), 0);
    EXPECT_EQ(plugin.findParameter("level"), 2);
    EXPECT_EQ(plugin.findParameter("  Tone Colour "), 1);
    EXPECT_EQ(plugin.findParameter("tone colour"), 1);
    EXPECT_EQ(plugin.findParameter("LEVEL"), std::nullopt);  // two case-insensitive matches
    EXPECT_EQ(plugin.findParameter("Tone"), std::nullopt);

    plugin.setParameter("Level", 0.75f);
    EXPECT_EQ(plugin.parameter(0), 0.75f);
    EXPECT_THROW(plugin.setParameter("Volume", 0.5f), HostError);
    EXPECT_THROW(plugin.parameter(3), HostError);
    EXPECT_THROW(plugin.parameterName(-1), HostError);
    EXPECT_EQ(plugin.parameterDisplay(1), "shown");
    EXPECT_EQ(plugin.parameterLabel(1), "units");
}

TEST(HostKit, FallsBackToTheEntryPointNamedMain) {
    ProbeLibrary probe(PROBE_MAIN_ONLY_PATH);
    Plugin plugin(PROBE_MAIN_ONLY_PATH, settings(44100, 16));
    EXPECT_EQ(plugin.effectName(), "probe");
    EXPECT_EQ(plugin.uniqueId(), 0x50726F62);
    EXPECT_EQ(plugin.recordVersion(), 7);
}

std::string loadError(const std::string& path) {
    try {
        Plugin plugin(path, settings(44100, 64));
    } catch (const HostError& e) {
        return e.what();
    }
    return "(loaded)";
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(HostKit, RefusesWhatIsNotAPluginWithAClearMessage) {
    TempDir dir;
    writeFile(dir / "notes.txt", "just some text\n");
    const std::string text = loadError(dir / "notes.txt");
    EXPECT_TRUE(contains(text, "cannot load " + dir / "notes.txt" + ": ")) << text;

    const std::string missing = loadError(dir / "absent.so");
    EXPECT_EQ(missing, "plug-in not found: " + dir / "absent.so");
    EXPECT_EQ(loadError(dir.path().string()), "plug-in path is a directory: " + dir.path().string());

    // A real library that is no plug-in: the maths library.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(static_cast<double (*)(double)>(&std::cos)), &info), 0);
    const std::string libm = info.dli_fname;
    EXPECT_EQ(loadError(libm), libm + " is not a VST 2.4 plug-in: it exports neither VSTPluginMain nor main");

    EXPECT_EQ(
        loadError(BROKEN_NO_ENTRY_PATH),
        std::string(BROKEN_NO_ENTRY_PATH) + " is not a VST 2.4 plug-in: it exports neither VSTPluginMain nor main");
    EXPECT_EQ(loadError(BROKEN_NULL_RECORD_PATH),
              std::string(BROKEN_NULL_RECORD_PATH) + ": the plug-in's entry point returned no effect record");
    EXPECT_EQ(loadError(BROKEN_MAGIC_PATH), std::string(BROKEN_MAGIC_PATH) +
                                                ": the plug-in's effect record has the wrong magic number "
                                                "0x12345678 (expected 0x56737450)");
}

TEST(HostKit, RefusesARecordItCannotDriveAndClosesIt) {
    ProbeLibrary probe(PROBE_BAD_OUTPUTS_PATH);
    EXPECT_EQ(loadError(PROBE_BAD_OUTPUTS_PATH),
              std::string(PROBE_BAD_OUTPUTS_PATH) +
                  ": the plug-in's effect record is unusable: it declares 0 inputs and -3 outputs");
    EXPECT_TRUE(probe.log().closed);
    EXPECT_TRUE(probe.log().dispatched.size() == 1 && probe.log().dispatched[0].opcode == effClose);
}

TEST(HostKit, DrivesTheQuorvelInstrument) {
    Plugin plugin(QUORVEL_PLUGIN_PATH, settings(48000, 128));
    EXPECT_EQ(plugin.effectName(), "brightmoor - quorvel");
    EXPECT_EQ(plugin.vendorString(), "Talvo");
    EXPECT_EQ(plugin.productString(), "v0.31 21.06.24");
    EXPECT_EQ(plugin.vendorVersion(), 1000);
    EXPECT_EQ(plugin.vstVersion(), 2400);
    EXPECT_EQ(plugin.uniqueId(), 0x6B7A7437);
    EXPECT_EQ(plugin.category(), kPlugCategSynth);
    EXPECT_TRUE(plugin.isSynth());
    EXPECT_EQ(plugin.numInputs(), 0);
    EXPECT_EQ(plugin.numOutputs(), 2);
    EXPECT_EQ(plugin.numParams(), 8);
    EXPECT_EQ(plugin.canDo("receiveVstMidiEvent"), 1);
    EXPECT_EQ(plugin.canDo("sendVstMidiEvent"), -1);
    EXPECT_EQ(plugin.findParameter("Detune"), 2);
    EXPECT_EQ(plugin.findParameter("output gain"), 7);
    plugin.setParameter("Output gain", 0.25f);
    EXPECT_EQ(plugin.parameter(7), 0.25f);

    std::vector<float> left(128), right(128);
    float* outputs[] = {left.data(), right.data()};
    const std::vector<MidiEvent> chord{event(17, 0x90, 57, 100), event(17, 0x90, 64, 100)};
    plugin.process(chord.data(), chord.size(), outputs, 128);
    EXPECT_TRUE(plugin.midiRequested());
    // Silent until the chord's sample, sounding from there on.
    for (int i = 0; i < 17; ++i) EXPECT_EQ(left[i], 0.0f) << i;
    float peak = 0.0f;
    for (int i = 17; i < 128; ++i) peak = std::max(peak, std::abs(left[i]));
    EXPECT_GT(peak, 0.0f);
    EXPECT_EQ(left, right);
    // The instrument asks for the sample rate every block: the kit answers
    // with the rendering rate.
    plugin.process(nullptr, 0, outputs, 128);
    EXPECT_EQ(plugin.requestCount(audioMasterGetSampleRate), 2u);
}

// Each instance gets its own host: the callback must tell their records
// apart, or an instance would render at another one's sample rate.
TEST(HostKit, KeepsInstancesApart) {
    std::vector<float> buffers[3][2];
    const std::vector<MidiEvent> note{event(0, 0x90, 69, 100)};
    auto play = [&](Plugin& plugin, int n) {
        for (auto& b : buffers[n]) b.assign(256, 0.0f);
        float* outputs[] = {buffers[n][0].data(), buffers[n][1].data()};
        plugin.process(note.data(), note.size(), outputs, 256);
    };
    Plugin a(QUORVEL_PLUGIN_PATH, settings(44100, 256));
    Plugin b(QUORVEL_PLUGIN_PATH, settings(22050, 256));
    play(b, 1);
    play(a, 0);
    EXPECT_EQ(a.requestCount(audioMasterGetSampleRate), 1u);
    EXPECT_EQ(b.requestCount(audioMasterGetSampleRate), 1u);
    {
        Plugin alone(QUORVEL_PLUGIN_PATH, settings(44100, 256));
        play(alone, 2);
    }
    EXPECT_EQ(buffers[0][0], buffers[2][0]);
    EXPECT_NE(buffers[0][0], buffers[1][0]);
}

}  // namespace
