// The dispatcher: which operation every opcode reaches, with which operands,
// how the operation's result becomes the answer, and which opcodes reach
// nothing at all. A probe class records every operation the dispatcher could
// plausibly route to; the recording host catches any request to the host.
// The tables are contracts written from the outside: opcodes are the numbers
// hosts send, never the named constants of the code under test.
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

#include "plugin/quorvel.h"
#include "support/event_list.h"
#include "support/recording_host.h"

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

// Overrides every operation a dispatcher request could reach: each override
// records itself with its operands and answers the scripted values (the sample
// rate and block size are stored as well).
class Probe : public Quorvel {
public:
    explicit Probe(audioMasterCallback cb) : Quorvel(cb) {}

    std::vector<Reached> reached;
    std::int32_t intAnswer = 0;
    bool boolAnswer = false;
    std::intptr_t wideAnswer = 0;

    // Each override records itself and answers the scripted value.
    void record(const char* op, std::vector<std::string> args) { reached.push_back(Reached{op, std::move(args)}); }
    std::int32_t number(const char* op, std::vector<std::string> args) {
        record(op, std::move(args));
        return intAnswer;
    }
    bool truth(const char* op, std::vector<std::string> args) {
        record(op, std::move(args));
        return boolAnswer;
    }

    void open() override { record(__func__, {}); }
    void close() override { record(__func__, {}); }
    void suspend() override { record(__func__, {}); }
    void resume() override { record(__func__, {}); }
    void setSampleRate(float r) override {
        record(__func__, {F(r)});
        Quorvel::setSampleRate(r);
    }
    void setBlockSize(std::int32_t n) override {
        record(__func__, {I(n)});
        Quorvel::setBlockSize(n);
    }
    void setProgram(std::int32_t p) override { record(__func__, {I(p)}); }
    std::int32_t getProgram() override { return number(__func__, {}); }
    void setProgramName(char* name) override { record(__func__, {P(name)}); }
    void getProgramName(char* name) override { record(__func__, {P(name)}); }
    void getParameterLabel(std::int32_t i, char* t) override { record(__func__, {I(i), P(t)}); }
    void getParameterDisplay(std::int32_t i, char* t) override { record(__func__, {I(i), P(t)}); }
    void getParameterName(std::int32_t i, char* t) override { record(__func__, {I(i), P(t)}); }
    std::int32_t getChunk(void** data, bool isPreset) override { return number(__func__, {P(data), B(isPreset)}); }
    std::int32_t setChunk(void* data, std::int32_t size, bool isPreset) override {
        return number(__func__, {P(data), I(size), B(isPreset)});
    }
    float getVu() override {
        record(__func__, {});
        return 0.0f;
    }

