// The dispatcher: which operation every opcode reaches, with which operands,
// how the operation's result becomes the answer, and which opcodes reach
// nothing at all. A probe class records every operation the dispatcher could
// plausibly route to; the recording host catches any request to the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "support/event_list.h"
#include "support/recording_host.h"
#include "plugin/quorvel.h"

using namespace quorvel;

namespace {

// Operands as text, so that a mismatch prints what was passed.
std::string I(std::intptr_t v) { return "int " + std::to_string(v); }
std::string B(bool b) { return b ? "bool true" : "bool false"; }
std::string P(const void* p) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "ptr %p", p);
    return buf;
}
std::string F(float f) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "float %a", static_cast<double>(f));
    return buf;
}

struct Reached {
    std::string op;
    std::vector<std::string> args;
};

// Overrides every operation a dispatcher request could reach. By default each
// override records itself and then does what the instrument does; in
// scripted mode it records itself and answers the scripted values instead.
class Probe : public Quorvel {
public:
    explicit Probe(audioMasterCallback cb) : Quorvel(cb) {}

    std::vector<Reached> reached;
    bool scripted = false;
    std::int32_t intAnswer = 0;
    bool boolAnswer = false;
    std::intptr_t wideAnswer = 0;

#define QV_RECORD(...) reached.push_back(Reached{__func__, {__VA_ARGS__}})
#define QV_INT(expr) return scripted ? intAnswer : (expr)
#define QV_BOOL(expr) return scripted ? boolAnswer : (expr)

    void open() override { QV_RECORD(); }
    void close() override { QV_RECORD(); }
    void suspend() override { QV_RECORD(); }
    void resume() override {
        QV_RECORD();
        if (!scripted) Quorvel::resume();
    }
    void setSampleRate(float r) override {
        QV_RECORD(F(r));
        Quorvel::setSampleRate(r);
    }
    void setBlockSize(std::int32_t n) override {
        QV_RECORD(I(n));
        Quorvel::setBlockSize(n);
    }
    void setProgram(std::int32_t p) override { QV_RECORD(I(p)); }
    std::int32_t getProgram() override {
        QV_RECORD();
        QV_INT(Quorvel::getProgram());
    }
    void setProgramName(char* name) override {
        QV_RECORD(P(name));
        if (!scripted) Quorvel::setProgramName(name);
    }
    void getProgramName(char* name) override {
        QV_RECORD(P(name));
        if (!scripted) Quorvel::getProgramName(name);
    }
    void getParameterLabel(std::int32_t i, char* t) override {
        QV_RECORD(I(i), P(t));
        if (!scripted) Quorvel::getParameterLabel(i, t);
    }
    void getParameterDisplay(std::int32_t i, char* t) override {
        QV_RECORD(I(i), P(t));
        if (!scripted) Quorvel::getParameterDisplay(i, t);
    }
    void getParameterName(std::int32_t i, char* t) override {
        QV_RECORD(I(i), P(t));
        if (!scripted) Quorvel::getParameterName(i, t);
    }
    std::int32_t getChunk(void** data, bool isPreset) override {
        QV_RECORD(P(data), B(isPreset));
        QV_INT(Quorvel::getChunk(data, isPreset));
    }
    std::int32_t setChunk(void* data, std::int32_t size, bool isPreset) override {
        QV_RECORD(P(data), I(size), B(isPreset));
        QV_INT(Quorvel::setChunk(data, size, isPreset));
    }
    float getVu() override {
        QV_RECORD();
        return 0.0f;
    }

