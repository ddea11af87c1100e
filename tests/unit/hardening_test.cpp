// Host input far outside the usual ranges: parameter values that are not
// numbers, infinite, huge or negative, sample rates of zero, NaN or next to
// nothing. Every block must finish, every sample written must be a finite
// number, and once the host is back in range a new note must sound as it
// would on a fresh instrument.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "params/parameters.h"
#include "plugin/quorvel.h"
#include "support/event_list.h"
#include "support/recording_host.h"

using namespace quorvel;

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::nanf("");
constexpr double kTwoPi = 6.283185307179586;

const float kDefaults[kParamCount] = {kDefaultPulseWidth,     kDefaultPhaseReset, kDefaultDetune,   kDefaultNoteCut,
                                      kDefaultVelocityTarget, kDefaultModSpeed,   kDefaultModDepth, kDefaultOutputGain};

// An instrument behind its record, with a host whose sample-rate answer the
// test sets.
class Hardening : public ::testing::Test {
protected:
    void SetUp() override {
        effect = createQuorvelEffect(RecordingHost::callback);
        ASSERT_NE(effect, nullptr);
    }
    void TearDown() override {
        if (effect) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }

    Engine& engine() { return static_cast<Quorvel*>(static_cast<AudioEffect*>(effect->object))->engine(); }
    void set(std::int32_t index, float value) { effect->setParameter(effect, index, value); }
    void setSampleRate(float rate) { effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, rate); }

    // One MIDI message through effProcessEvents.
    void midi(unsigned char status, unsigned char data1, unsigned char data2, std::int32_t delta = 0) {
        EventList list;
        list.midi(delta, status, data1, data2);
        effect->dispatcher(effect, effProcessEvents, 0, 0, list.get(), 0.0f);
    }
    void noteOn(unsigned char key, std::int32_t delta = 0) { midi(0x90, key, 100, delta); }

    std::vector<float> render(std::int32_t frames) {
        std::vector<float> left(frames, -7.0f), right(frames, -7.0f);
        float* outs[2] = {left.data(), right.data()};
        effect->processReplacing(effect, nullptr, outs, frames);
        EXPECT_EQ(left, right);
        return left;
    }

    // What any block must leave behind: finite samples, the vibrato phase
    // inside one turn, finite voice phases.
    void expectSane(const std::vector<float>& out) {
        for (std::size_t i = 0; i < out.size(); ++i) ASSERT_TRUE(std::isfinite(out[i])) << "sample " << i;
        const float lfo = engine().currentLfoPhase();
        EXPECT_TRUE(lfo >= 0.0f && lfo < kTwoPi) << lfo;
        for (int k = 0; k < kNumVoices; ++k) EXPECT_TRUE(std::isfinite(engine().voice(k).phase)) << "voice " << k;
    }

    // The host comes back: default parameters, 44100 Hz, all notes off, wheel
    // and bend at rest.
    void restore() {
        for (std::int32_t i = 0; i < kParamCount; ++i) set(i, kDefaults[i]);
        sampleRateAnswer = 44100;
        midi(0xB0, 123, 0);
        midi(0xB0, 1, 0);
        midi(0xE0, 0x00, 0x40);
        expectSane(render(1));
    }

    // Key 69 at velocity 100 must give the reference pulses: on from the
    // first sample, silence, the next period starting in the second sub-step
    // of sample 100. A pulse residue the voice's previous note left behind
    // may lengthen the first pulse by up to one pulse, so only the second is
    // checked to the sub-step.
    void expectNormalNote() {
        noteOn(69);
        const std::vector<float> out = render(110);
        EXPECT_EQ(out[0], 0.40000004f);
        for (int i = 10; i < 100; ++i) ASSERT_EQ(out[i], 0.0f) << "sample " << i;
        EXPECT_EQ(out[100], 0.35000002f);
        for (int i : {101, 102, 103}) EXPECT_EQ(out[i], 0.40000004f) << "sample " << i;
        EXPECT_GT(out[104], 0.0f);
        EXPECT_LT(out[104], 0.4f);
    }

    RecordingHost host{[this](const HostCall& call) -> std::intptr_t {
        if (call.opcode == audioMasterGetSampleRate) return sampleRateAnswer;
        return RecordingHost::defaultAnswer(call);
    }};
    std::intptr_t sampleRateAnswer = 44100;
    AEffect* effect = nullptr;
};

// Settings that drive a voice's phase or the vibrato phase so far up that the
// wrap-around loops, which take one period per turn, would never finish
// (x - 1 == x above 2^24, and for infinity).
struct RunawayCase {
    const char* what;
    std::int32_t param;  // -1: none
    float value;
    bool setRate;  // set sampleRate through effSetSampleRate while the host answers 0
    float sampleRate;
    bool wheel;
};

