// The eight parameters as a host sees them: values through the record,
// names, displays and labels through the dispatcher, and the display refresh
// that follows every change of the note cut.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "params/parameters.h"
#include "plugin/quorvel.h"
#include "support/instrument_test.h"
#include "support/recording_host.h"

using namespace quorvel;

namespace {

constexpr char kGuard = 0x7E;
constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::nanf("");
const std::int32_t kOutsideIndexes[] = {8, 9, 1000, -1, -8, kIntMin};

class Parameters : public InstrumentTest {
protected:
    void set(std::int32_t index, float value) { effect->setParameter(effect, index, value); }
    float get(std::int32_t index) { return effect->getParameter(effect, index); }

    // One text query; checks the answer and that the text stays inside the
    // size the host must provide for it.
    std::string text(std::int32_t opcode, std::int32_t index, std::size_t bufferSize = 17) {
        char buf[64];
        std::memset(buf, kGuard, sizeof(buf));
        EXPECT_EQ(effect->dispatcher(effect, opcode, index, 0, buf, 0.0f), 0);
        for (std::size_t k = bufferSize; k < sizeof(buf); ++k)
            EXPECT_EQ(buf[k], kGuard) << "opcode " << opcode << " index " << index << " wrote byte " << k;
        return std::string(buf, strnlen(buf, bufferSize));
    }
    std::string name(std::int32_t index) { return text(effGetParamName, index, 17); }
    std::string display(std::int32_t index) { return text(effGetParamDisplay, index, 12); }
    std::string label(std::int32_t index) { return text(effGetParamLabel, index, 12); }
};

TEST_F(Parameters, NamesInIndexOrder) {
    const char* names[] = {"Pulse width",     "Phase reset",      "Detune",           "Note cut",
                           "Velocity target", "Modulation speed", "Modulation depth", "Output gain"};
    for (std::int32_t i = 0; i < kParamCount; ++i) EXPECT_EQ(name(i), names[i]) << i;
    for (std::int32_t i : kOutsideIndexes) EXPECT_EQ(name(i), "") << i;
}

TEST_F(Parameters, DefaultsShowTheirTexts) {
    const char* displays[] = {"100.0", "1.000", "0.000", "Infinite", "Volume", "0.500", "0.250", "-6."};
    const char* labels[] = {"us", "", "", "", "", "", "", "dB"};
    const float defaults[] = {0.05f, 1.0f, 0.5f, 0.0f, 0.0f, 0.5f, 0.25f, 0.5f};
    for (std::int32_t i = 0; i < kParamCount; ++i) {
        EXPECT_EQ(get(i), defaults[i]) << i;
        EXPECT_EQ(display(i), displays[i]) << i;
        EXPECT_EQ(label(i), labels[i]) << i;
    }
}

struct DisplayCase {
    std::int32_t index;
    float value;
    const char* display;
    const char* label;
};

TEST_F(Parameters, DisplaysAndLabelsFollowTheValue) {
    const DisplayCase cases[] = {
        {kPulseWidth, 1.0f, "2000.", "us"},
        {kPulseWidth, 0.5f, "1000.", "us"},
        {kPulseWidth, 0.001f, "2.000", "us"},
        {kPulseWidth, 0.0f, "0.000", "us"},
        {kPulseWidth, 1e6f, "Huge!", "us"},
        {kPulseWidth, kNaN, "NaN", "us"},
        {kPhaseReset, 0.0f, "Disabled", ""},
        {kPhaseReset, -0.0f, "Disabled", ""},
        {kPhaseReset, 0.7f, "0.699", ""},  // cut, not rounded
        {kPhaseReset, 1e-30f, "0.000", ""},
        {kPhaseReset, -kInf, "Huge!", ""},
        {kDetune, 0.0f, "-1.00", ""},
        {kDetune, 0.25f, "-0.50", ""},
        {kDetune, 0.5f, "0.000", ""},
        {kDetune, 1.0f, "1.000", ""},
        {kNoteCut, 0.5f, "500.0", "ms"},
        {kNoteCut, 1.0f, "1000.", "ms"},
        {kNoteCut, 0.0f, "Infinite", ""},
        {kNoteCut, -0.0f, "Infinite", ""},
        {kNoteCut, -0.5f, "-500.", ""},
        {kNoteCut, kNaN, "NaN", ""},
        {kVelocityTarget, 0.0f, "Volume", ""},
        {kVelocityTarget, 0.25f, "Volume", ""},
        {kVelocityTarget, 0.2525f, "Pulse width", ""},
        {kVelocityTarget, 0.5f, "Pulse width", ""},
        {kVelocityTarget, 0.5025f, "Phase reset", ""},
        {kVelocityTarget, 0.75f, "Phase reset", ""},
        {kVelocityTarget, 0.7525f, "Note cut", ""},
        {kVelocityTarget, 1.0f, "Note cut", ""},
        // Outside the host's range no target is selected and nothing is shown.
        {kVelocityTarget, -0.5f, "", ""},
        {kVelocityTarget, 1.5f, "", ""},
        {kVelocityTarget, kNaN, "", ""},
        {kVelocityTarget, kInf, "", ""},
        {kVelocityTarget, -kInf, "", ""},
        {kModSpeed, 0.5f, "0.500", ""},
        {kModSpeed, 1.0f, "1.000", ""},
        {kModDepth, 0.25f, "0.250", ""},
        {kModDepth, 0.05f, "0.050", ""},
        {kOutputGain, 1.0f, "0.0", "dB"},
        {kOutputGain, 0.5f, "-6.", "dB"},
        {kOutputGain, 0.75f, "-2.", "dB"},
        {kOutputGain, 0.25f, "-12", "dB"},
        {kOutputGain, 0.1f, "-20", "dB"},
        {kOutputGain, 0.001f, "-60", "dB"},
        {kOutputGain, 0.00001f, "-10", "dB"},
        {kOutputGain, 0.0f, "-oo", "dB"},
        {kOutputGain, -1.0f, "-oo", "dB"},
        {kOutputGain, kInf, "Hug", "dB"},
        {kOutputGain, kNaN, "NaN", "dB"},
    };
    for (const DisplayCase& c : cases) {
        set(c.index, c.value);
        SCOPED_TRACE("index " + std::to_string(c.index) + " value " + std::to_string(c.value));
        EXPECT_EQ(display(c.index), c.display);
        EXPECT_EQ(label(c.index), c.label);
    }
}

TEST_F(Parameters, OutsideIndexesHaveNoTexts) {
    for (std::int32_t i = 0; i < kParamCount; ++i) set(i, 0.3f);
    for (std::int32_t i : kOutsideIndexes) {
        EXPECT_EQ(display(i), "") << i;
        EXPECT_EQ(label(i), "") << i;
    }
}

TEST_F(Parameters, ValuesAreStoredExactlyAndApart) {
    const float values[] = {-3.5f, 7.25f, 1e-30f, -0.0f, 123456.0f, 0.123f, 2.0f, -kInf};
    for (std::int32_t i = 0; i < kParamCount; ++i) set(i, values[i]);
    for (std::int32_t i = 0; i < kParamCount; ++i) {
        EXPECT_EQ(get(i), values[i]) << i;
        EXPECT_EQ(std::signbit(get(i)), std::signbit(values[i])) << i;
    }
    set(kModSpeed, kNaN);
    EXPECT_TRUE(std::isnan(get(kModSpeed)));
    EXPECT_EQ(get(kModDepth), values[kModDepth]);
}

TEST_F(Parameters, OutsideIndexesStoreNothingAndCallNothing) {
    float before[kParamCount];
    for (std::int32_t i = 0; i < kParamCount; ++i) before[i] = get(i);
    for (std::int32_t i : kOutsideIndexes) {
        set(i, 0.9f);
        EXPECT_EQ(get(i), 0.0f) << i;
    }
    for (std::int32_t i = 0; i < kParamCount; ++i) EXPECT_EQ(get(i), before[i]) << i;
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Parameters, EveryNoteCutChangeRefreshesTheDisplayOnce) {
    // The host reads the label back while it is told to refresh: the new value
    // is already in place.
    std::string labelSeen;
    float valueSeen = -1.0f;
    host.setAnswer([&](const HostCall& call) -> std::intptr_t {
        if (call.opcode == audioMasterUpdateDisplay) {
            valueSeen = get(kNoteCut);
            labelSeen = label(kNoteCut);
        }
        return 1;
    });

    set(kNoteCut, 0.5f);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterUpdateDisplay);
    EXPECT_EQ(host.calls[0].effect, effect);
    EXPECT_EQ(valueSeen, 0.5f);
    EXPECT_EQ(labelSeen, "ms");