    std::int32_t processEvents(VstEvents* ev) override {
        QV_RECORD(P(ev));
        QV_INT(Quorvel::processEvents(ev));
    }
    bool canParameterBeAutomated(std::int32_t i) override {
        QV_RECORD(I(i));
        QV_BOOL(Quorvel::canParameterBeAutomated(i));
    }
    bool string2parameter(std::int32_t i, char* t) override {
        QV_RECORD(I(i), P(t));
        QV_BOOL(Quorvel::string2parameter(i, t));
    }
    bool getParameterProperties(std::int32_t i, VstParameterProperties* p) override {
        QV_RECORD(I(i), P(p));
        QV_BOOL(Quorvel::getParameterProperties(i, p));
    }
    bool getProgramNameIndexed(std::int32_t category, std::int32_t i, char* t) override {
        QV_RECORD(I(category), I(i), P(t));
        QV_BOOL(Quorvel::getProgramNameIndexed(category, i, t));
    }
    bool beginSetProgram() override {
        QV_RECORD();
        QV_BOOL(Quorvel::beginSetProgram());
    }
    bool endSetProgram() override {
        QV_RECORD();
        QV_BOOL(Quorvel::endSetProgram());
    }
    std::int32_t beginLoadBank(VstPatchChunkInfo* p) override {
        QV_RECORD(P(p));
        QV_INT(Quorvel::beginLoadBank(p));
    }
    std::int32_t beginLoadProgram(VstPatchChunkInfo* p) override {
        QV_RECORD(P(p));
        QV_INT(Quorvel::beginLoadProgram(p));
    }
    bool getInputProperties(std::int32_t i, VstPinProperties* p) override {
        QV_RECORD(I(i), P(p));
        QV_BOOL(Quorvel::getInputProperties(i, p));
    }
    bool getOutputProperties(std::int32_t i, VstPinProperties* p) override {
        QV_RECORD(I(i), P(p));
        QV_BOOL(Quorvel::getOutputProperties(i, p));
    }
    bool setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) override {
        QV_RECORD(P(in), P(out));
        QV_BOOL(Quorvel::setSpeakerArrangement(in, out));
    }
    bool getSpeakerArrangement(VstSpeakerArrangement** in, VstSpeakerArrangement** out) override {
        QV_RECORD(P(in), P(out));
        QV_BOOL(Quorvel::getSpeakerArrangement(in, out));
    }
    bool setBypass(bool on) override {
        QV_RECORD(B(on));
        QV_BOOL(Quorvel::setBypass(on));
    }
    bool setPanLaw(std::int32_t type, float value) override {
        QV_RECORD(I(type), F(value));
        QV_BOOL(Quorvel::setPanLaw(type, value));
    }
    bool setProcessPrecision(std::int32_t precision) override {
        QV_RECORD(I(precision));
        QV_BOOL(Quorvel::setProcessPrecision(precision));
    }
    std::int32_t getNumMidiInputChannels() override {
        QV_RECORD();
        QV_INT(Quorvel::getNumMidiInputChannels());
    }
    std::int32_t getNumMidiOutputChannels() override {
        QV_RECORD();
        QV_INT(Quorvel::getNumMidiOutputChannels());
    }
    std::int32_t startProcess() override {
        QV_RECORD();
        QV_INT(Quorvel::startProcess());
    }
    std::int32_t stopProcess() override {
        QV_RECORD();
        QV_INT(Quorvel::stopProcess());
    }
    bool processVariableIo(VstVariableIo* io) override {
        QV_RECORD(P(io));
        QV_BOOL(Quorvel::processVariableIo(io));
    }
    std::int32_t setTotalSampleToProcess(std::int32_t v) override {
        QV_RECORD(I(v));
        QV_INT(Quorvel::setTotalSampleToProcess(v));
    }
    std::int32_t getGetTailSize() override {
        QV_RECORD();
        QV_INT(Quorvel::getGetTailSize());
    }
    bool getEffectName(char* t) override {
        QV_RECORD(P(t));
        QV_BOOL(Quorvel::getEffectName(t));
    }
    bool getVendorString(char* t) override {
        QV_RECORD(P(t));
        QV_BOOL(Quorvel::getVendorString(t));
    }
    bool getProductString(char* t) override {
        QV_RECORD(P(t));
        QV_BOOL(Quorvel::getProductString(t));
    }
    std::int32_t getVendorVersion() override {
        QV_RECORD();
        QV_INT(Quorvel::getVendorVersion());
    }
    std::intptr_t vendorSpecific(std::int32_t a, std::intptr_t b, void* p, float f) override {
        QV_RECORD(I(a), I(b), P(p), F(f));
        return scripted ? wideAnswer : Quorvel::vendorSpecific(a, b, p, f);
    }
    std::int32_t canDo(char* t) override {
        QV_RECORD(P(t));
        QV_INT(Quorvel::canDo(t));
    }
    std::int32_t getVstVersion() override {
        QV_RECORD();
        QV_INT(Quorvel::getVstVersion());
    }
    std::int32_t getPlugCategory() override {
        QV_RECORD();
        QV_INT(Quorvel::getPlugCategory());
    }
    std::int32_t getMidiProgramName(std::int32_t ch, MidiProgramName* p) override {
        QV_RECORD(I(ch), P(p));
        QV_INT(Quorvel::getMidiProgramName(ch, p));
    }
    std::int32_t getCurrentMidiProgram(std::int32_t ch, MidiProgramName* p) override {
        QV_RECORD(I(ch), P(p));
        QV_INT(Quorvel::getCurrentMidiProgram(ch, p));
    }
    std::int32_t getMidiProgramCategory(std::int32_t ch, MidiProgramCategory* c) override {
        QV_RECORD(I(ch), P(c));
        QV_INT(Quorvel::getMidiProgramCategory(ch, c));
    }
    bool hasMidiProgramsChanged(std::int32_t ch) override {
        QV_RECORD(I(ch));
        QV_BOOL(Quorvel::hasMidiProgramsChanged(ch));
    }
    bool getMidiKeyName(std::int32_t ch, MidiKeyName* k) override {
        QV_RECORD(I(ch), P(k));
        QV_BOOL(Quorvel::getMidiKeyName(ch, k));
    }
    std::int32_t getNextShellPlugin(char* name) override {
        QV_RECORD(P(name));
        QV_INT(Quorvel::getNextShellPlugin(name));
    }
    bool offlineNotify(VstAudioFile* p, std::int32_t n, bool start) override {
        QV_RECORD(P(p), I(n), B(start));
        QV_BOOL(Quorvel::offlineNotify(p, n, start));
    }
    bool offlinePrepare(VstOfflineTask* t, std::int32_t n) override {
        QV_RECORD(P(t), I(n));
        QV_BOOL(Quorvel::offlinePrepare(t, n));
    }
    bool offlineRun(VstOfflineTask* t, std::int32_t n) override {
        QV_RECORD(P(t), I(n));
        QV_BOOL(Quorvel::offlineRun(t, n));
    }
    std::int32_t offlineGetNumPasses() override {
        QV_RECORD();
        return 0;
    }
    std::int32_t offlineGetNumMetaPasses() override {
        QV_RECORD();
        return 0;
    }
    // Deprecated operations an opcode of the same name once reached.
    std::int32_t getNumCategories() override {
        QV_RECORD();
        return 1;
    }
    bool copyProgram(std::int32_t d) override {
        QV_RECORD(I(d));
        return false;
    }
    void inputConnected(std::int32_t i, bool s) override { QV_RECORD(I(i), B(s)); }
    void outputConnected(std::int32_t i, bool s) override { QV_RECORD(I(i), B(s)); }
    std::int32_t reportCurrentPosition() override {
        QV_RECORD();
        return 0;
    }
    float* reportDestinationBuffer() override {
        QV_RECORD();
        return nullptr;
    }
    void setBlockSizeAndSampleRate(std::int32_t n, float r) override { QV_RECORD(I(n), F(r)); }
    bool getErrorText(char* t) override {
        QV_RECORD(P(t));
        return false;
    }
    void* getIcon() override {
        QV_RECORD();
        return nullptr;
    }
    bool setViewPosition(std::int32_t x, std::int32_t y) override {
        QV_RECORD(I(x), I(y));
        return false;
    }
    std::int32_t fxIdle() override {
        QV_RECORD();
        return 0;
    }
    bool keysRequired() override {
        QV_RECORD();
        return false;
    }