    std::int32_t processEvents(VstEvents* ev) override { return number(__func__, {P(ev)}); }
    bool canParameterBeAutomated(std::int32_t i) override { return truth(__func__, {I(i)}); }
    bool string2parameter(std::int32_t i, char* t) override { return truth(__func__, {I(i), P(t)}); }
    bool getParameterProperties(std::int32_t i, VstParameterProperties* p) override {
        return truth(__func__, {I(i), P(p)});
    }
    bool getProgramNameIndexed(std::int32_t category, std::int32_t i, char* t) override {
        return truth(__func__, {I(category), I(i), P(t)});
    }
    bool beginSetProgram() override { return truth(__func__, {}); }
    bool endSetProgram() override { return truth(__func__, {}); }
    std::int32_t beginLoadBank(VstPatchChunkInfo* p) override { return number(__func__, {P(p)}); }
    std::int32_t beginLoadProgram(VstPatchChunkInfo* p) override { return number(__func__, {P(p)}); }
    bool getInputProperties(std::int32_t i, VstPinProperties* p) override { return truth(__func__, {I(i), P(p)}); }
    bool getOutputProperties(std::int32_t i, VstPinProperties* p) override { return truth(__func__, {I(i), P(p)}); }
    bool setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) override {
        return truth(__func__, {P(in), P(out)});
    }
    bool getSpeakerArrangement(VstSpeakerArrangement** in, VstSpeakerArrangement** out) override {
        return truth(__func__, {P(in), P(out)});
    }
    bool setBypass(bool on) override { return truth(__func__, {B(on)}); }
    bool setPanLaw(std::int32_t type, float value) override { return truth(__func__, {I(type), F(value)}); }
    bool setProcessPrecision(std::int32_t precision) override { return truth(__func__, {I(precision)}); }
    std::int32_t getNumMidiInputChannels() override { return number(__func__, {}); }
    std::int32_t getNumMidiOutputChannels() override { return number(__func__, {}); }
    std::int32_t startProcess() override { return number(__func__, {}); }
    std::int32_t stopProcess() override { return number(__func__, {}); }
    bool processVariableIo(VstVariableIo* io) override { return truth(__func__, {P(io)}); }
    std::int32_t setTotalSampleToProcess(std::int32_t v) override { return number(__func__, {I(v)}); }
    std::int32_t getGetTailSize() override { return number(__func__, {}); }
    bool getEffectName(char* t) override { return truth(__func__, {P(t)}); }
    bool getVendorString(char* t) override { return truth(__func__, {P(t)}); }
    bool getProductString(char* t) override { return truth(__func__, {P(t)}); }
    std::int32_t getVendorVersion() override { return number(__func__, {}); }
    std::intptr_t vendorSpecific(std::int32_t a, std::intptr_t b, void* p, float f) override {
        record(__func__, {I(a), I(b), P(p), F(f)});
        return wideAnswer;
    }
    std::int32_t canDo(char* t) override { return number(__func__, {P(t)}); }
    std::int32_t getVstVersion() override { return number(__func__, {}); }
    std::int32_t getPlugCategory() override { return number(__func__, {}); }
    std::int32_t getMidiProgramName(std::int32_t ch, MidiProgramName* p) override {
        return number(__func__, {I(ch), P(p)});
    }
    std::int32_t getCurrentMidiProgram(std::int32_t ch, MidiProgramName* p) override {
        return number(__func__, {I(ch), P(p)});
    }
    std::int32_t getMidiProgramCategory(std::int32_t ch, MidiProgramCategory* c) override {
        return number(__func__, {I(ch), P(c)});
    }
    bool hasMidiProgramsChanged(std::int32_t ch) override { return truth(__func__, {I(ch)}); }
    bool getMidiKeyName(std::int32_t ch, MidiKeyName* k) override { return truth(__func__, {I(ch), P(k)}); }
    std::int32_t getNextShellPlugin(char* name) override { return number(__func__, {P(name)}); }
    bool offlineNotify(VstAudioFile* p, std::int32_t n, bool start) override {
        return truth(__func__, {P(p), I(n), B(start)});
    }
    bool offlinePrepare(VstOfflineTask* t, std::int32_t n) override { return truth(__func__, {P(t), I(n)}); }
    bool offlineRun(VstOfflineTask* t, std::int32_t n) override { return truth(__func__, {P(t), I(n)}); }
    std::int32_t offlineGetNumPasses() override {
        record(__func__, {});
        return 0;
    }
    std::int32_t offlineGetNumMetaPasses() override {
        record(__func__, {});
        return 0;
    }
    // Deprecated operations an opcode of the same name once reached.
    std::int32_t getNumCategories() override {
        record(__func__, {});
        return 1;
    }
    bool copyProgram(std::int32_t d) override {
        record(__func__, {I(d)});
        return false;
    }
    void inputConnected(std::int32_t i, bool s) override { record(__func__, {I(i), B(s)}); }
    void outputConnected(std::int32_t i, bool s) override { record(__func__, {I(i), B(s)}); }
    std::int32_t reportCurrentPosition() override {
        record(__func__, {});
        return 0;
    }
    float* reportDestinationBuffer() override {
        record(__func__, {});
        return nullptr;
    }
    void setBlockSizeAndSampleRate(std::int32_t n, float r) override { record(__func__, {I(n), F(r)}); }
    bool getErrorText(char* t) override {
        record(__func__, {P(t)});
        return false;
    }
    void* getIcon() override {
        record(__func__, {});
        return nullptr;
    }
    bool setViewPosition(std::int32_t x, std::int32_t y) override {
        record(__func__, {I(x), I(y)});
        return false;
    }
    std::int32_t fxIdle() override {
        record(__func__, {});
        return 0;
    }
    bool keysRequired() override {
        record(__func__, {});
        return false;
    }
};