    set(kNoteCut, 0.5f);  // unchanged value: refreshed all the same
    set(kNoteCut, 0.0f);
    EXPECT_EQ(host.callsWith(audioMasterUpdateDisplay).size(), 3u);
    EXPECT_EQ(host.calls.size(), 3u);
    EXPECT_EQ(labelSeen, "");

    host.calls.clear();
    for (std::int32_t i = 0; i < kParamCount; ++i)
        if (i != kNoteCut) set(i, 0.5f);
    for (std::int32_t i : kOutsideIndexes) set(i, 0.5f);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Parameters, HostAnswerToTheRefreshChangesNothing) {
    host.setAnswer([](const HostCall&) -> std::intptr_t { return -1; });
    set(kNoteCut, 0.25f);
    EXPECT_EQ(get(kNoteCut), 0.25f);
    EXPECT_EQ(display(kNoteCut), "250.0");
}

TEST(VelocityTargetIndex, BoundariesAndValuesOutsideTheHostRange) {
    EXPECT_EQ(velocityTargetIndex(0.0f), 0);
    EXPECT_EQ(velocityTargetIndex(0.25f), 0);
    EXPECT_EQ(velocityTargetIndex(0.2525f), 1);
    EXPECT_EQ(velocityTargetIndex(std::nextafter(0.2525f, 0.0f)), 0);
    EXPECT_EQ(velocityTargetIndex(0.5025f), 2);
    EXPECT_EQ(velocityTargetIndex(std::nextafter(0.5025f, 0.0f)), 1);
    EXPECT_EQ(velocityTargetIndex(0.7525f), 3);
    EXPECT_EQ(velocityTargetIndex(std::nextafter(0.7525f, 0.0f)), 2);
    EXPECT_EQ(velocityTargetIndex(1.0f), 3);
    EXPECT_EQ(velocityTargetIndex(-0.2f), 0);  // truncation toward zero
    EXPECT_EQ(velocityTargetIndex(1.002f), 3);
    // Values that select no target stay outside 0..3 without an undefined conversion.
    for (float t : {-0.5f, 1.5f, 1e30f, -1e30f, kInf, -kInf, kNaN}) {
        const std::int32_t i = velocityTargetIndex(t);
        EXPECT_TRUE(i < 0 || i > 3) << t << " gives " << i;
    }
}

TEST(VelocityTargetNames, ShareTheParameterNames) {
    EXPECT_STREQ(kVelocityTargetNames[0], "Volume");
    EXPECT_EQ(kVelocityTargetNames[1], kParamNames[kPulseWidth]);
    EXPECT_EQ(kVelocityTargetNames[2], kParamNames[kPhaseReset]);
    EXPECT_EQ(kVelocityTargetNames[3], kParamNames[kNoteCut]);
}

}  // namespace