#undef QV_RECORD
#undef QV_INT
#undef QV_BOOL
};

// Locations the requests point at. Their contents are never read by the
// probe in scripted mode; only their addresses travel.
char gText[64];
VstSpeakerArrangement* gInArrangement;
VstSpeakerArrangement* gOutArrangement;

struct Request {
    std::int32_t index;
    std::intptr_t value;
    void* ptr;
    float opt;
};

// The operands most rows use: all four distinct and non-zero.
const Request kStd{3, 21, gText, 0.75f};

enum class Answer { Zero, Bool, Result, Wide };

struct Row {
    std::int32_t opcode;
    Request request;
    const char* op;
    std::vector<std::string> args;
    Answer answer;
};

std::ostream& operator<<(std::ostream& os, const Row& r) { return os << "opcode " << r.opcode << " " << r.op; }

std::intptr_t asValue(const void* p) { return reinterpret_cast<std::intptr_t>(p); }

// Every opcode that reaches an operation: which one, and with which operands
// in the operation's argument order.
std::vector<Row> handledRows() {
    const Request k = kStd;
    const Request zeroIndex{0, 21, gText, 0.75f};
    const Request zeroValue{3, 0, gText, 0.75f};
    const Request locations{3, asValue(&gInArrangement), &gOutArrangement, 0.75f};
    return {
        {effOpen, k, "open", {}, Answer::Zero},
        {effClose, k, "close", {}, Answer::Zero},
        {effSetProgram, {3, 0, gText, 0.75f}, "setProgram", {I(0)}, Answer::Zero},
        {effSetProgram, {3, -1, gText, 0.75f}, "setProgram", {I(-1)}, Answer::Zero},
        {effGetProgram, k, "getProgram", {}, Answer::Result},
        {effSetProgramName, k, "setProgramName", {P(gText)}, Answer::Zero},
        {effGetProgramName, k, "getProgramName", {P(gText)}, Answer::Zero},
        {effGetParamLabel, k, "getParameterLabel", {I(3), P(gText)}, Answer::Zero},
        {effGetParamDisplay, k, "getParameterDisplay", {I(3), P(gText)}, Answer::Zero},
        {effGetParamName, k, "getParameterName", {I(3), P(gText)}, Answer::Zero},
        {effSetSampleRate, k, "setSampleRate", {F(0.75f)}, Answer::Zero},
        {effSetBlockSize, k, "setBlockSize", {I(21)}, Answer::Zero},
        {effMainsChanged, zeroValue, "suspend", {}, Answer::Zero},
        {effMainsChanged, k, "resume", {}, Answer::Zero},
        {effMainsChanged, {3, -1, gText, 0.75f}, "resume", {}, Answer::Zero},
        {effGetChunk, k, "getChunk", {P(gText), B(true)}, Answer::Result},
        {effGetChunk, zeroIndex, "getChunk", {P(gText), B(false)}, Answer::Result},
        {effSetChunk, k, "setChunk", {P(gText), I(21), B(true)}, Answer::Result},
        {effSetChunk, zeroIndex, "setChunk", {P(gText), I(21), B(false)}, Answer::Result},
        {effProcessEvents, k, "processEvents", {P(gText)}, Answer::Result},
        {effCanBeAutomated, k, "canParameterBeAutomated", {I(3)}, Answer::Bool},
        {effString2Parameter, k, "string2parameter", {I(3), P(gText)}, Answer::Bool},
        {effGetProgramNameIndexed, k, "getProgramNameIndexed", {I(21), I(3), P(gText)}, Answer::Bool},
        {effGetInputProperties, k, "getInputProperties", {I(3), P(gText)}, Answer::Bool},
        {effGetOutputProperties, k, "getOutputProperties", {I(3), P(gText)}, Answer::Bool},
        {effGetPlugCategory, k, "getPlugCategory", {}, Answer::Result},
        {effOfflineNotify, k, "offlineNotify", {P(gText), I(21), B(true)}, Answer::Bool},
        {effOfflineNotify, zeroIndex, "offlineNotify", {P(gText), I(21), B(false)}, Answer::Bool},
        {effOfflinePrepare, k, "offlinePrepare", {P(gText), I(21)}, Answer::Bool},
        {effOfflineRun, k, "offlineRun", {P(gText), I(21)}, Answer::Bool},
        {effProcessVarIo, k, "processVariableIo", {P(gText)}, Answer::Bool},
        {effSetSpeakerArrangement,
         locations,
         "setSpeakerArrangement",
         {P(&gInArrangement), P(&gOutArrangement)},
         Answer::Bool},
        {effSetBypass, k, "setBypass", {B(true)}, Answer::Bool},
        {effSetBypass, zeroValue, "setBypass", {B(false)}, Answer::Bool},
        {effGetEffectName, k, "getEffectName", {P(gText)}, Answer::Bool},
        {effGetVendorString, k, "getVendorString", {P(gText)}, Answer::Bool},
        {effGetProductString, k, "getProductString", {P(gText)}, Answer::Bool},
        {effGetVendorVersion, k, "getVendorVersion", {}, Answer::Result},
        {effVendorSpecific, k, "vendorSpecific", {I(3), I(21), P(gText), F(0.75f)}, Answer::Wide},
        {effCanDo, k, "canDo", {P(gText)}, Answer::Result},
        {effGetTailSize, k, "getGetTailSize", {}, Answer::Result},
        {effGetParameterProperties, k, "getParameterProperties", {I(3), P(gText)}, Answer::Bool},
        {effGetVstVersion, k, "getVstVersion", {}, Answer::Result},
        {effGetMidiProgramName, k, "getMidiProgramName", {I(3), P(gText)}, Answer::Result},
        {effGetCurrentMidiProgram, k, "getCurrentMidiProgram", {I(3), P(gText)}, Answer::Result},
        {effGetMidiProgramCategory, k, "getMidiProgramCategory", {I(3), P(gText)}, Answer::Result},
        {effHasMidiProgramsChanged, k, "hasMidiProgramsChanged", {I(3)}, Answer::Bool},
        {effGetMidiKeyName, k, "getMidiKeyName", {I(3), P(gText)}, Answer::Bool},
        {effBeginSetProgram, k, "beginSetProgram", {}, Answer::Bool},
        {effEndSetProgram, k, "endSetProgram", {}, Answer::Bool},
        {effGetSpeakerArrangement,
         locations,
         "getSpeakerArrangement",
         {P(&gInArrangement), P(&gOutArrangement)},
         Answer::Bool},
        {effShellGetNextPlugin, k, "getNextShellPlugin", {P(gText)}, Answer::Result},
        {effStartProcess, k, "startProcess", {}, Answer::Result},
        {effStopProcess, k, "stopProcess", {}, Answer::Result},
        {effSetTotalSampleToProcess, k, "setTotalSampleToProcess", {I(21)}, Answer::Result},
        {effSetPanLaw, k, "setPanLaw", {I(21), F(0.75f)}, Answer::Bool},
        {effBeginLoadBank, k, "beginLoadBank", {P(gText)}, Answer::Result},
        {effBeginLoadProgram, k, "beginLoadProgram", {P(gText)}, Answer::Result},
        {effSetProcessPrecision, k, "setProcessPrecision", {I(21)}, Answer::Bool},
        {effGetNumMidiInputChannels, k, "getNumMidiInputChannels", {}, Answer::Result},
        {effGetNumMidiOutputChannels, k, "getNumMidiOutputChannels", {}, Answer::Result},
    };
}

