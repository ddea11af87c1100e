// The builds of the voice kernel (plain C++, SSE2, AVX2): each must give the
// library's own bits for the vibrato's sine and the pitch's power of two, and
// the instrument must run whichever one it is told to.
//
// QUORVEL_EXHAUSTIVE=1 checks every float of the ranges the engine reaches
// instead of a sample of them (minutes per path).
#include "synth/voice_kernel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "plugin/quorvel.h"
#include "reference/reference_engine.h"
#include "support/event_list.h"
#include "support/recording_host.h"

using namespace quorvel;

namespace quorvel {
void PrintTo(KernelPath path, std::ostream* os) { *os << kernelName(path); }  // found by argument lookup
}  // namespace quorvel

namespace {

std::uint32_t bitsOf(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

float floatOf(std::uint32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

float librarySine(float x) { return static_cast<float>(std::sin(static_cast<double>(x))); }

float libraryPower(float x) {
    const double p = std::pow(2.0, static_cast<double>(x));
    return p > 3.4028234663852886e38 ? std::numeric_limits<float>::infinity() : static_cast<float>(p);
}

bool exhaustive() {
    const char* v = std::getenv("QUORVEL_EXHAUSTIVE");
    return v && *v && std::strcmp(v, "0") != 0;
}

// Floats of [lo, hi] (lo < 0 < hi or 0 <= lo < hi), every `stride`-th bit
// pattern, in batches handed to `check`. Floats are visited through their
// bit patterns, so every binade gets its share.
template <class Check>
void forFloatsIn(float lo, float hi, std::uint32_t stride, Check check) {
    std::vector<float> batch;
    batch.reserve(4096);
    auto flush = [&] {
        check(batch);
        batch.clear();
    };
    auto walk = [&](std::uint32_t from, std::uint32_t to, std::uint32_t sign) {
        for (std::uint64_t b = from; b <= to; b += stride) {
            batch.push_back(floatOf(static_cast<std::uint32_t>(b) | sign));
            if (batch.size() == 4096) flush();
        }
    };
    if (hi >= 0.0f) walk(lo > 0.0f ? bitsOf(lo) : 0u, bitsOf(hi), 0u);
    if (lo < 0.0f) walk(1u, bitsOf(-lo), 0x80000000u);
    flush();
}

class Kernel : public ::testing::TestWithParam<KernelPath> {
protected:
    void SetUp() override {
        if (!kernelAvailable(GetParam())) GTEST_SKIP() << kernelName(GetParam()) << " is not available here";
    }
    const VoiceKernel& kernel() { return voiceKernel(GetParam()); }

    // Runs the kernel's function over the values and compares each result
    // with the library's, bit for bit; reports the first few differences.
    template <class Library>
    void expectLibraryBits(void (*function)(const float*, std::int32_t, float*), const std::vector<float>& x,
                           Library library, int& failures) {
        std::vector<float> got(x.size());
        function(x.data(), static_cast<std::int32_t>(x.size()), got.data());
        for (std::size_t i = 0; i < x.size() && failures < 5; ++i) {
            const float want = library(x[i]);
            if (bitsOf(got[i]) != bitsOf(want) && !(std::isnan(got[i]) && std::isnan(want))) {
                ADD_FAILURE() << "x = " << x[i] << " (0x" << std::hex << bitsOf(x[i]) << "): kernel 0x"
                              << bitsOf(got[i]) << ", library 0x" << bitsOf(want) << std::dec;
                ++failures;
            }
        }
    }
};

// The vibrato phase stays in [0, 2 pi); outside the kernel asks the library.
TEST_P(Kernel, SineHasTheLibrarysBits) {
    int failures = 0;
    const std::uint32_t stride = exhaustive() ? 1u : 9973u;
    forFloatsIn(0.0f, 6.2831855f, stride,
                [&](const std::vector<float>& x) { expectLibraryBits(kernel().sines, x, librarySine, failures); });

    // The floats next to multiples of pi/2, where the reduction cancels most,
    // both ends of the range, and values beyond it.
    std::vector<float> hard;
    for (int k = 0; k <= 4; ++k) {
        const float m = static_cast<float>(k * 1.5707963267948966);
        float f = m;
        for (int i = 0; i < 64; ++i) f = std::nextafter(f, 0.0f);
        for (int i = 0; i < 128; ++i, f = std::nextafter(f, 10.0f)) hard.push_back(f);
    }
    const float inf = std::numeric_limits<float>::infinity();
    for (float v : {0.0f, -0.0f, 1e-30f, 1e-45f, 6.9999995f, 7.0f, 7.0000005f, 100.0f, -1.0f, -1e-30f, inf, -inf,
                    std::numeric_limits<float>::quiet_NaN(), 3e38f})
        hard.push_back(v);
    expectLibraryBits(kernel().sines, hard, librarySine, failures);
}

// Sines of phases p + j d moving by the same step inside one binade (as the
// vibrato's do): runs longer than the 128 values each polynomial start
// serves, runs through the zeros of the sine at pi and 2 pi, partial groups,
// a step of 0, and runs at the two ends of the phase range.
TEST_P(Kernel, SinesOfStepsHaveTheLibrarysBits) {
    int failures = 0;
    auto check = [&](float p, float d, std::int32_t count) {
        std::vector<float> got(static_cast<std::size_t>(count) + 1, -9.0f);
        kernel().sinesOfSteps(p, d, count, got.data());
        for (std::int32_t j = 0; j < count && failures < 5; ++j) {
            const double exact = static_cast<double>(p) + static_cast<double>(j) * d;
            const float x = static_cast<float>(exact);
            ASSERT_EQ(static_cast<double>(x), exact) << "the test's run leaves the binade";
            const float want = librarySine(x);
            if (bitsOf(got[static_cast<std::size_t>(j)]) != bitsOf(want)) {
                ADD_FAILURE() << "p = " << p << ", d = " << d << ", j = " << j << ": kernel 0x" << std::hex
                              << bitsOf(got[static_cast<std::size_t>(j)]) << ", library 0x" << bitsOf(want) << std::dec;
                ++failures;
            }
        }
        EXPECT_EQ(got[static_cast<std::size_t>(count)], -9.0f) << "written past the end";
    };
    // Runs starting at a float a little below x, each u (the spacing of the
    // floats there) times a multiple wide, for as many steps as the binade
    // holds, up to 1000.
    auto runsAround = [&](double x, std::uint32_t seed) {
        int e = 0;
        std::frexp(x, &e);
        const double u = std::ldexp(1.0, e - 24), top = std::ldexp(1.0, e), bottom = top / 2;
        for (int i = 0; i < 6; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const double d = u * static_cast<double>(1u + (seed >> 8) % 50000u) / (i < 3 ? 1.0 : 64.0);
            const double step = std::ldexp(std::floor(std::ldexp(d, 24 - e)), e - 24);  // a multiple of u
            double p = std::fmax(bottom, x - 40.0 * step);
            p = std::ldexp(std::floor(std::ldexp(p, 24 - e)), e - 24);
            std::int32_t count = 1000;
            if (step > 0.0) count = static_cast<std::int32_t>(std::fmin(1000.0, std::floor((top - p) / step)));
            check(static_cast<float>(p), static_cast<float>(step), count);
        }
    };
    std::uint32_t seed = 12345u;
    for (double x :
         {0.3, 0.7, 1.2, 1.5707963267948966, 2.9, 3.141592653589793, 3.2, 4.7, 6.0, 6.283185307179586 - 1e-3})
        runsAround(x, seed += 77u);
    for (std::int32_t count = 0; count <= 20; ++count) check(1.0f, 0x1p-20f, count);
    check(2.5f, 0.0f, 300);
    check(4.0f, 0x1p-12f, 1000);
}

// Exponents x = (key - 69 + vibrato + bend + detune) / 12 lie within
// [-134.98, 123.98] / 12 for in-range input; others reach the library.
TEST_P(Kernel, PowerOfTwoHasTheLibrarysBits) {
    int failures = 0;
    const std::uint32_t stride = exhaustive() ? 1u : 9973u;
    forFloatsIn(-11.25f, 10.34f, stride, [&](const std::vector<float>& x) {
        expectLibraryBits(kernel().powersOfTwo, x, libraryPower, failures);
    });

    std::vector<float> hard;
    for (int k = -70; k <= 70; ++k) {
        float f = static_cast<float>(k);
        for (int i = 0; i < 16; ++i) f = std::nextafter(f, -1000.0f);
        for (int i = 0; i < 32; ++i, f = std::nextafter(f, 1000.0f)) hard.push_back(f);
    }
    const float inf = std::numeric_limits<float>::infinity();
    for (float v : {0.0f, -0.0f, 1e-45f, -1e-45f, 64.0f, 64.00001f, -64.0f, -64.00001f, 127.9f, 128.0f, 200.0f, -149.0f,
                    -160.0f, inf, -inf, std::numeric_limits<float>::quiet_NaN(), 3e38f, -3e38f})
        hard.push_back(v);
    expectLibraryBits(kernel().powersOfTwo, hard, libraryPower, failures);
}

// Counts of 0 to 20 values: the lanes of the last, partial group of eight
// are filled in and nothing is written past the end.
TEST_P(Kernel, PartialGroupsWriteOnlyTheirValues) {
    std::vector<float> x(20);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = 0.37f * static_cast<float>(i);
    for (std::int32_t count = 0; count <= 20; ++count) {
        std::vector<float> sines(24, -9.0f), powers(24, -9.0f);
        kernel().sines(x.data(), count, sines.data());
        kernel().powersOfTwo(x.data(), count, powers.data());
        for (std::int32_t i = 0; i < 24; ++i) {
            EXPECT_EQ(sines[i], i < count ? librarySine(x[i]) : -9.0f) << count << " values, index " << i;
            EXPECT_EQ(powers[i], i < count ? libraryPower(x[i]) : -9.0f) << count << " values, index " << i;
        }
    }
}

// The instrument switches to the path and renders what the plain reference
// engine renders, bit for bit: detune, note cut, vibrato, a bend, and a ninth
// note that finds no voice.
TEST_P(Kernel, InstrumentRendersTheReferenceBitsOnThisPath) {
    RecordingHost host;
    Quorvel synth(RecordingHost::callback);
    ASSERT_TRUE(synth.engine().useKernel(GetParam()));
    EXPECT_EQ(synth.engine().kernelInUse(), GetParam());
    reference::Engine ref;
    for (auto [index, value] : {std::pair{kModSpeed, 0.9f}, {kNoteCut, 0.01f}, {kDetune, 0.8f}}) {
        synth.setParameter(index, value);
        ref.setParameter(index, value);
    }
    EventList events;
    for (int v = 0; v < 9; ++v) events.noteOn(3 * v, 40 + 7 * v, 30 + 10 * v);
    events.controller(5, 1, 115).bend(300, 2048);
    synth.processEvents(events.get());
    ref.takeEvents(events.get());

    std::vector<float> left(1000), right(1000), refLeft(1000), refRight(1000);
    float* outs[2] = {left.data(), right.data()};
    for (int b = 0; b < 4; ++b) {
        synth.processReplacing(nullptr, outs, 1000);
        ref.render(44100, refLeft.data(), refRight.data(), 1000);
        for (std::size_t i = 0; i < left.size(); ++i)
            ASSERT_EQ(bitsOf(left[i]), bitsOf(refLeft[i])) << "block " << b << ", sample " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Path, Kernel, ::testing::Values(KernelPath::Scalar, KernelPath::Sse2, KernelPath::Avx2),
                         [](const ::testing::TestParamInfo<KernelPath>& info) {
                             return std::string(kernelName(info.param));
                         });

// A path this build or processor lacks is refused and changes nothing; the
// plain one is always there, and the preferred one is available.
TEST(KernelChoice, UnavailablePathsAreRefused) {
    RecordingHost host;
    Quorvel synth(RecordingHost::callback);
    EXPECT_TRUE(kernelAvailable(synth.engine().kernelInUse()));
    EXPECT_TRUE(kernelAvailable(KernelPath::Scalar));
    for (KernelPath path : {KernelPath::Scalar, KernelPath::Sse2, KernelPath::Avx2}) {
        const KernelPath before = synth.engine().kernelInUse();
        EXPECT_EQ(synth.engine().useKernel(path), kernelAvailable(path)) << kernelName(path);
        EXPECT_EQ(synth.engine().kernelInUse(), kernelAvailable(path) ? path : before) << kernelName(path);
    }
}

void setEnvironment(const char* name, const char* value) {
#if defined(_WIN32)
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

// QUORVEL_KERNEL, read when an engine is made, names the path to run
// when that one is available; an unknown name leaves the fastest.
TEST(KernelChoice, EnvironmentNamesThePath) {
    const char* saved = std::getenv("QUORVEL_KERNEL");
    const std::string previous = saved ? saved : "";
    setEnvironment("QUORVEL_KERNEL", nullptr);
    const KernelPath fastest = Engine().kernelInUse();
    setEnvironment("QUORVEL_KERNEL", "scalar");
    EXPECT_EQ(Engine().kernelInUse(), KernelPath::Scalar);
    setEnvironment("QUORVEL_KERNEL", "sse3000");
    EXPECT_EQ(Engine().kernelInUse(), fastest);
    setEnvironment("QUORVEL_KERNEL", saved ? previous.c_str() : nullptr);
}

// Events fire by sample, those of one sample in arrival order, however the
// host's lists ordered them: here 300 bends in falling order of sample, two
// of them at the last sample, and one beyond the block.
TEST(EventOrder, OutOfOrderEventsFireBySampleThenArrival) {
    RecordingHost host;
    Quorvel synth(RecordingHost::callback);
    synth.engine().queueEvent(SynthEvent{EventKind::PitchBend, 256, 0, 0, -9.0f});  // never due in a 256-sample block
    for (int i = 0; i < 300; ++i)
        synth.engine().queueEvent(SynthEvent{EventKind::PitchBend, 255 - i * 255 / 299, 0, 0, 0.01f * i});
    synth.engine().queueEvent(SynthEvent{EventKind::PitchBend, 255, 0, 0, 7.0f});  // after the other bend at 255
    synth.engine().queueEvent(SynthEvent{EventKind::PitchBend, 100, 0, 0, 5.0f});
    std::vector<float> left(256), right(256);
    float* outs[2] = {left.data(), right.data()};
    synth.processReplacing(nullptr, outs, 256);
    EXPECT_EQ(synth.engine().currentBendSemitones(), 7.0f);
    EXPECT_TRUE(synth.engine().queue().empty());

    // A note-off queued before a note-on of the same key at the same sample,
    // both after later events in the list: the key is left sounding.
    synth.engine().queueEvent(SynthEvent{EventKind::Note, 50, 64, 100, 0.0f});
    synth.engine().queueEvent(SynthEvent{EventKind::Note, 20, 64, 0, 0.0f});
    synth.engine().queueEvent(SynthEvent{EventKind::Note, 20, 64, 90, 0.0f});
    synth.engine().queueEvent(SynthEvent{EventKind::Note, 10, 64, 80, 0.0f});
    synth.processReplacing(nullptr, outs, 30);
    EXPECT_EQ(synth.engine().voice(0).note, 64);
    EXPECT_LT(synth.engine().voice(1).note, 0);
    EXPECT_EQ(synth.engine().currentNoteVolume(), 0.9f);
}

}  // namespace
