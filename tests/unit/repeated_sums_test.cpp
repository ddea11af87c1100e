// Counted-out repeated additions against the additions taken one by one.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "synth/repeated_sums.h"

using namespace quorvel;

namespace {

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

float addOneByOne(float x, float a, std::uint64_t n) {
    for (std::uint64_t i = 0; i < n; ++i) x = x + a;
    return x;
}

// Start values and addends that cross binades both ways, through zero and the
// subnormals, meet sums halfway between two floats (odd and even start), lose
// the addend in rounding, or overflow.
TEST(RepeatedSums, AddRepeatedlyLandsWhereTheLoopDoes) {
    struct Case {
        float x, a;
        std::uint64_t n;
    } cases[] = {
        {0.0f, 0.016f, 200000},
        {-0.7f, 35.28f, 5000},
        {-0.3f, 0.1f, 100000},
        {1e6f, -0.37f, 300000},
        {0.0f, 0x1.8p-24f, 50000},
        {0x1.000002p0f, 0x1p-24f, 1000},
        {0x1p0f, 0x1p-24f, 1000},
        {0x1.000002p0f, 0x1.8p-23f, 5000},
        {5e11f, 15606.0f, 1000},
        {FLT_MIN, -1e-44f, 30000},
        {-1e-40f, 3e-45f, 100000},
        {1e-38f, -0x1p-140f, 20000},
        {FLT_MAX / 2, FLT_MAX / 3, 10},
        {-0.0f, 0.0f, 3},
        {-0.0f, -0.0f, 3},
        {1.0f, INFINITY, 4},
        {INFINITY, -INFINITY, 2},
        {NAN, 1.0f, 2},
        {3.0f, 1e-30f, 1000000},
        {-8.0f, 1.0f, 20},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(sameBits(addRepeatedly(c.x, c.a, c.n), addOneByOne(c.x, c.a, c.n)))
            << c.x << " + " << c.a << " x " << c.n << ": " << addRepeatedly(c.x, c.a, c.n) << " vs "
            << addOneByOne(c.x, c.a, c.n);
    }
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> scale(-30.0f, 30.0f);
    for (int i = 0; i < 3000; ++i) {
        const float x = std::ldexp(scale(rng) / 30.0f, static_cast<int>(scale(rng)));
        const float a = std::ldexp(scale(rng) / 30.0f, static_cast<int>(scale(rng)) / 3);
        const std::uint64_t n = rng() % 20000;
        ASSERT_TRUE(sameBits(addRepeatedly(x, a, n), addOneByOne(x, a, n))) << x << " + " << a << " x " << n;
    }
}

// The two loops of the engine, a period at a time (limit 1) and 2 pi at a
// time: the count and the end value, and the first phases for which they
// would never end.
TEST(RepeatedSums, AddWhileAtLeastCountsTheLoopAndKnowsWhenItNeverEnds) {
    struct Case {
        float x, a;
        double limit;
    } cases[] = {
        {70912.37f, -1.0f, 1.0},
        {16.0f, -1.0f, 1.0},
        {0x1p24f, -1.0f, 1.0},
        {0x1p24f + 2.0f, -1.0f, 1.0},
        {0.5f, -1.0f, 1.0},
        {81.681f, -6.2831855f, 6.283185307179586},
        {6.2831855f, -6.2831855f, 6.283185307179586},
        {0x1p26f + 40.0f, -6.2831855f, 6.283185307179586},
        {1234567.8f, -6.2831855f, 6.283185307179586},
        {0x1p27f, -6.2831855f, 6.283185307179586},
    };
    for (const Case& c : cases) {
        float x = c.x, loop = c.x;
        std::uint64_t n = 0, loopCount = 0;
        ASSERT_TRUE(addWhileAtLeast(x, c.a, c.limit, n)) << c.x;
        while (static_cast<double>(loop) >= c.limit) loop = loop + c.a, ++loopCount;
        EXPECT_TRUE(sameBits(x, loop) && n == loopCount)
            << c.x << ": " << x << " after " << n << ", loop " << loop << " after " << loopCount;
    }
    for (const Case& c : {Case{0x1p24f + 4.0f, -1.0f, 1.0}, Case{0x1p27f + 16.0f, -6.2831855f, 6.283185307179586},
                          Case{INFINITY, -1.0f, 1.0}}) {
        float x = c.x;
        std::uint64_t n = 0;
        EXPECT_FALSE(addWhileAtLeast(x, c.a, c.limit, n)) << c.x;
        EXPECT_TRUE(sameBits(x, c.x));
    }
}

}  // namespace