// Opcodes that reach no operation: unused and deprecated numbers, editor
// requests (there is no editor), identification, and numbers outside the
// table, among them ones whose low bits look like handled opcodes.
// clang-format off
const std::vector<std::int32_t> kCallsNothing = {
    -1, 9, 13, 14, 15, 16, 17, 18, 19, 20, 21, effIdentify,
    28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, 59, 60, 61, 80, 1000,
    INT_MIN, INT_MIN + effProcessEvents, INT_MIN + effOpen, -effGetVstVersion, 0x10000 + effGetVstVersion,
};
// clang-format on

class DispatcherRouting : public ::testing::TestWithParam<Row> {
protected:
    std::intptr_t send(const Row& row) {
        probe.reached.clear();
        const Request& r = row.request;
        AEffect* e = probe.getAeffect();
        // Through the record for every request but close, which would end the object.
        if (row.opcode == effClose) return probe.dispatcher(row.opcode, r.index, r.value, r.ptr, r.opt);
        return e->dispatcher(e, row.opcode, r.index, r.value, r.ptr, r.opt);
    }
    void expectReachedOnce(const Row& row) {
        ASSERT_EQ(probe.reached.size(), 1u) << row << ": operations reached";
        EXPECT_EQ(probe.reached[0].op, row.op) << row;
        EXPECT_EQ(probe.reached[0].args, row.args) << row;
        EXPECT_TRUE(host.calls.empty()) << row << ": the dispatcher itself asked the host";
    }