// Locations the requests point at. Their contents are never read by the
// probe; only their addresses travel.
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
        {0, k, "open", {}, Answer::Zero},
        {1, k, "close", {}, Answer::Zero},
        {2, {3, 0, gText, 0.75f}, "setProgram", {I(0)}, Answer::Zero},
        {2, {3, -1, gText, 0.75f}, "setProgram", {I(-1)}, Answer::Zero},
        {3, k, "getProgram", {}, Answer::Result},
        {4, k, "setProgramName", {P(gText)}, Answer::Zero},
        {5, k, "getProgramName", {P(gText)}, Answer::Zero},
        {6, k, "getParameterLabel", {I(3), P(gText)}, Answer::Zero},
        {7, k, "getParameterDisplay", {I(3), P(gText)}, Answer::Zero},
        {8, k, "getParameterName", {I(3), P(gText)}, Answer::Zero},
        {10, k, "setSampleRate", {F(0.75f)}, Answer::Zero},
        {11, k, "setBlockSize", {I(21)}, Answer::Zero},
        {12, zeroValue, "suspend", {}, Answer::Zero},
        {12, k, "resume", {}, Answer::Zero},
        {12, {3, -1, gText, 0.75f}, "resume", {}, Answer::Zero},
        {23, k, "getChunk", {P(gText), B(true)}, Answer::Result},
        {23, zeroIndex, "getChunk", {P(gText), B(false)}, Answer::Result},
        {24, k, "setChunk", {P(gText), I(21), B(true)}, Answer::Result},
        {24, zeroIndex, "setChunk", {P(gText), I(21), B(false)}, Answer::Result},
        {25, k, "processEvents", {P(gText)}, Answer::Result},
        {26, k, "canParameterBeAutomated", {I(3)}, Answer::Bool},
        {27, k, "string2parameter", {I(3), P(gText)}, Answer::Bool},
        {29, k, "getProgramNameIndexed", {I(21), I(3), P(gText)}, Answer::Bool},
        {33, k, "getInputProperties", {I(3), P(gText)}, Answer::Bool},
        {34, k, "getOutputProperties", {I(3), P(gText)}, Answer::Bool},
        {35, k, "getPlugCategory", {}, Answer::Result},
        {38, k, "offlineNotify", {P(gText), I(21), B(true)}, Answer::Bool},
        {38, zeroIndex, "offlineNotify", {P(gText), I(21), B(false)}, Answer::Bool},
        {39, k, "offlinePrepare", {P(gText), I(21)}, Answer::Bool},
        {40, k, "offlineRun", {P(gText), I(21)}, Answer::Bool},
        {41, k, "processVariableIo", {P(gText)}, Answer::Bool},
        {42, locations, "setSpeakerArrangement", {P(&gInArrangement), P(&gOutArrangement)}, Answer::Bool},
        {44, k, "setBypass", {B(true)}, Answer::Bool},
        {44, zeroValue, "setBypass", {B(false)}, Answer::Bool},
        {45, k, "getEffectName", {P(gText)}, Answer::Bool},
        {47, k, "getVendorString", {P(gText)}, Answer::Bool},
        {48, k, "getProductString", {P(gText)}, Answer::Bool},
        {49, k, "getVendorVersion", {}, Answer::Result},
        {50, k, "vendorSpecific", {I(3), I(21), P(gText), F(0.75f)}, Answer::Wide},
        {51, k, "canDo", {P(gText)}, Answer::Result},
        {52, k, "getGetTailSize", {}, Answer::Result},
        {56, k, "getParameterProperties", {I(3), P(gText)}, Answer::Bool},
        {58, k, "getVstVersion", {}, Answer::Result},
        {62, k, "getMidiProgramName", {I(3), P(gText)}, Answer::Result},
        {63, k, "getCurrentMidiProgram", {I(3), P(gText)}, Answer::Result},
        {64, k, "getMidiProgramCategory", {I(3), P(gText)}, Answer::Result},
        {65, k, "hasMidiProgramsChanged", {I(3)}, Answer::Bool},
        {66, k, "getMidiKeyName", {I(3), P(gText)}, Answer::Bool},
        {67, k, "beginSetProgram", {}, Answer::Bool},
        {68, k, "endSetProgram", {}, Answer::Bool},
        {69, locations, "getSpeakerArrangement", {P(&gInArrangement), P(&gOutArrangement)}, Answer::Bool},
        {70, k, "getNextShellPlugin", {P(gText)}, Answer::Result},
        {71, k, "startProcess", {}, Answer::Result},
        {72, k, "stopProcess", {}, Answer::Result},
        {73, k, "setTotalSampleToProcess", {I(21)}, Answer::Result},
        {74, k, "setPanLaw", {I(21), F(0.75f)}, Answer::Bool},
        {75, k, "beginLoadBank", {P(gText)}, Answer::Result},
        {76, k, "beginLoadProgram", {P(gText)}, Answer::Result},
        {77, k, "setProcessPrecision", {I(21)}, Answer::Bool},
        {78, k, "getNumMidiInputChannels", {}, Answer::Result},
        {79, k, "getNumMidiOutputChannels", {}, Answer::Result},
    };
}

