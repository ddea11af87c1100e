// The entry point's work, the effect record after construction, the six
// record entry functions and how an instance ends.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "plugin/quorvel.h"
#include "support/instrument_test.h"
#include "support/recording_host.h"
#include "support/render.h"

using namespace quorvel;

namespace {

bool allZero(const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i)
        if (b[i] != 0) return false;
    return true;
}

TEST(EntryPoint, AHostAnsweringVersionZeroGetsNothing) {
    RecordingHost host([](const HostCall&) -> std::intptr_t { return 0; });
    EXPECT_EQ(createQuorvelEffect(RecordingHost::callback), nullptr);
    expectOnlyAVersionQuery(host);
}

TEST(EntryPoint, NoCallbackCreatesNothing) { EXPECT_EQ(createQuorvelEffect(nullptr), nullptr); }

// Any non-zero version answer will do, also a negative one; construction
// itself asks the host nothing.
TEST(EntryPoint, AnyNonZeroVersionCreatesAnInstanceWithoutFurtherCalls) {
    for (std::intptr_t version : {1, 2400, -1}) {
        RecordingHost host(RecordingHost::answering(audioMasterVersion, version));
        AEffect* e = createQuorvelEffect(RecordingHost::callback);
        ASSERT_NE(e, nullptr) << "version " << version;
        ASSERT_EQ(host.calls.size(), 1u);
        EXPECT_EQ(host.calls[0].opcode, audioMasterVersion);
        EXPECT_EQ(host.calls[0].effect, nullptr);
        EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
        EXPECT_EQ(host.calls.size(), 1u) << "closing asked the host";
    }
}

class FreshRecord : public InstrumentTest {
protected:
    void TearDown() override {
        const bool open = effect != nullptr;
        InstrumentTest::TearDown();
        if (open) {
            EXPECT_EQ(closeAnswer, 1);
        }
        EXPECT_TRUE(host.calls.empty()) << "the host was asked something";
    }
    Quorvel& instrument() { return *static_cast<Quorvel*>(effectOf(effect)); }
    Engine& synth() { return instrument().engine(); }
};

TEST_F(FreshRecord, HoldsTheInstrumentsValues) {
    EXPECT_EQ(effect->magic, 0x56737450);
    EXPECT_EQ(effect->numPrograms, 1);
    EXPECT_EQ(effect->numParams, 8);
    EXPECT_EQ(effect->numInputs, 0);
    EXPECT_EQ(effect->numOutputs, 2);
    EXPECT_EQ(effect->flags, effFlagsCanReplacing | effFlagsIsSynth);
    EXPECT_EQ(effect->flags & (effFlagsHasEditor | effFlagsCanDoubleReplacing), 0);
    EXPECT_EQ(effect->resvd1, 0);
    EXPECT_EQ(effect->resvd2, 0);
    EXPECT_EQ(effect->initialDelay, 0);
    EXPECT_EQ(effect->realQualities, 0);
    EXPECT_EQ(effect->offQualities, 0);
    EXPECT_EQ(effect->ioRatio, 1.0f);
    EXPECT_EQ(effect->user, nullptr);
    EXPECT_EQ(effect->uniqueID, 0x6B7A7437);
    EXPECT_EQ(effect->version, 1);
    EXPECT_TRUE(allZero(effect->future, sizeof effect->future));

    // Six distinct entry functions, the double-precision one included although
    // its flag is clear.
    std::set<const void*> entries = {reinterpret_cast<const void*>(effect->dispatcher),
                                     reinterpret_cast<const void*>(effect->process),
                                     reinterpret_cast<const void*>(effect->setParameter),
                                     reinterpret_cast<const void*>(effect->getParameter),
                                     reinterpret_cast<const void*>(effect->processReplacing),
                                     reinterpret_cast<const void*>(effect->processDoubleReplacing)};
    EXPECT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries.count(nullptr), 0u);
}

// The record leads to its object and the object back to the record.
TEST_F(FreshRecord, ObjectAndRecordConvertIntoEachOther) {
    ASSERT_NE(effect->object, nullptr);
    AudioEffect* object = effectOf(effect);
    EXPECT_EQ(object->getAeffect(), effect);
    EXPECT_NE(dynamic_cast<Quorvel*>(object), nullptr);
    const auto* objectBytes = reinterpret_cast<const unsigned char*>(object);
    const auto* recordBytes = reinterpret_cast<const unsigned char*>(effect);
    EXPECT_GE(recordBytes, objectBytes);
    EXPECT_LT(recordBytes, objectBytes + sizeof(Quorvel)) << "the record lives inside the object";
}

