// Requests the plug-in makes of its host: for each service the request number,
// where each argument travels (index, value, ptr, opt), how the answer is
// read, and what the service gives without a host callback. Then the flag setters, the
// category query, the switch-on hook and the per-block sample-rate query.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "plugin/quorvel.h"
#include "support/recording_host.h"
#include "support/render.h"

using namespace quorvel;

namespace {

// Locations whose addresses travel to the host; their contents never do.
char gBuffer[64];
char gOther[16];
template <class T>
T* as(void* p) {
    return reinterpret_cast<T*>(p);
}
std::intptr_t addr(const void* p) { return reinterpret_cast<std::intptr_t>(p); }
std::intptr_t answerOf(bool b) { return b ? 1 : 0; }

struct ServiceCase {
    const char* name;
    std::function<std::intptr_t(Quorvel&)> call;  // the service's result as an integer
    std::int32_t opcode;
    std::int32_t index;
    std::intptr_t value;
    const void* ptr;
    float opt;
    std::vector<std::pair<std::intptr_t, std::intptr_t>> answers;  // host answer -> result
    std::intptr_t fallback;                                        // result without a callback
};

std::ostream& operator<<(std::ostream& os, const ServiceCase& c) { return os << c.name; }

// Answers for the four ways a result is read.
const std::vector<std::pair<std::intptr_t, std::intptr_t>> kAsIs32 = {{0, 0}, {7, 7}, {-3, -3}, {70000, 70000}};
const std::vector<std::pair<std::intptr_t, std::intptr_t>> kBool = {{0, 0}, {1, 1}, {5, 1}, {-1, 1}};
const std::vector<std::pair<std::intptr_t, std::intptr_t>> kZeroOne = {{0, 0}, {1, 1}, {5, 1}, {-1, 1}};
const std::vector<std::pair<std::intptr_t, std::intptr_t>> kInverted = {{0, 1}, {1, 0}, {-1, 0}};
const std::vector<std::pair<std::intptr_t, std::intptr_t>> kPointer = {{0, 0}, {addr(gOther), addr(gOther)}};
const std::vector<std::pair<std::intptr_t, std::intptr_t>> kNone = {{0, 0}, {9, 0}};

// The services as a contract: what the plug-in calls, the request number the
// host receives with its index, value, ptr and opt, how each host answer is
// read (host answer -> result), and the result without a callback. Request
// numbers are the literal ones hosts know, not the code's named constants.
#define CALL(...) [](Quorvel& q) -> std::intptr_t { return __VA_ARGS__; }
// clang-format off
const std::vector<ServiceCase> kServices = {
    {"getMasterVersion", CALL(q.getMasterVersion()), 1, 0, 0, nullptr, 0.0f, {{0, 1}, {2400, 2400}, {-2, -2}}, 1},
    {"getCurrentUniqueId", CALL(q.getCurrentUniqueId()), 2, 0, 0, nullptr, 0.0f, kAsIs32, 0},
    {"masterIdle", CALL((q.masterIdle(), std::intptr_t{0})), 3, 0, 0, nullptr, 0.0f, kNone, 0},
    {"getNumAutomatableParameters", CALL(q.getNumAutomatableParameters()), 11, 0, 0, nullptr, 0.0f, kAsIs32, 0},
    {"getParameterQuantization", CALL(q.getParameterQuantization()), 12, 0, 0, nullptr, 0.0f, kAsIs32, 0},
    {"ioChanged", CALL(answerOf(q.ioChanged())), 13, 0, 0, nullptr, 0.0f, kBool, 0},
    {"needIdle", CALL(answerOf(q.needIdle())), 14, 0, 0, nullptr, 0.0f, kBool, 0},
    {"getInputLatency", CALL(q.getInputLatency()), 18, 0, 0, nullptr, 0.0f, kAsIs32, 0},
    {"getOutputLatency", CALL(q.getOutputLatency()), 19, 0, 0, nullptr, 0.0f, kAsIs32, 0},
    // The pin number is not passed on.
    {"getPreviousPlug", CALL(addr(q.getPreviousPlug(5))), 20, 0, 0, nullptr, 0.0f, kPointer, 0},
    {"getNextPlug", CALL(addr(q.getNextPlug(5))), 21, 0, 0, nullptr, 0.0f, kPointer, 0},
    {"willProcessReplacing", CALL(q.willProcessReplacing()), 22, 0, 0, nullptr, 0.0f, kAsIs32, 0},
    {"getCurrentProcessLevel", CALL(q.getCurrentProcessLevel()), 23, 0, 0, nullptr, 0.0f, kAsIs32, 0},
    {"getAutomationState", CALL(q.getAutomationState()), 24, 0, 0, nullptr, 0.0f, kAsIs32, 0},
    {"offlineGetCurrentPass", CALL(q.offlineGetCurrentPass()), 28, 0, 0, nullptr, 0.0f, kZeroOne, 0},
    {"offlineGetCurrentMetaPass", CALL(q.offlineGetCurrentMetaPass()), 29, 0, 0, nullptr, 0.0f, kZeroOne, 0},
    {"getOutputSpeakerArrangement", CALL(addr(q.getOutputSpeakerArrangement())), 31, 0, 0, nullptr, 0.0f, kPointer, 0},
    {"getHostVendorVersion", CALL(q.getHostVendorVersion()), 34, 0, 0, nullptr, 0.0f, kAsIs32, 0},
    {"getHostLanguage", CALL(q.getHostLanguage()), 38, 0, 0, nullptr, 0.0f, kAsIs32, 0},
    {"getDirectory", CALL(addr(q.getDirectory())), 41, 0, 0, nullptr, 0.0f, kPointer, 0},
    {"updateDisplay", CALL(answerOf(q.updateDisplay())), 42, 0, 0, nullptr, 0.0f, kBool, 0},
    {"getInputSpeakerArrangement", CALL(addr(q.getInputSpeakerArrangement())), 49, 0, 0, nullptr, 0.0f, kPointer, 0},
    // The value travels in opt alone, whole: 2.5 would read as 2 in value.
    {"setParameterAutomated(7, 2.5)", CALL((q.setParameterAutomated(7, 2.5f), std::intptr_t{0})), 0, 7, 0, nullptr,
      2.5f, kNone, 0},
    {"isInputConnected(2)", CALL(answerOf(q.isInputConnected(2))), 4, 2, 0, nullptr, 0.0f, kInverted, 1},
    {"isOutputConnected(3)", CALL(answerOf(q.isOutputConnected(3))), 4, 3, 1, nullptr, 0.0f, kInverted, 1},
    {"wantEvents(1)", CALL((q.wantEvents(1), std::intptr_t{0})), 6, 0, 1, nullptr, 0.0f, kNone, 0},
    {"wantEvents(9)", CALL((q.wantEvents(9), std::intptr_t{0})), 6, 0, 9, nullptr, 0.0f, kNone, 0},
    {"getTimeInfo(0x2F00)", CALL(addr(q.getTimeInfo(0x2F00))), 7, 0, 0x2F00, nullptr, 0.0f, kPointer, 0},
    {"tempoAt(4410)", CALL(q.tempoAt(4410)), 10, 0, 4410, nullptr, 0.0f, kAsIs32, 0},
    {"sizeWindow(640, 480)", CALL(answerOf(q.sizeWindow(640, 480))), 15, 640, 480, nullptr, 0.0f, kBool, 0},
    {"offlineStart(files, 3, 2)", CALL(answerOf(q.offlineStart(as<VstAudioFile>(gBuffer), 3, 2))), 25, 2, 3, gBuffer,
      0.0f, kBool, 0},
    {"offlineRead(task, 9, true)", CALL(answerOf(q.offlineRead(as<VstOfflineTask>(gBuffer), 9, true))), 26, 1, 9,
      gBuffer, 0.0f, kBool, 0},
    {"offlineRead(task, 9, false)", CALL(answerOf(q.offlineRead(as<VstOfflineTask>(gBuffer), 9, false))), 26, 0, 9,
      gBuffer, 0.0f, kBool, 0},
    {"offlineWrite(task, 4)", CALL(answerOf(q.offlineWrite(as<VstOfflineTask>(gBuffer), 4))), 27, 0, 4, gBuffer, 0.0f,
      kBool, 0},
    {"setOutputSamplerate(96000)", CALL((q.setOutputSamplerate(96000.0f), std::intptr_t{0})), 30, 0, 0, nullptr,
      96000.0f, kNone, 0},
    {"getHostVendorString", CALL(answerOf(q.getHostVendorString(gBuffer))), 32, 0, 0, gBuffer, 0.0f, kBool, 0},
    {"getHostProductString", CALL(answerOf(q.getHostProductString(gBuffer))), 33, 0, 0, gBuffer, 0.0f, kBool, 0},
    {"hostVendorSpecific(7, -9, p, 2.5)", CALL(q.hostVendorSpecific(7, -9, gBuffer, 2.5f)), 35, 7, -9, gBuffer, 2.5f,
      {{0, 0}, {-77777, -77777}, {INTPTR_MAX - 1, INTPTR_MAX - 1}}, 0},
    {"canHostDo", CALL(q.canHostDo(gBuffer)), 37, 0, 0, gBuffer, 0.0f, kZeroOne, 0},
    {"openWindow", CALL(addr(q.openWindow(as<VstWindow>(gBuffer)))), 39, 0, 0, gBuffer, 0.0f, kPointer, 0},
    {"closeWindow", CALL(answerOf(q.closeWindow(as<VstWindow>(gBuffer)))), 40, 0, 0, gBuffer, 0.0f, kBool, 0},
    {"beginEdit(6)", CALL(answerOf(q.beginEdit(6))), 43, 6, 0, nullptr, 0.0f, kBool, 0},
    {"endEdit(6)", CALL(answerOf(q.endEdit(6))), 44, 6, 0, nullptr, 0.0f, kBool, 0},
    {"openFileSelector", CALL(answerOf(q.openFileSelector(as<VstFileSelect>(gBuffer)))), 45, 0, 0, gBuffer, 0.0f,
      kBool, 0},
    {"closeFileSelector", CALL(answerOf(q.closeFileSelector(as<VstFileSelect>(gBuffer)))), 46, 0, 0, gBuffer, 0.0f,
      kBool, 0},
    {"getChunkFile", CALL(answerOf(q.getChunkFile(gBuffer))), 48, 0, 0, gBuffer, 0.0f, kBool, 0},
};
// clang-format on
#undef CALL

class HostService : public ::testing::TestWithParam<ServiceCase> {};

TEST_P(HostService, SendsItsOpcodeAndArgumentsOnceAndReadsTheAnswer) {
    const ServiceCase& c = GetParam();
    for (const auto& [hostAnswer, expected] : c.answers) {
        RecordingHost host(RecordingHost::answering(c.opcode, hostAnswer));
        Quorvel synth(RecordingHost::callback);
        EXPECT_EQ(c.call(synth), expected) << c << " with host answer " << hostAnswer;
        ASSERT_EQ(host.calls.size(), 1u) << c;
        const HostCall& call = host.calls[0];
        EXPECT_EQ(call.effect, synth.getAeffect()) << c;
        EXPECT_EQ(call.opcode, c.opcode) << c;
        EXPECT_EQ(call.index, c.index) << c;
        EXPECT_EQ(call.value, c.value) << c;
        EXPECT_EQ(call.ptr, c.ptr) << c;
        EXPECT_EQ(call.opt, c.opt) << c;
    }
}

TEST_P(HostService, GivesItsFallbackWithoutACallback) {
    const ServiceCase& c = GetParam();
    RecordingHost host;  // installed, but the instrument was given no callback
    Quorvel synth(nullptr);
    std::memset(gBuffer, 0x5A, sizeof gBuffer);
    EXPECT_EQ(c.call(synth), c.fallback) << c;
    EXPECT_TRUE(host.calls.empty()) << c;
    for (char ch : gBuffer) ASSERT_EQ(ch, 0x5A) << c << " wrote into the buffer";
}

INSTANTIATE_TEST_SUITE_P(EveryService, HostService, ::testing::ValuesIn(kServices));

// The three services that test their pointer first give false for null
// without a call, even to a host that would say yes.
TEST(HostServiceNullArguments, FileSelectorsAndChunkFileDoNotCallTheHost) {
    RecordingHost host([](const HostCall&) -> std::intptr_t { return 1; });
    Quorvel synth(RecordingHost::callback);
    EXPECT_FALSE(synth.openFileSelector(nullptr));
    EXPECT_FALSE(synth.closeFileSelector(nullptr));
    EXPECT_FALSE(synth.getChunkFile(nullptr));
    EXPECT_TRUE(host.calls.empty());
}

TEST(HostServiceSampleRate, PositiveAnswersReplaceTheRateOthersKeepIt) {
    std::intptr_t answer = 48000;
    RecordingHost host([&answer](const HostCall& c) { return c.opcode == audioMasterGetSampleRate ? answer : 0; });
    Quorvel synth(RecordingHost::callback);
    EXPECT_EQ(synth.updateSampleRate(), 48000.0);
    EXPECT_EQ(synth.getSampleRate(), 48000.0f);
    for (std::intptr_t kept : {std::intptr_t{0}, std::intptr_t{-1}, INTPTR_MIN}) {
        answer = kept;
        EXPECT_EQ(synth.updateSampleRate(), 48000.0) << "answer " << kept;
    }
    ASSERT_EQ(host.calls.size(), 4u);
    for (const HostCall& c : host.calls) {
        EXPECT_EQ(c.opcode, audioMasterGetSampleRate);
        EXPECT_EQ(c.index, 0);
        EXPECT_EQ(c.value, 0);
        EXPECT_EQ(c.ptr, nullptr);
        EXPECT_EQ(c.opt, 0.0f);
    }
    // The plain accessor only reads.
    host.calls.clear();
    EXPECT_EQ(synth.getSampleRate(), 48000.0f);
    EXPECT_TRUE(host.calls.empty());
}

TEST(HostServiceSampleRate, WithoutACallbackTheStoredRateStands) {
    Quorvel synth(nullptr);
    EXPECT_EQ(synth.updateSampleRate(), 44100.0);
    synth.setSampleRate(22050.0f);
    EXPECT_EQ(synth.updateSampleRate(), 22050.0);
}

TEST(HostServiceBlockSize, PositiveAnswersReplaceTheSizeOthersKeepIt) {
    std::intptr_t answer = 512;
    RecordingHost host([&answer](const HostCall& c) { return c.opcode == audioMasterGetBlockSize ? answer : 0; });
    Quorvel synth(RecordingHost::callback);
    EXPECT_EQ(synth.updateBlockSize(), 512);
    EXPECT_EQ(synth.getBlockSize(), 512);
    for (std::intptr_t kept : {0, -1}) {
        answer = kept;
        EXPECT_EQ(synth.updateBlockSize(), 512) << "answer " << kept;
    }
    EXPECT_EQ(host.count(audioMasterGetBlockSize), 3u);
    Quorvel alone(nullptr);
    EXPECT_EQ(alone.updateBlockSize(), 1024);
}

// The parameter is set before the host hears of the change, and it is set
// when there is no host to tell.
class AutomationWitness : public Quorvel {
public:
    AutomationWitness(audioMasterCallback cb, RecordingHost* h) : Quorvel(cb), host(h) {}
    void setParameter(std::int32_t index, float value) override {
        seen.push_back({index, value, host ? host->calls.size() : 0});
        Quorvel::setParameter(index, value);
    }
    struct Seen {
        std::int32_t index;
        float value;
        std::size_t hostCallsBefore;
    };
    std::vector<Seen> seen;
    RecordingHost* host;
};

TEST(HostServiceAutomation, SetsTheParameterFirstThenTellsTheHost) {
    RecordingHost host;
    AutomationWitness synth(RecordingHost::callback, &host);
    synth.setParameterAutomated(kNoteCut, 0.5f);
    ASSERT_EQ(synth.seen.size(), 1u);
    EXPECT_EQ(synth.seen[0].index, kNoteCut);
    EXPECT_EQ(synth.seen[0].value, 0.5f);
    EXPECT_EQ(synth.seen[0].hostCallsBefore, 0u);
    EXPECT_EQ(synth.getParameter(kNoteCut), 0.5f);
    ASSERT_FALSE(host.calls.empty());
    const HostCall& last = host.calls.back();
    EXPECT_EQ(last.opcode, audioMasterAutomate);
    EXPECT_EQ(last.index, kNoteCut);
    EXPECT_EQ(last.value, 0);
    EXPECT_EQ(last.ptr, nullptr);
    EXPECT_EQ(last.opt, 0.5f);
    EXPECT_EQ(host.count(audioMasterAutomate), 1u);
}

TEST(HostServiceAutomation, WithoutACallbackTheParameterIsStillSet) {
    AutomationWitness synth(nullptr, nullptr);
    synth.setParameterAutomated(kOutputGain, 0.25f);
    ASSERT_EQ(synth.seen.size(), 1u);
    EXPECT_EQ(synth.getParameter(kOutputGain), 0.25f);
}

// Flag setters: each sets or clears its own bit and leaves the others.
struct FlagCase {
    const char* name;
    void (*set)(Quorvel&, bool);
    std::int32_t afterTrue;   // from the fresh 0x110
    std::int32_t afterFalse;  // from the fresh 0x110
};

std::ostream& operator<<(std::ostream& os, const FlagCase& c) { return os << c.name; }

class FlagSetter : public ::testing::TestWithParam<FlagCase> {};

TEST_P(FlagSetter, SetsAndClearsOnlyItsBit) {
    const FlagCase& c = GetParam();
    RecordingHost host;
    Quorvel synth(RecordingHost::callback);
    AEffect* e = synth.getAeffect();
    ASSERT_EQ(e->flags, 0x110);
    c.set(synth, true);
    EXPECT_EQ(e->flags, c.afterTrue) << c;
    c.set(synth, true);
    EXPECT_EQ(e->flags, c.afterTrue) << c << " set twice";
    c.set(synth, false);
    c.set(synth, false);
    EXPECT_EQ(e->flags, c.afterFalse) << c;
    c.set(synth, true);
    EXPECT_EQ(e->flags, c.afterTrue) << c << " set again";
    EXPECT_TRUE(host.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryFlag, FlagSetter,
    ::testing::Values(
        FlagCase{"hasClip", [](Quorvel& q, bool s) { q.hasClip(s); }, 0x112, 0x110},
        FlagCase{"hasVu", [](Quorvel& q, bool s) { q.hasVu(s); }, 0x114, 0x110},
        FlagCase{"canMono", [](Quorvel& q, bool s) { q.canMono(s); }, 0x118, 0x110},
        FlagCase{"canProcessReplacing", [](Quorvel& q, bool s) { q.canProcessReplacing(s); }, 0x110, 0x100},
        FlagCase{"programsAreChunks", [](Quorvel& q, bool s) { q.programsAreChunks(s); }, 0x130, 0x110},
        FlagCase{"isSynth", [](Quorvel& q, bool s) { q.isSynth(s); }, 0x110, 0x010},
        FlagCase{"noTail", [](Quorvel& q, bool s) { q.noTail(s); }, 0x310, 0x110},
        FlagCase{"wantAsyncOperation", [](Quorvel& q, bool s) { q.wantAsyncOperation(s); }, 0x510, 0x110},
        FlagCase{"hasExternalBuffer", [](Quorvel& q, bool s) { q.hasExternalBuffer(s); }, 0x910, 0x110},
        FlagCase{"canDoubleReplacing", [](Quorvel& q, bool s) { q.canDoubleReplacing(s); }, 0x1110, 0x110}));

TEST(RecordValueSetters, EachStoresItsOwnFieldUnchanged) {
    RecordingHost host;
    Quorvel synth(RecordingHost::callback);
    AEffect* e = synth.getAeffect();
    AEffect before;
    std::memcpy(&before, e, sizeof before);
    synth.setInitialDelay(441);
    synth.setRealtimeQualities(-3);
    synth.setOfflineQualities(70000);
    EXPECT_EQ(e->initialDelay, 441);
    EXPECT_EQ(e->realQualities, -3);
    EXPECT_EQ(e->offQualities, 70000);
    before.initialDelay = 441;
    before.realQualities = -3;
    before.offQualities = 70000;
    EXPECT_EQ(std::memcmp(&before, e, sizeof before), 0) << "another field of the record changed";
    EXPECT_TRUE(host.calls.empty());
}

TEST(PlugCategory, FollowsTheSynthFlagWithoutAskingTheHost) {
    RecordingHost host;
    Quorvel synth(RecordingHost::callback);
    AEffect* e = synth.getAeffect();
    EXPECT_EQ(synth.getPlugCategory(), kPlugCategSynth);
    synth.isSynth(false);
    EXPECT_EQ(synth.getPlugCategory(), kPlugCategUnknown);
    EXPECT_EQ(e->dispatcher(e, effGetPlugCategory, 0, 0, nullptr, 0.0f), 0);
    synth.isSynth(true);
    EXPECT_EQ(e->dispatcher(e, effGetPlugCategory, 0, 0, nullptr, 0.0f), 2);
    EXPECT_TRUE(host.calls.empty());
}

// The switch-on hook. A subclass decides what canDo answers and records
// every question it is asked.
class CanDoWitness : public Quorvel {
public:
    explicit CanDoWitness(audioMasterCallback cb) : Quorvel(cb) {}
    std::int32_t canDo(char* text) override {
        asked.emplace_back(text ? text : "(null)");
        return useOwnAnswer ? Quorvel::canDo(text) : answer;
    }
    std::vector<std::string> asked;
    bool useOwnAnswer = true;
    std::int32_t answer = 0;
};

void expectOneMidiRequest(const RecordingHost& host, const AEffect* e) {
    ASSERT_EQ(host.calls.size(), 1u);
    const HostCall& c = host.calls[0];
    EXPECT_EQ(c.effect, e);
    EXPECT_EQ(c.opcode, audioMasterWantMidi);
    EXPECT_EQ(c.index, 0);
    EXPECT_EQ(c.value, 1);
    EXPECT_EQ(c.ptr, nullptr);
    EXPECT_EQ(c.opt, 0.0f);
}

TEST(Resume, AFreshInstrumentAsksForMidiWithoutConsultingCanDo) {
    RecordingHost host;
    CanDoWitness synth(RecordingHost::callback);
    AEffect* e = synth.getAeffect();
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    expectOneMidiRequest(host, e);
    EXPECT_TRUE(synth.asked.empty());

    // Every switch-on asks again; switching off asks nothing.
    host.calls.clear();
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    EXPECT_TRUE(host.calls.empty());
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    expectOneMidiRequest(host, e);
}

TEST(Resume, WithoutTheSynthFlagItAsksCanDoFirst) {
    RecordingHost host;
    CanDoWitness synth(RecordingHost::callback);
    synth.isSynth(false);
    synth.resume();
    ASSERT_EQ(synth.asked.size(), 1u);
    EXPECT_EQ(synth.asked[0], "receiveVstMidiEvent");
    expectOneMidiRequest(host, synth.getAeffect());
}

TEST(Resume, OnlyACanDoAnswerOfExactlyOneSendsTheRequest) {
    for (std::int32_t answer : {-1, 0, 2, 1}) {
        RecordingHost host;
        CanDoWitness synth(RecordingHost::callback);
        synth.isSynth(false);
        synth.useOwnAnswer = false;
        synth.answer = answer;
        synth.resume();
        EXPECT_EQ(synth.asked.size(), 1u);
        EXPECT_EQ(host.calls.size(), answer == 1 ? 1u : 0u) << "canDo answered " << answer;
    }
}

// Every processed block asks the host for the rate exactly once, also a block
// with no samples, and nothing else is asked while rendering.
TEST(ProcessSampleRate, AskedOncePerBlockWhateverItsLength) {
    std::intptr_t answer = 48000;
    RecordingHost host([&answer](const HostCall& c) { return c.opcode == audioMasterGetSampleRate ? answer : 0; });
    Quorvel synth(RecordingHost::callback);
    AEffect* e = synth.getAeffect();
    synth.engine().queueEvent(SynthEvent{EventKind::Note, 0, 69, 100, 0.0f});
    std::size_t blocks = 0;
    for (std::int32_t frames : {64, 0, 1, 300, -4}) {
        renderBlock(e, frames);
        ++blocks;
        EXPECT_EQ(host.count(audioMasterGetSampleRate), blocks) << "after a block of " << frames;
    }
    EXPECT_EQ(host.calls.size(), blocks) << "only the rate was asked";
    EXPECT_EQ(synth.getSampleRate(), 48000.0f);

    answer = 0;
    renderBlock(e, 16);
    EXPECT_EQ(synth.getSampleRate(), 48000.0f);
    answer = -1;
    renderBlock(e, 0);
    EXPECT_EQ(synth.getSampleRate(), 48000.0f);
}

}  // namespace