// Opcodes that reach no operation: unused and deprecated numbers, editor
// requests (there is no editor), identification, and numbers outside the
// table, among them ones whose low bits look like handled opcodes.
// clang-format off
const std::vector<std::int32_t> kCallsNothing = {
    -1, 9, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
    28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, 59, 60, 61, 80, 1000,
    INT_MIN, INT_MIN + 25, INT_MIN + 0, -58, 0x10000 + 58,
};
// clang-format on

class DispatcherRouting : public ::testing::TestWithParam<Row> {
protected:
    std::intptr_t send(const Row& row) {
        probe.reached.clear();
        const Request& r = row.request;
        AEffect* e = probe.getAeffect();
        // Through the record for every request but close, which would end the object.
        if (row.opcode == 1) return probe.dispatcher(row.opcode, r.index, r.value, r.ptr, r.opt);
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
        EXPECT_EQ(answer, opcode == 22 ? 0x4E764566 : 0) << "opcode " << opcode;
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

// The bound test of 2 compares the whole value, signed, with the
// number of programs: 0 and below reach setProgram, 1 and above do not.
TEST(DispatcherSetProgram, OnlyValuesBelowTheProgramCountReachSetProgram) {
    RecordingHost host;
    Probe probe(RecordingHost::callback);
    AEffect* e = probe.getAeffect();
    const std::intptr_t values[] = {INTPTR_MIN, -1, 0, 1, 5, INT_MAX, static_cast<std::intptr_t>(UINT_MAX)};
    for (std::intptr_t v : values) {
        probe.reached.clear();
        EXPECT_EQ(e->dispatcher(e, 2, 0, v, nullptr, 0.0f), 0);
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
    void* ptr = a.opcode == 25 ? static_cast<void*>(none.get()) : buf;
    VstSpeakerArrangement* loc = nullptr;
    const std::intptr_t value = (a.opcode == 69 || a.opcode == 42) ? asValue(&loc) : a.value;
    if (a.opcode == 69) ptr = &loc;
    EXPECT_EQ(e->dispatcher(e, a.opcode, a.index, value, ptr, 44100.0f), a.expected) << "opcode " << a.opcode;
    EXPECT_TRUE(host.calls.empty()) << "opcode " << a.opcode;
}

// Opcode, index, value -> the instrument's answer.
// clang-format off
const std::vector<InstrumentAnswer> kInstrumentAnswers = {
    {0, 0, 0, 0}, {2, 0, 0, 0}, {3, 0, 0, 0}, {6, 1, 0, 0}, {10, 0, 0, 0}, {11, 0, 512, 0}, {12, 0, 0, 0},
    {22, 0, 0, 0x4E764566}, {23, 1, 0, 0}, {24, 1, 16, 0}, {25, 0, 0, 1}, {26, 0, 0, 1}, {26, 7, 0, 1},
    {26, 1000, 0, 1}, {26, -1, 0, 1}, {27, 0, 0, 0}, {29, 0, 0, 0}, {33, 0, 0, 0}, {34, 0, 0, 0}, {35, 0, 0, 2},
    {38, 1, 1, 0}, {39, 0, 1, 0}, {40, 0, 1, 0}, {41, 0, 0, 0}, {42, 0, 0, 0}, {44, 0, 1, 0}, {50, 1, 2, 0},
    {52, 0, 0, 0}, {56, 0, 0, 0}, {58, 0, 0, 2400}, {62, 0, 0, 0}, {63, 0, 0, -1}, {64, 0, 0, 0}, {65, 0, 0, 0},
    {66, 0, 0, 0}, {67, 0, 0, 0}, {68, 0, 0, 0}, {69, 0, 0, 0}, {70, 0, 0, 0}, {71, 0, 0, 0}, {72, 0, 0, 0},
    {73, 0, 12345, 12345}, {73, 0, -3, -3}, {74, 0, 1, 0}, {75, 0, 0, 0}, {76, 0, 0, 0}, {77, 0, 1, 0},
    {78, 0, 0, 1}, {79, 0, 0, 0}
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(TheInstrument, InstrumentAnswers, ::testing::ValuesIn(kInstrumentAnswers));

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
        EXPECT_EQ(dispatch(2, 0, v), 0) << "value " << v;
        EXPECT_EQ(dispatch(3), 0) << "after selecting " << v;
    }
}

TEST_F(DispatcherInstrument, SampleRateAndBlockSizeRequestsOnlyStoreTheValue) {
    EXPECT_EQ(dispatch(10, 0, 0, nullptr, 96000.0f), 0);
    EXPECT_EQ(synth.getSampleRate(), 96000.0f);
    EXPECT_EQ(dispatch(11, 0, 64), 0);
    EXPECT_EQ(synth.getBlockSize(), 64);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(DispatcherInstrument, SwitchingOnAsksForMidiAndSwitchingOffAsksNothing) {
    EXPECT_EQ(dispatch(12, 0, 0), 0);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(dispatch(12, 0, 1), 0);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, 6);  // the request for MIDI
}

TEST_F(DispatcherInstrument, GetChunkLeavesTheDataLocationAlone) {
    int marker = 0;
    void* data = &marker;
    EXPECT_EQ(dispatch(23, 0, 0, &data), 0);
    EXPECT_EQ(data, &marker);
    EXPECT_EQ(dispatch(23, 1, 0, &data), 0);
    EXPECT_EQ(data, &marker);
    EXPECT_EQ(dispatch(24, 1, sizeof marker, &marker), 0);
}

TEST_F(DispatcherInstrument, GetSpeakerArrangementNullsBothLocations) {
    VstSpeakerArrangement dummy{};
    VstSpeakerArrangement* in = &dummy;
    VstSpeakerArrangement* out = &dummy;
    EXPECT_EQ(dispatch(69, 0, asValue(&in), &out), 0);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(out, nullptr);
}

// A host that leaves out one or both locations gets the same answer, and the
// location it did pass is still cleared.
TEST_F(DispatcherInstrument, GetSpeakerArrangementWithoutLocationsAnswersZero) {
    VstSpeakerArrangement dummy{};
    VstSpeakerArrangement* in = &dummy;
    VstSpeakerArrangement* out = &dummy;
    EXPECT_EQ(dispatch(69, 0, 0, nullptr), 0);
    EXPECT_EQ(dispatch(69, 0, asValue(&in), nullptr), 0);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(dispatch(69, 0, 0, &out), 0);
    EXPECT_EQ(out, nullptr);
}

TEST_F(DispatcherInstrument, CurrentMidiProgramIsMinusOneInEveryBit) {
    EXPECT_EQ(static_cast<std::uintptr_t>(dispatch(63)), ~static_cast<std::uintptr_t>(0));
}

// 1 sent to the operation itself only reaches close: the object lives
// on and keeps working; destroying it is the record entry's work.
TEST(DispatcherClose, TheOperationAloneLeavesTheObjectAlive) {
    RecordingHost host;
    Probe probe(RecordingHost::callback);
    EXPECT_EQ(probe.dispatcher(1, 0, 0, nullptr, 0.0f), 0);
    ASSERT_EQ(probe.reached.size(), 1u);
    EXPECT_EQ(probe.reached[0].op, "close");
    EXPECT_TRUE(host.calls.empty());

    AEffect* e = probe.getAeffect();
    EXPECT_EQ(e->object, static_cast<AudioEffect*>(&probe));
    probe.intAnswer = 2400;
    EXPECT_EQ(e->dispatcher(e, 58, 0, 0, nullptr, 0.0f), 2400);
}

}  // namespace