TEST_F(FreshRecord, BaseAndEngineStateStartAsDocumented) {
    Quorvel& q = instrument();
    EXPECT_EQ(q.getSampleRate(), 44100.0f);
    EXPECT_EQ(q.getBlockSize(), 1024);
    EXPECT_EQ(q.getEditor(), nullptr);
    EXPECT_EQ(q.getProgram(), 0);
    for (int v = 0; v < kNumVoices; ++v) EXPECT_LT(q.engine().voice(v).note, 0) << "voice " << v;
    for (int k = 0; k < 128; ++k) ASSERT_FALSE(q.engine().keyHeld(k)) << "key " << k;
    EXPECT_TRUE(q.engine().queue().empty());
    EXPECT_EQ(q.engine().currentOutputBit(), 0);
    EXPECT_EQ(q.engine().currentNoteVolume(), 1.0f);
    EXPECT_EQ(q.engine().currentBendRange(), 2.0f);
    EXPECT_EQ(q.engine().currentBendSemitones(), 0.0f);
    EXPECT_EQ(q.engine().currentWheelDepth(), 0.0f);
    EXPECT_EQ(q.engine().currentLfoPhase(), 0.0f);
    const float defaults[8] = {0.05f, 1.0f, 0.5f, 0.0f, 0.0f, 0.5f, 0.25f, 0.5f};
    for (std::int32_t i = 0; i < 8; ++i) EXPECT_EQ(effect->getParameter(effect, i), defaults[i]) << "param " << i;
}

TEST_F(FreshRecord, ParametersRoundTripThroughTheRecordUnclamped) {
    const float values[8] = {0.0f, 0.125f, 1.0f, 0.3f, -0.25f, 1.5f, 0.999f, 2.0f};
    for (std::int32_t i = 0; i < 8; ++i) effect->setParameter(effect, i, values[i]);
    for (std::int32_t i = 0; i < 8; ++i) EXPECT_EQ(effect->getParameter(effect, i), values[i]) << "param " << i;
    host.calls.clear();  // setting "Note cut" refreshes the host's display
}

// The deprecated accumulating process and the double-precision process do
// nothing: the buffers keep what they held, no event is applied and the host
// is not asked for the sample rate.
TEST_F(FreshRecord, ProcessAndDoubleReplacingLeaveTheBuffersAlone) {
    synth().queueEvent(SynthEvent{EventKind::Note, 0, 69, 100, 0.0f});
    std::vector<float> f0(32, 0.25f), f1(32, -0.5f);
    float* fouts[2] = {f0.data(), f1.data()};
    effect->process(effect, fouts, fouts, 32);
    for (int i = 0; i < 32; ++i) {
        ASSERT_EQ(f0[i], 0.25f);
        ASSERT_EQ(f1[i], -0.5f);
    }
    std::vector<double> d0(32, 0.25), d1(32, -0.5);
    double* douts[2] = {d0.data(), d1.data()};
    effect->processDoubleReplacing(effect, douts, douts, 32);
    for (int i = 0; i < 32; ++i) {
        ASSERT_EQ(d0[i], 0.25);
        ASSERT_EQ(d1[i], -0.5);
    }
    EXPECT_LT(synth().voice(0).note, 0);
    EXPECT_EQ(synth().queue().size(), 1u);
}

// Each entry function hands its arguments unchanged to one operation of the
// object and returns that operation's result.
class EntryWitness : public Quorvel {
public:
    explicit EntryWitness(audioMasterCallback cb) : Quorvel(cb) {}
    std::intptr_t dispatcher(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                             float opt) override {
        lastDispatch = {nullptr, opcode, index, value, ptr, opt};
        return dispatchAnswer;
    }
    void setParameter(std::int32_t index, float value) override {
        setIndex = index;
        setValue = value;
    }
    float getParameter(std::int32_t index) override {
        getIndex = index;
        return -42.5f;
    }
    void processReplacing(float** in, float** out, std::int32_t frames) override {
        replacingIn = in;
        replacingOut = out;
        replacingFrames = frames;
    }
    HostCall lastDispatch{};
    std::intptr_t dispatchAnswer = 0;
    std::int32_t setIndex = 0, getIndex = 0, replacingFrames = 0;
    float setValue = 0.0f;
    float** replacingIn = nullptr;
    float** replacingOut = nullptr;
};

