// Requests the plug-in makes of its host: for each service the opcode, where
// each argument travels (index, value, ptr, opt), how the answer is read, and
// what the service gives without a host callback. Then the flag setters, the
// category query, the switch-on hook and the per-block sample-rate query.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/recording_host.h"
#include "support/render.h"
#include "plugin/quorvel.h"

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

std::vector<ServiceCase> noArgumentServices() {
    return {
        {"getMasterVersion",
         [](Quorvel& q) { return q.getMasterVersion(); },
         audioMasterVersion,
         0,
         0,
         nullptr,
         0.0f,
         {{0, 1}, {2400, 2400}, {-2, -2}},
         1},
        {"getCurrentUniqueId", [](Quorvel& q) { return q.getCurrentUniqueId(); }, audioMasterCurrentId, 0, 0, nullptr,
         0.0f, kAsIs32, 0},
        {"masterIdle", [](Quorvel& q) { return (q.masterIdle(), std::intptr_t{0}); }, audioMasterIdle, 0, 0, nullptr,
         0.0f, kNone, 0},
        {"getNumAutomatableParameters", [](Quorvel& q) { return q.getNumAutomatableParameters(); },
         audioMasterGetNumAutomatableParameters, 0, 0, nullptr, 0.0f, kAsIs32, 0},
        {"getParameterQuantization", [](Quorvel& q) { return q.getParameterQuantization(); },
         audioMasterGetParameterQuantization, 0, 0, nullptr, 0.0f, kAsIs32, 0},
        {"ioChanged", [](Quorvel& q) { return answerOf(q.ioChanged()); }, audioMasterIOChanged, 0, 0, nullptr, 0.0f,
         kBool, 0},
        {"needIdle", [](Quorvel& q) { return answerOf(q.needIdle()); }, audioMasterNeedIdle, 0, 0, nullptr, 0.0f, kBool,
         0},
        {"getInputLatency", [](Quorvel& q) { return q.getInputLatency(); }, audioMasterGetInputLatency, 0, 0, nullptr,
         0.0f, kAsIs32, 0},
        {"getOutputLatency", [](Quorvel& q) { return q.getOutputLatency(); }, audioMasterGetOutputLatency, 0, 0,
         nullptr, 0.0f, kAsIs32, 0},
        // The pin number is not passed on.
        {"getPreviousPlug", [](Quorvel& q) { return addr(q.getPreviousPlug(5)); }, audioMasterGetPreviousPlug, 0, 0,
         nullptr, 0.0f, kPointer, 0},
        {"getNextPlug", [](Quorvel& q) { return addr(q.getNextPlug(5)); }, audioMasterGetNextPlug, 0, 0, nullptr, 0.0f,
         kPointer, 0},
        {"willProcessReplacing", [](Quorvel& q) { return q.willProcessReplacing(); },
         audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0.0f, kAsIs32, 0},
        {"getCurrentProcessLevel", [](Quorvel& q) { return q.getCurrentProcessLevel(); },
         audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f, kAsIs32, 0},
        {"getAutomationState", [](Quorvel& q) { return q.getAutomationState(); }, audioMasterGetAutomationState, 0, 0,
         nullptr, 0.0f, kAsIs32, 0},
        {"offlineGetCurrentPass", [](Quorvel& q) { return q.offlineGetCurrentPass(); },
         audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0.0f, kZeroOne, 0},
        {"offlineGetCurrentMetaPass", [](Quorvel& q) { return q.offlineGetCurrentMetaPass(); },
         audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0.0f, kZeroOne, 0},
        {"getOutputSpeakerArrangement", [](Quorvel& q) { return addr(q.getOutputSpeakerArrangement()); },
         audioMasterGetOutputSpeakerArrangement, 0, 0, nullptr, 0.0f, kPointer, 0},
        {"getHostVendorVersion", [](Quorvel& q) { return q.getHostVendorVersion(); }, audioMasterGetVendorVersion, 0, 0,
         nullptr, 0.0f, kAsIs32, 0},
        {"getHostLanguage", [](Quorvel& q) { return q.getHostLanguage(); }, audioMasterGetLanguage, 0, 0, nullptr, 0.0f,
         kAsIs32, 0},
        {"getDirectory", [](Quorvel& q) { return addr(q.getDirectory()); }, audioMasterGetDirectory, 0, 0, nullptr,
         0.0f, kPointer, 0},
        {"updateDisplay", [](Quorvel& q) { return answerOf(q.updateDisplay()); }, audioMasterUpdateDisplay, 0, 0,
         nullptr, 0.0f, kBool, 0},
        {"getInputSpeakerArrangement", [](Quorvel& q) { return addr(q.getInputSpeakerArrangement()); },
         audioMasterGetInputSpeakerArrangement, 0, 0, nullptr, 0.0f, kPointer, 0},
    };
}

