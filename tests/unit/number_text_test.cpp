// Number-to-text helpers: the texts, cut to every limit, inside the caller's buffer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "plugin/quorvel.h"
#include "support/recording_host.h"

using namespace quorvel;

namespace {

constexpr char kGuard = 0x7E;
constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::nanf("");

using Helper = std::function<void(AudioEffect&, char*, std::int32_t)>;

struct TextCase {
    const char* what;
    Helper helper;
    std::string full;  // the text when the limit does not cut it
};

Helper floatText(float v) {
    return [v](AudioEffect& fx, char* t, std::int32_t n) { fx.float2string(v, t, n); };
}
Helper dBText(float v) {
    return [v](AudioEffect& fx, char* t, std::int32_t n) { fx.dB2string(v, t, n); };
}
Helper hzText(float v) {
    return [v](AudioEffect& fx, char* t, std::int32_t n) { fx.Hz2string(v, t, n); };
}
Helper msText(float v) {
    return [v](AudioEffect& fx, char* t, std::int32_t n) { fx.ms2string(v, t, n); };
}
Helper intText(std::int32_t v) {
    return [v](AudioEffect& fx, char* t, std::int32_t n) { fx.int2string(v, t, n); };
}

std::vector<TextCase> textCases() {
    const std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    const std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    return {
        {"float 0", floatText(0.0f), "0.000000"},
        {"float -0", floatText(-0.0f), "0.000000"},
        {"float 0.05", floatText(0.05f), "0.050000"},
        {"float 0.25", floatText(0.25f), "0.250000"},
        {"float 1", floatText(1.0f), "1.000000"},
        {"float -0.5", floatText(-0.5f), "-0.50000"},
        {"float -1", floatText(-1.0f), "-1.00000"},
        {"float 100", floatText(100.0f), "100.0000"},
        {"float 123.456", floatText(123.456f), "123.4560"},
        {"float 2000", floatText(2000.0f), "2000.000"},
        {"float 1234567", floatText(1234567.0f), "1234567."},
        {"float -999999", floatText(-999999.0f), "-999999."},
        {"float 9999999", floatText(9999999.0f), "9999999."},
        {"float 0.7 cut, not rounded", floatText(0.7f), "0.699999"},
        {"float 3.14159", floatText(3.14159f), "3.141590"},
        {"float just below 1", floatText(0.999999f), "0.999998"},
        {"float 8388607.5", floatText(8388607.5f), "8388607."},
        {"float tiny", floatText(1e-40f), "0.000000"},
        {"float tiny negative", floatText(-1e-40f), "-0.00000"},
        {"float 1e8", floatText(100000000.0f), "Huge!"},
        {"float -1e7", floatText(-10000000.0f), "Huge!"},
        // Eight integer digits (seven with a sign) leave no room for the point.
        {"float 1e7", floatText(10000000.0f), "Huge!"},
        {"float 12345678", floatText(12345678.0f), "Huge!"},
        {"float -1e6", floatText(-1000000.0f), "Huge!"},
        {"float -1234567", floatText(-1234567.0f), "Huge!"},
        {"float -999999.5", floatText(-999999.5f), "-999999."},
        {"float max", floatText(std::numeric_limits<float>::max()), "Huge!"},
        {"float +inf", floatText(kInf), "Huge!"},
        {"float -inf", floatText(-kInf), "Huge!"},
        {"float nan", floatText(kNaN), "NaN"},
        {"float -nan", floatText(-kNaN), "NaN"},

        {"dB 1", dBText(1.0f), "0.000000"},
        {"dB 0.5", dBText(0.5f), "-6.02059"},
        {"dB 10", dBText(10.0f), "20.00000"},
        {"dB 1e-5", dBText(0.00001f), "-100.000"},
        {"dB 0", dBText(0.0f), "-oo"},
        {"dB -0", dBText(-0.0f), "-oo"},
        {"dB -1", dBText(-1.0f), "-oo"},
        {"dB -inf", dBText(-kInf), "-oo"},
        {"dB +inf", dBText(kInf), "Huge!"},
        {"dB nan", dBText(kNaN), "NaN"},

        {"Hz 100", hzText(100.0f), "441.0000"},
        {"Hz 44100", hzText(44100.0f), "1.000000"},
        {"Hz -100", hzText(-100.0f), "-441.000"},
        {"Hz 0", hzText(0.0f), "0.000000"},
        {"Hz -0", hzText(-0.0f), "0.000000"},
        {"Hz tiny period", hzText(1e-30f), "Huge!"},
        {"Hz nan", hzText(kNaN), "NaN"},

        {"ms 44100", msText(44100.0f), "1000.000"},
        {"ms 441", msText(441.0f), "10.00000"},
        {"ms -44100", msText(-44100.0f), "-1000.00"},
        {"ms 0", msText(0.0f), "0.000000"},
        {"ms max", msText(std::numeric_limits<float>::max()), "Huge!"},
        {"ms nan", msText(kNaN), "NaN"},

        {"int 0", intText(0), "0"},
        {"int 123", intText(123), "123"},
        {"int -45", intText(-45), "-45"},
        {"int -7", intText(-7), "-7"},
        {"int inner zeros", intText(100200), "100200"},
        {"int 99999999", intText(99999999), "99999999"},
        {"int -99999999", intText(-99999999), "-99999999"},
        {"int -123456789", intText(-123456789), "-123456789"},
        {"int -999999999", intText(-999999999), "-999999999"},
        {"int 1e8", intText(100000000), "Huge!"},
        {"int max", intText(kMax), "Huge!"},
        {"int -1e9", intText(-1000000000), "Huge!"},
        {"int min", intText(kMin), "Huge!"},
    };
}

class NumberText : public ::testing::Test {
protected:
    RecordingHost host;
    Quorvel fx{RecordingHost::callback};
};

// Every helper, every value, every limit: the text is the uncut text's first
// maxLen characters, zeros follow it through position maxLen, and nothing
// beyond that position is written.
TEST_F(NumberText, TextsAreCutToTheLimitInsideTheBuffer) {
    for (const TextCase& c : textCases()) {
        for (std::int32_t limit : {0, 1, 3, 5, 8, 12}) {
            char buf[32];
            std::memset(buf, kGuard, sizeof(buf));
            c.helper(fx, buf, limit);
            const std::string expected = c.full.substr(0, static_cast<std::size_t>(limit));
            SCOPED_TRACE(std::string(c.what) + ", limit " + std::to_string(limit));
            ASSERT_NE(std::memchr(buf, 0, sizeof(buf)), nullptr);
            EXPECT_EQ(std::string(buf), expected);
            for (std::int32_t k = static_cast<std::int32_t>(expected.size()); k <= limit; ++k)
                EXPECT_EQ(buf[k], 0) << "position " << k;
            for (std::size_t k = static_cast<std::size_t>(limit) + 1; k < sizeof(buf); ++k)
                ASSERT_EQ(buf[k], kGuard) << "written past the limit at " << k;
        }
    }
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(NumberText, NegativeLimitGivesAnEmptyText) {
    for (const TextCase& c : textCases()) {
        for (std::int32_t limit : {-1, -8, std::numeric_limits<std::int32_t>::min()}) {
            char buf[8];
            std::memset(buf, kGuard, sizeof(buf));
            c.helper(fx, buf, limit);
            SCOPED_TRACE(c.what);
            EXPECT_EQ(buf[0], 0);
            for (std::size_t k = 1; k < sizeof(buf); ++k) ASSERT_EQ(buf[k], kGuard);
        }
    }
}

// Without a buffer a helper writes nothing, does not fail and asks nothing of
// the host; the stored rate the rate texts read is left as it was.
TEST_F(NumberText, WithoutABufferNothingIsWrittenOrAsked) {
    for (const TextCase& c : textCases()) {
        SCOPED_TRACE(c.what);
        for (std::int32_t limit : {8, 0, -1}) c.helper(fx, nullptr, limit);
    }
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(fx.getSampleRate(), 44100.0f);
}

TEST_F(NumberText, RatesFollowTheStoredSampleRate) {
    char buf[16];
    fx.setSampleRate(48000.0f);
    fx.Hz2string(480.0f, buf, 8);
    EXPECT_STREQ(buf, "100.0000");
    fx.ms2string(480.0f, buf, 8);
    EXPECT_STREQ(buf, "10.00000");
    fx.Hz2string(0.0f, buf, 8);
    EXPECT_STREQ(buf, "0.000000");

    // A zero rate is not refused: the quotients overflow or are undefined.
    fx.setSampleRate(0.0f);
    fx.ms2string(1.0f, buf, 8);
    EXPECT_STREQ(buf, "Huge!");
    fx.ms2string(0.0f, buf, 8);
    EXPECT_STREQ(buf, "NaN");
    fx.Hz2string(100.0f, buf, 8);
    EXPECT_STREQ(buf, "0.000000");
}

// A class that formats numbers its own way changes the three converting
// helpers too, since they hand their result to float2string.
class BracketFormat : public Quorvel {
public:
    using Quorvel::Quorvel;
    void float2string(float value, char* text, std::int32_t maxLen) override {
        seen.push_back(value);
        std::snprintf(text, static_cast<std::size_t>(maxLen) + 1, "[%g]", static_cast<double>(value));
    }
    std::vector<float> seen;
};

TEST(NumberTextOverride, ConvertingHelpersGoThroughFloat2string) {
    RecordingHost host;
    BracketFormat fx(RecordingHost::callback);
    fx.setSampleRate(1000.0f);
    char buf[16];
    fx.dB2string(10.0f, buf, 8);
    EXPECT_STREQ(buf, "[20]");
    fx.Hz2string(4.0f, buf, 8);
    EXPECT_STREQ(buf, "[250]");
    fx.ms2string(500.0f, buf, 8);
    EXPECT_STREQ(buf, "[500]");
    fx.Hz2string(0.0f, buf, 8);
    EXPECT_STREQ(buf, "[0]");
    EXPECT_EQ(fx.seen, (std::vector<float>{20.0f, 250.0f, 500.0f, 0.0f}));
    fx.dB2string(0.0f, buf, 8);  // "-oo" is written without formatting a number
    EXPECT_STREQ(buf, "-oo");
    fx.int2string(5, buf, 8);  // integers have their own formatter
    EXPECT_STREQ(buf, "5");
    EXPECT_EQ(fx.seen.size(), 4u);
}

}  // namespace