void PrintTo(const RunawayCase& c, std::ostream* os) { *os << c.what; }

class RunawayPhase : public Hardening, public ::testing::WithParamInterface<RunawayCase> {};

TEST_P(RunawayPhase, BlockFinishesAndTheNextNoteSoundsNormally) {
    const RunawayCase& c = GetParam();
    if (c.param >= 0) set(c.param, c.value);
    if (c.setRate) {
        sampleRateAnswer = 0;
        setSampleRate(c.sampleRate);
    }
    if (c.wheel) midi(0xB0, 1, 127);
    noteOn(60, 1);
    noteOn(67, 2);
    noteOn(72, 3);
    expectSane(render(256));
    expectSane(render(256));

    restore();
    expectNormalNote();
}

INSTANTIATE_TEST_SUITE_P(Hardening, RunawayPhase,
                         ::testing::Values(RunawayCase{"InfiniteDetune", kDetune, kInf, false, 0.0f, false},
                                           RunawayCase{"HugeDetune", kDetune, 1e30f, false, 0.0f, false},
                                           RunawayCase{"HugeModulationDepth", kModDepth, 1e30f, false, 0.0f, true},
                                           RunawayCase{"InfiniteModulationDepth", kModDepth, kInf, false, 0.0f, true},
                                           RunawayCase{"HugePhaseReset", kPhaseReset, 1e30f, false, 0.0f, false},
                                           RunawayCase{"PhaseResetAbove2To24", kPhaseReset, 3e7f, false, 0.0f, false},
                                           RunawayCase{"InfinitePhaseReset", kPhaseReset, kInf, false, 0.0f, false},
                                           RunawayCase{"InfiniteModulationSpeed", kModSpeed, kInf, false, 0.0f, false},
                                           RunawayCase{"HugeModulationSpeed", kModSpeed, 1e30f, false, 0.0f, false},
                                           RunawayCase{"ZeroSampleRate", -1, 0.0f, true, 0.0f, false},
                                           RunawayCase{"TinySampleRate", -1, 0.0f, true, 1e-30f, false},
                                           RunawayCase{"DenormalSampleRate", -1, 0.0f, true, 1e-42f, false}),
                         [](const ::testing::TestParamInfo<RunawayCase>& info) {
                             return std::string(info.param.what);
                         });

// Settings that leave something in the engine that is not a number, or so far
// out that later in-range notes would never recover from it: a NaN vibrato
// phase, a NaN voice phase, a pulse counter that never runs down again.
struct StickyCase {
    const char* what;
    std::int32_t param;
    float value;
    float sampleRate;  // 0: untouched
};

void PrintTo(const StickyCase& c, std::ostream* os) { *os << c.what; }

class StickyState : public Hardening, public ::testing::WithParamInterface<StickyCase> {};

TEST_P(StickyState, LeavesNothingBehindOnceTheHostIsBackInRange) {
    const StickyCase& c = GetParam();
    if (c.param >= 0) set(c.param, c.value);
    if (c.sampleRate != 0.0f) {
        sampleRateAnswer = 0;
        setSampleRate(c.sampleRate);
    }
    midi(0xB0, 1, 64);
    noteOn(69);
    noteOn(76);
    expectSane(render(300));

    restore();
    expectNormalNote();
}

INSTANTIATE_TEST_SUITE_P(Hardening, StickyState,
                         ::testing::Values(StickyCase{"NaNPulseWidth", kPulseWidth, kNaN, 0.0f},
                                           StickyCase{"InfinitePulseWidth", kPulseWidth, kInf, 0.0f},
                                           StickyCase{"HugePulseWidth", kPulseWidth, 1e30f, 0.0f},
                                           StickyCase{"HugeNegativePulseWidth", kPulseWidth, -1e30f, 0.0f},
                                           StickyCase{"NaNModulationSpeed", kModSpeed, kNaN, 0.0f},
                                           StickyCase{"NaNModulationDepth", kModDepth, kNaN, 0.0f},
                                           StickyCase{"NaNDetune", kDetune, kNaN, 0.0f},
                                           StickyCase{"NaNSampleRate", -1, 0.0f, kNaN},
                                           StickyCase{"NegativeSampleRate", -1, 0.0f, -48000.0f},
                                           StickyCase{"InfiniteSampleRate", -1, 0.0f, kInf}),
                         [](const ::testing::TestParamInfo<StickyCase>& info) { return std::string(info.param.what); });