std::vector<ServiceCase> argumentServices() {
    return {
        // The value travels in opt alone, whole: 2.5 would read as 2 in value.
        {"setParameterAutomated(7, 2.5)",
         [](Quorvel& q) { return (q.setParameterAutomated(7, 2.5f), std::intptr_t{0}); }, audioMasterAutomate, 7, 0,
         nullptr, 2.5f, kNone, 0},
        {"isInputConnected(2)", [](Quorvel& q) { return answerOf(q.isInputConnected(2)); }, audioMasterPinConnected, 2,
         0, nullptr, 0.0f, kInverted, 1},
        {"isOutputConnected(3)", [](Quorvel& q) { return answerOf(q.isOutputConnected(3)); }, audioMasterPinConnected,
         3, 1, nullptr, 0.0f, kInverted, 1},
        {"wantEvents(1)", [](Quorvel& q) { return (q.wantEvents(1), std::intptr_t{0}); }, audioMasterWantMidi, 0, 1,
         nullptr, 0.0f, kNone, 0},
        {"wantEvents(9)", [](Quorvel& q) { return (q.wantEvents(9), std::intptr_t{0}); }, audioMasterWantMidi, 0, 9,
         nullptr, 0.0f, kNone, 0},
        {"getTimeInfo(0x2F00)", [](Quorvel& q) { return addr(q.getTimeInfo(0x2F00)); }, audioMasterGetTime, 0, 0x2F00,
         nullptr, 0.0f, kPointer, 0},
        {"tempoAt(4410)", [](Quorvel& q) { return q.tempoAt(4410); }, audioMasterTempoAt, 0, 4410, nullptr, 0.0f,
         kAsIs32, 0},
        {"sizeWindow(640, 480)", [](Quorvel& q) { return answerOf(q.sizeWindow(640, 480)); }, audioMasterSizeWindow,
         640, 480, nullptr, 0.0f, kBool, 0},
        {"offlineStart(files, 3, 2)",
         [](Quorvel& q) { return answerOf(q.offlineStart(as<VstAudioFile>(gBuffer), 3, 2)); }, audioMasterOfflineStart,
         2, 3, gBuffer, 0.0f, kBool, 0},
        {"offlineRead(task, 9, true)",
         [](Quorvel& q) { return answerOf(q.offlineRead(as<VstOfflineTask>(gBuffer), 9, true)); },
         audioMasterOfflineRead, 1, 9, gBuffer, 0.0f, kBool, 0},
        {"offlineRead(task, 9, false)",
         [](Quorvel& q) { return answerOf(q.offlineRead(as<VstOfflineTask>(gBuffer), 9, false)); },
         audioMasterOfflineRead, 0, 9, gBuffer, 0.0f, kBool, 0},
        {"offlineWrite(task, 4)", [](Quorvel& q) { return answerOf(q.offlineWrite(as<VstOfflineTask>(gBuffer), 4)); },
         audioMasterOfflineWrite, 0, 4, gBuffer, 0.0f, kBool, 0},
        {"setOutputSamplerate(96000)", [](Quorvel& q) { return (q.setOutputSamplerate(96000.0f), std::intptr_t{0}); },
         audioMasterSetOutputSampleRate, 0, 0, nullptr, 96000.0f, kNone, 0},
        {"getHostVendorString", [](Quorvel& q) { return answerOf(q.getHostVendorString(gBuffer)); },
         audioMasterGetVendorString, 0, 0, gBuffer, 0.0f, kBool, 0},
        {"getHostProductString", [](Quorvel& q) { return answerOf(q.getHostProductString(gBuffer)); },
         audioMasterGetProductString, 0, 0, gBuffer, 0.0f, kBool, 0},
        {"hostVendorSpecific(7, -9, p, 2.5)",
         [](Quorvel& q) { return q.hostVendorSpecific(7, -9, gBuffer, 2.5f); },
         audioMasterVendorSpecific,
         7,
         -9,
         gBuffer,
         2.5f,
         {{0, 0}, {-77777, -77777}, {INTPTR_MAX - 1, INTPTR_MAX - 1}},
         0},
        {"canHostDo", [](Quorvel& q) { return q.canHostDo(gBuffer); }, audioMasterCanDo, 0, 0, gBuffer, 0.0f, kZeroOne,
         0},
        {"openWindow", [](Quorvel& q) { return addr(q.openWindow(as<VstWindow>(gBuffer))); }, audioMasterOpenWindow, 0,
         0, gBuffer, 0.0f, kPointer, 0},
        {"closeWindow", [](Quorvel& q) { return answerOf(q.closeWindow(as<VstWindow>(gBuffer))); },
         audioMasterCloseWindow, 0, 0, gBuffer, 0.0f, kBool, 0},
        {"beginEdit(6)", [](Quorvel& q) { return answerOf(q.beginEdit(6)); }, audioMasterBeginEdit, 6, 0, nullptr, 0.0f,
         kBool, 0},
        {"endEdit(6)", [](Quorvel& q) { return answerOf(q.endEdit(6)); }, audioMasterEndEdit, 6, 0, nullptr, 0.0f,
         kBool, 0},
        {"openFileSelector", [](Quorvel& q) { return answerOf(q.openFileSelector(as<VstFileSelect>(gBuffer))); },
         audioMasterOpenFileSelector, 0, 0, gBuffer, 0.0f, kBool, 0},
        {"closeFileSelector", [](Quorvel& q) { return answerOf(q.closeFileSelector(as<VstFileSelect>(gBuffer))); },
         audioMasterCloseFileSelector, 0, 0, gBuffer, 0.0f, kBool, 0},
        {"getChunkFile", [](Quorvel& q) { return answerOf(q.getChunkFile(gBuffer)); }, audioMasterGetChunkFile, 0, 0,
         gBuffer, 0.0f, kBool, 0},
    };
}

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

INSTANTIATE_TEST_SUITE_P(WithoutArguments, HostService, ::testing::ValuesIn(noArgumentServices()));
INSTANTIATE_TEST_SUITE_P(WithArguments, HostService, ::testing::ValuesIn(argumentServices()));

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