TEST(EntryFunctions, PassTheirArgumentsAndResultsUnchanged) {
    RecordingHost host;
    EntryWitness w(RecordingHost::callback);
    AEffect* e = w.getAeffect();
    int marker = 0;
    w.dispatchAnswer = -123456789;
    EXPECT_EQ(e->dispatcher(e, effVendorSpecific, -4, INTPTR_MIN + 5, &marker, -0.125f), -123456789);
    EXPECT_EQ(w.lastDispatch.opcode, effVendorSpecific);
    EXPECT_EQ(w.lastDispatch.index, -4);
    EXPECT_EQ(w.lastDispatch.value, INTPTR_MIN + 5);
    EXPECT_EQ(w.lastDispatch.ptr, &marker);
    EXPECT_EQ(w.lastDispatch.opt, -0.125f);

    e->setParameter(e, 1000, -7.5f);
    EXPECT_EQ(w.setIndex, 1000);
    EXPECT_EQ(w.setValue, -7.5f);
    EXPECT_EQ(e->getParameter(e, -9), -42.5f);
    EXPECT_EQ(w.getIndex, -9);

    float* in[2] = {nullptr, nullptr};
    float* out[2] = {nullptr, nullptr};
    e->processReplacing(e, in, out, 777);
    EXPECT_EQ(w.replacingIn, in);
    EXPECT_EQ(w.replacingOut, out);
    EXPECT_EQ(w.replacingFrames, 777);
    EXPECT_TRUE(host.calls.empty());
}

// Close through the record: the object's close is reached once, the object is
// destroyed (its destructor runs, AddressSanitizer sees the memory go), and
// the answer is 1 whatever the object's dispatcher answered.
struct CloseLog {
    int closes = 0;
    int destructions = 0;
    std::size_t hostCallsSeen = 0;
};

class CloseWitness : public Quorvel {
public:
    CloseWitness(audioMasterCallback cb, CloseLog* log) : Quorvel(cb), closeLog(log) {}
    ~CloseWitness() override { ++closeLog->destructions; }
    void close() override { ++closeLog->closes; }
    std::intptr_t dispatcher(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                             float opt) override {
        const std::intptr_t answer = Quorvel::dispatcher(opcode, index, value, ptr, opt);
        return opcode == effClose ? 77 : answer;
    }

private:
    CloseLog* closeLog;
};

TEST(Close, ThroughTheRecordDestroysTheObjectAndAnswersOne) {
    RecordingHost host;
    CloseLog log;
    auto* witness = new CloseWitness(RecordingHost::callback, &log);
    AEffect* e = witness->getAeffect();
    // Give the queue storage to release.
    for (int i = 0; i < 100; ++i) witness->engine().queueEvent(SynthEvent{EventKind::Note, i, 60, 100, 0.0f});
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(log.closes, 1);
    EXPECT_EQ(log.destructions, 1);
    EXPECT_TRUE(host.calls.empty());
}

TEST(Close, TheDispatcherOperationAloneKeepsTheObjectWorking) {
    RecordingHost host;
    CloseLog log;
    {
        CloseWitness witness(RecordingHost::callback, &log);
        EXPECT_EQ(witness.dispatcher(effClose, 0, 0, nullptr, 0.0f), 77);
        EXPECT_EQ(witness.AudioEffectX::dispatcher(effClose, 0, 0, nullptr, 0.0f), 0);
        EXPECT_EQ(log.closes, 2);
        EXPECT_EQ(log.destructions, 0);
        // Still an instrument: it plays.
        witness.engine().queueEvent(SynthEvent{EventKind::Note, 0, 69, 100, 0.0f});
        std::vector<float> out = renderBlock(witness.getAeffect(), 8);
        EXPECT_GT(out[0], 0.0f);
    }
    EXPECT_EQ(log.destructions, 1);
}

}  // namespace