// With "Phase reset" at 0 a voice keeps the phase its last note left; a phase
// spoilt by a NaN sample rate must not silence that voice for good.
TEST_F(Hardening, KeptPhaseIsUsableAfterNaNSampleRate) {
    sampleRateAnswer = 0;
    setSampleRate(kNaN);
    noteOn(69);
    expectSane(render(64));

    restore();
    set(kPhaseReset, 0.0f);
    noteOn(69);
    const std::vector<float> out = render(400);
    int on = 0;
    for (float s : out) on += s > 0.0f;
    EXPECT_GT(on, 0) << "the voice stays silent";
    EXPECT_LT(on, 400) << "the voice never ends its pulse";
}

// A start phase that a note-on set but no sub-step wrapped (the note ended in
// the same sample) must not turn into a runaway pulse for the voice's next
// note when that note keeps the phase.
TEST_F(Hardening, UnwrappedStartPhaseIsNotCarriedIntoTheNextNote) {
    set(kPhaseReset, 1e30f);
    noteOn(69);
    midi(0x80, 69, 0);
    expectSane(render(1));

    restore();
    set(kPhaseReset, 0.0f);
    noteOn(69);
    const std::vector<float> out = render(400);
    int on = 0;
    for (float s : out) on += s > 0.0f;
    EXPECT_GT(on, 0);
    EXPECT_LT(on, 100) << "the pulse does not end";
}

// A negative modulation speed turns the vibrato backwards; its phase stays
// inside one turn, so the vibrato still moves once the speed is back.
TEST_F(Hardening, BackwardVibratoKeepsItsPhaseInOneTurn) {
    set(kModSpeed, -2e4f);
    midi(0xB0, 1, 127);
    noteOn(69);
    for (int b = 0; b < 8; ++b) expectSane(render(1024));

    set(kModSpeed, 0.5f);
    const float before = engine().currentLfoPhase();
    expectSane(render(100));
    EXPECT_NE(engine().currentLfoPhase(), before) << "the vibrato is frozen";
}

// No output gain, however wild, puts a NaN or an infinity into the host's
// buffers; a finite gain still scales the output linearly.
TEST_F(Hardening, OutputIsAlwaysFinite) {
    set(kPulseWidth, 1.0f);  // a pulse of 88 samples: the bit is on throughout
    noteOn(69);
    for (float gain : {kNaN, kInf, -kInf, 3e38f, -3e38f}) {
        set(kOutputGain, gain);
        const std::vector<float> out = render(8);
        for (float s : out) ASSERT_TRUE(std::isfinite(s)) << "gain " << gain;
    }
    set(kOutputGain, 2.0f);
    EXPECT_EQ(render(1)[0], 0.8000001f * 2.0f);
}

// The host's values are stored bit for bit, whatever the engine makes of
// them, and stay so through rendering.
TEST_F(Hardening, StoredValuesKeepTheirBits) {
    // Quiet NaNs only: a signalling one may be quieted by the calling
    // convention of 32-bit targets before the instrument ever sees it.
    const std::uint32_t patterns[] = {0x7FC00000u, 0xFFC00001u, 0x7F800000u, 0xFF800000u, 0x7F7FFFFFu,
                                      0x00000001u, 0x80000000u, 0xBF800000u, 0x4B800001u};
    noteOn(69);
    for (std::uint32_t bits : patterns) {
        for (std::int32_t i = 0; i < kParamCount; ++i) {
            float value;
            std::memcpy(&value, &bits, sizeof(value));
            set(i, value);
        }
        expectSane(render(32));
        for (std::int32_t i = 0; i < kParamCount; ++i) {
            const float got = effect->getParameter(effect, i);
            std::uint32_t gotBits;
            std::memcpy(&gotBits, &got, sizeof(gotBits));
            EXPECT_EQ(gotBits, bits) << "parameter " << i;
        }
    }
    restore();
    expectNormalNote();
}

// Velocity-target values whose truncation would not fit an integer select no
// target: velocity controls nothing, the note plays at volume 1.0, and the
// display stays empty.
TEST_F(Hardening, UnconvertibleVelocityTargetSelectsNothing) {
    for (float t : {kNaN, kInf, -kInf, 1e30f, -1e30f, 5.4e8f, -5.4e8f}) {
        set(kVelocityTarget, t);
        EXPECT_FALSE(velocityTargetIndex(t) >= 0 && velocityTargetIndex(t) <= 3) << t;
        midi(0x90, 60, 20);
        render(2);
        EXPECT_EQ(engine().currentNoteVolume(), 1.0f) << t;
        midi(0xB0, 123, 0);
        char text[16];
        std::memset(text, 'x', sizeof(text));
        effect->dispatcher(effect, effGetParamDisplay, kVelocityTarget, 0, text, 0.0f);
        EXPECT_STREQ(text, "") << t;
    }
}

}  // namespace