    RecordingHost host;
    Probe probe{RecordingHost::callback};
};

TEST_P(DispatcherRouting, ReachesItsOperationWithItsOperandsAndFormsTheAnswer) {
    const Row& row = GetParam();
    probe.scripted = true;

    // Results: negative values arrive sign-widened, large ones unchanged.
    for (std::int32_t result : {-5, 70000}) {
        probe.intAnswer = result;
        for (bool truth : {true, false}) {
            probe.boolAnswer = truth;
            probe.wideAnswer = static_cast<std::intptr_t>(INTPTR_MAX / 3) * (truth ? 1 : -1);
            const std::intptr_t answer = send(row);
            expectReachedOnce(row);
            switch (row.answer) {
                case Answer::Zero:
                    EXPECT_EQ(answer, 0) << row;
                    break;
                case Answer::Bool:
                    EXPECT_EQ(answer, truth ? 1 : 0) << row;
                    break;
                case Answer::Result:
                    EXPECT_EQ(answer, static_cast<std::intptr_t>(result)) << row;
                    break;
                case Answer::Wide:
                    EXPECT_EQ(answer, probe.wideAnswer) << row;
                    break;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryHandledOpcode, DispatcherRouting, ::testing::ValuesIn(handledRows()));

class DispatcherSilence : public ::testing::TestWithParam<std::int32_t> {
protected:
    RecordingHost host;
    Probe probe{RecordingHost::callback};
};

TEST_P(DispatcherSilence, ReachesNothingAndAsksTheHostNothing) {
    const std::int32_t opcode = GetParam();
    AEffect* e = probe.getAeffect();
    host.calls.clear();
    char before[sizeof gText];
    std::memcpy(before, gText, sizeof gText);
    for (const Request& r : {kStd, Request{0, 0, nullptr, 0.0f}, Request{-7, -1, gText, -1.0f}}) {
        const std::intptr_t answer = e->dispatcher(e, opcode, r.index, r.value, r.ptr, r.opt);
        EXPECT_EQ(answer, opcode == effIdentify ? 0x4E764566 : 0) << "opcode " << opcode;
    }
    for (const Reached& r : probe.reached) ADD_FAILURE() << "opcode " << opcode << " reached " << r.op;
    EXPECT_TRUE(host.calls.empty()) << "opcode " << opcode;
    EXPECT_EQ(std::memcmp(before, gText, sizeof gText), 0) << "opcode " << opcode << " wrote through ptr";
}

INSTANTIATE_TEST_SUITE_P(UnhandledAndEditorOpcodes, DispatcherSilence, ::testing::ValuesIn(kCallsNothing));

TEST(DispatcherTables, CoverEveryOpcodeFromMinusOneToEightyAndThousand) {
    std::set<std::int32_t> covered(kCallsNothing.begin(), kCallsNothing.end());
    for (const Row& row : handledRows()) {
        EXPECT_EQ(std::count(kCallsNothing.begin(), kCallsNothing.end(), row.opcode), 0)
            << "opcode " << row.opcode << " is in both tables";
        covered.insert(row.opcode);
    }
    for (std::int32_t op = -1; op <= 80; ++op) EXPECT_TRUE(covered.count(op)) << "opcode " << op << " untested";
    EXPECT_TRUE(covered.count(1000));
}

// The bound test of effSetProgram compares the whole value, signed, with the
// number of programs: 0 and below reach setProgram, 1 and above do not.
TEST(DispatcherSetProgram, OnlyValuesBelowTheProgramCountReachSetProgram) {
    RecordingHost host;
    Probe probe(RecordingHost::callback);
    AEffect* e = probe.getAeffect();
    const std::intptr_t values[] = {INTPTR_MIN, -1, 0, 1, 5, INT_MAX, static_cast<std::intptr_t>(UINT_MAX)};
    for (std::intptr_t v : values) {
        probe.reached.clear();
        EXPECT_EQ(e->dispatcher(e, effSetProgram, 0, v, nullptr, 0.0f), 0);
        const bool expected = v < 1;
        ASSERT_EQ(probe.reached.size(), expected ? 1u : 0u) << "value " << v;
        if (expected) {
            EXPECT_EQ(probe.reached[0].op, "setProgram");
        }
    }
}

// The instrument's own answers through the record, and that none of these
// requests makes the instrument call its host.
struct InstrumentAnswer {
    std::int32_t opcode;
    std::int32_t index;
    std::intptr_t value;
    std::intptr_t expected;
};

class InstrumentAnswers : public ::testing::TestWithParam<InstrumentAnswer> {};

TEST_P(InstrumentAnswers, AnswerWithoutAskingTheHost) {
    const InstrumentAnswer& a = GetParam();
    RecordingHost host;
    Quorvel synth(RecordingHost::callback);
    AEffect* e = synth.getAeffect();
    // Every request gets a real buffer and a real empty event list, so an
    // answer cannot depend on a missing location.
    char buf[256] = {};
    EventList none;
    void* ptr = a.opcode == effProcessEvents ? static_cast<void*>(none.get()) : buf;
    VstSpeakerArrangement* loc = nullptr;
    const std::intptr_t value =
        (a.opcode == effGetSpeakerArrangement || a.opcode == effSetSpeakerArrangement) ? asValue(&loc) : a.value;
    if (a.opcode == effGetSpeakerArrangement) ptr = &loc;
    EXPECT_EQ(e->dispatcher(e, a.opcode, a.index, value, ptr, 44100.0f), a.expected) << "opcode " << a.opcode;
    EXPECT_TRUE(host.calls.empty()) << "opcode " << a.opcode;
}

INSTANTIATE_TEST_SUITE_P(
    TheInstrument, InstrumentAnswers,
    ::testing::Values(
        InstrumentAnswer{effOpen, 0, 0, 0}, InstrumentAnswer{effSetProgram, 0, 0, 0},
        InstrumentAnswer{effGetProgram, 0, 0, 0}, InstrumentAnswer{effGetParamLabel, 1, 0, 0},
        InstrumentAnswer{effSetSampleRate, 0, 0, 0}, InstrumentAnswer{effSetBlockSize, 0, 512, 0},
        InstrumentAnswer{effMainsChanged, 0, 0, 0}, InstrumentAnswer{effIdentify, 0, 0, 0x4E764566},
        InstrumentAnswer{effGetChunk, 1, 0, 0}, InstrumentAnswer{effSetChunk, 1, 16, 0},
        InstrumentAnswer{effProcessEvents, 0, 0, 1}, InstrumentAnswer{effCanBeAutomated, 0, 0, 1},
        InstrumentAnswer{effCanBeAutomated, 7, 0, 1}, InstrumentAnswer{effCanBeAutomated, 1000, 0, 1},
        InstrumentAnswer{effCanBeAutomated, -1, 0, 1}, InstrumentAnswer{effString2Parameter, 0, 0, 0},
        InstrumentAnswer{effGetProgramNameIndexed, 0, 0, 0}, InstrumentAnswer{effGetInputProperties, 0, 0, 0},
        InstrumentAnswer{effGetOutputProperties, 0, 0, 0}, InstrumentAnswer{effGetPlugCategory, 0, 0, 2},
        InstrumentAnswer{effOfflineNotify, 1, 1, 0}, InstrumentAnswer{effOfflinePrepare, 0, 1, 0},
        InstrumentAnswer{effOfflineRun, 0, 1, 0}, InstrumentAnswer{effProcessVarIo, 0, 0, 0},
        InstrumentAnswer{effSetSpeakerArrangement, 0, 0, 0}, InstrumentAnswer{effSetBypass, 0, 1, 0},
        InstrumentAnswer{effVendorSpecific, 1, 2, 0}, InstrumentAnswer{effGetTailSize, 0, 0, 0},
        InstrumentAnswer{effGetParameterProperties, 0, 0, 0}, InstrumentAnswer{effGetVstVersion, 0, 0, 2400},
        InstrumentAnswer{effGetMidiProgramName, 0, 0, 0}, InstrumentAnswer{effGetCurrentMidiProgram, 0, 0, -1},
        InstrumentAnswer{effGetMidiProgramCategory, 0, 0, 0}, InstrumentAnswer{effHasMidiProgramsChanged, 0, 0, 0},
        InstrumentAnswer{effGetMidiKeyName, 0, 0, 0}, InstrumentAnswer{effBeginSetProgram, 0, 0, 0},
        InstrumentAnswer{effEndSetProgram, 0, 0, 0}, InstrumentAnswer{effGetSpeakerArrangement, 0, 0, 0},
        InstrumentAnswer{effShellGetNextPlugin, 0, 0, 0}, InstrumentAnswer{effStartProcess, 0, 0, 0},
        InstrumentAnswer{effStopProcess, 0, 0, 0}, InstrumentAnswer{effSetTotalSampleToProcess, 0, 12345, 12345},
        InstrumentAnswer{effSetTotalSampleToProcess, 0, -3, -3}, InstrumentAnswer{effSetPanLaw, 0, 1, 0},
        InstrumentAnswer{effBeginLoadBank, 0, 0, 0}, InstrumentAnswer{effBeginLoadProgram, 0, 0, 0},
        InstrumentAnswer{effSetProcessPrecision, 0, 1, 0}, InstrumentAnswer{effGetNumMidiInputChannels, 0, 0, 1},
        InstrumentAnswer{effGetNumMidiOutputChannels, 0, 0, 0}));

class DispatcherInstrument : public ::testing::Test {
protected:
    std::intptr_t dispatch(std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0, void* ptr = nullptr,
                           float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    RecordingHost host;
    Quorvel synth{RecordingHost::callback};
    AEffect* effect = synth.getAeffect();
};

TEST_F(DispatcherInstrument, ProgramSelectionNeverChangesTheProgram) {
    for (std::intptr_t v : {0, 5, -2, 1}) {
        EXPECT_EQ(dispatch(effSetProgram, 0, v), 0) << "value " << v;
        EXPECT_EQ(dispatch(effGetProgram), 0) << "after selecting " << v;
    }
}

TEST_F(DispatcherInstrument, SampleRateAndBlockSizeRequestsOnlyStoreTheValue) {
    EXPECT_EQ(dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f), 0);
    EXPECT_EQ(synth.getSampleRate(), 96000.0f);
    EXPECT_EQ(dispatch(effSetBlockSize, 0, 64), 0);
    EXPECT_EQ(synth.getBlockSize(), 64);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(DispatcherInstrument, SwitchingOnAsksForMidiAndSwitchingOffAsksNothing) {
    EXPECT_EQ(dispatch(effMainsChanged, 0, 0), 0);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(dispatch(effMainsChanged, 0, 1), 0);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterWantMidi);
}

TEST_F(DispatcherInstrument, GetChunkLeavesTheDataLocationAlone) {
    int marker = 0;
    void* data = &marker;
    EXPECT_EQ(dispatch(effGetChunk, 0, 0, &data), 0);
    EXPECT_EQ(data, &marker);
    EXPECT_EQ(dispatch(effGetChunk, 1, 0, &data), 0);
    EXPECT_EQ(data, &marker);
    EXPECT_EQ(dispatch(effSetChunk, 1, sizeof marker, &marker), 0);
}

TEST_F(DispatcherInstrument, GetSpeakerArrangementNullsBothLocations) {
    VstSpeakerArrangement dummy{};
    VstSpeakerArrangement* in = &dummy;
    VstSpeakerArrangement* out = &dummy;
    EXPECT_EQ(dispatch(effGetSpeakerArrangement, 0, asValue(&in), &out), 0);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(out, nullptr);
}

// A host that leaves out one or both locations gets the same answer, and the
// location it did pass is still cleared.
TEST_F(DispatcherInstrument, GetSpeakerArrangementWithoutLocationsAnswersZero) {
    VstSpeakerArrangement dummy{};
    VstSpeakerArrangement* in = &dummy;
    VstSpeakerArrangement* out = &dummy;
    EXPECT_EQ(dispatch(effGetSpeakerArrangement, 0, 0, nullptr), 0);
    EXPECT_EQ(dispatch(effGetSpeakerArrangement, 0, asValue(&in), nullptr), 0);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(dispatch(effGetSpeakerArrangement, 0, 0, &out), 0);
    EXPECT_EQ(out, nullptr);
}

TEST_F(DispatcherInstrument, CurrentMidiProgramIsMinusOneInEveryBit) {
    EXPECT_EQ(static_cast<std::uintptr_t>(dispatch(effGetCurrentMidiProgram)), ~static_cast<std::uintptr_t>(0));
}

// effClose sent to the operation itself only reaches close: the object lives
// on and keeps working; destroying it is the record entry's work.
TEST(DispatcherClose, TheOperationAloneLeavesTheObjectAlive) {
    RecordingHost host;
    Probe probe(RecordingHost::callback);
    EXPECT_EQ(probe.dispatcher(effClose, 0, 0, nullptr, 0.0f), 0);
    ASSERT_EQ(probe.reached.size(), 1u);
    EXPECT_EQ(probe.reached[0].op, "close");
    EXPECT_TRUE(host.calls.empty());

    AEffect* e = probe.getAeffect();
    EXPECT_EQ(e->object, static_cast<AudioEffect*>(&probe));
    EXPECT_EQ(e->dispatcher(e, effGetVstVersion, 0, 0, nullptr, 0.0f), 2400);
}

}  // namespace
