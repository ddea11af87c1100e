// Instruments rendering on their own threads while other threads change,
// read and display their parameters through the record, as hosts do with
// automation and generic editors. Under ThreadSanitizer any unsynchronised
// access between those threads is reported; in any build the values read
// back must be ones that were written.
//
// The sample rate is left alone while rendering: the engine refreshes it
// from the host on the render thread, and a host that sets it must not do so
// during a block.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "plugin/quorvel.h"
#include "support/event_list.h"
#include "support/recording_host.h"

using namespace quorvel;

namespace {

constexpr int kInstances = 3;
constexpr int kBlocks = 300;
constexpr std::int32_t kFrames = 128;

// The values the parameter threads write stay in 0..1 for the engine's sake,
// and each index has a band of its own, [index / 8, (index + 1) / 8): a read
// that returns neither the parameter's default nor a value from its band is a
// torn or misplaced value.
float valueFor(std::int32_t index, int step) { return (static_cast<float>(index) + (step % 97) / 100.0f) / 8.0f; }
bool writtenOrDefault(std::int32_t index, float value) {
    return value == kParamDefaults[index] || (value >= index / 8.0f && value < (index + 1) / 8.0f);
}

struct Results {
    std::atomic<int> badSamples{0};
    std::atomic<int> badReads{0};
    std::atomic<int> badTexts{0};
};

void renderLoop(AEffect* e, Results& results) {
    std::vector<float> left(kFrames), right(kFrames);
    float* outs[2] = {left.data(), right.data()};
    for (int b = 0; b < kBlocks; ++b) {
        EventList list;
        list.noteOn(0, static_cast<unsigned>(40 + b % 40), static_cast<unsigned>(1 + b % 127))
            .noteOff(kFrames / 2, static_cast<unsigned>(40 + (b + 20) % 40), 0);
        e->dispatcher(e, effProcessEvents, 0, 0, list.get(), 0.0f);
        e->processReplacing(e, nullptr, outs, kFrames);
        for (std::int32_t i = 0; i < kFrames; ++i)
            if (!std::isfinite(left[i]) || left[i] != right[i]) results.badSamples.fetch_add(1);
    }
}

void parameterLoop(std::vector<AEffect*> effects, int seed, Results& results) {
    char text[64];
    for (int step = 0; step < kBlocks * 4; ++step) {
        AEffect* e = effects[static_cast<std::size_t>(step + seed) % effects.size()];
        const std::int32_t index = (step * 3 + seed) % 8;
        e->setParameter(e, index, valueFor(index, step));
        const std::int32_t other = (index + 1) % 8;
        if (!writtenOrDefault(other, e->getParameter(e, other))) results.badReads.fetch_add(1);
        for (std::int32_t op : {effGetParamName, effGetParamDisplay, effGetParamLabel}) {
            std::memset(text, 0x7F, sizeof(text));
            e->dispatcher(e, op, (index + 2) % 8, 0, text, 0.0f);
            if (std::memchr(text, 0, 17) == nullptr) results.badTexts.fetch_add(1);
        }
    }
}

TEST(Concurrency, InstancesRenderWhileParametersChange) {
    // A host that only answers: safe from any thread.
    RecordingHost host(RecordingHost::answering(audioMasterGetSampleRate, 48000), RecordingHost::Recording::Off);
    std::vector<AEffect*> effects;
    for (int i = 0; i < kInstances; ++i) {
        effects.push_back(createQuorvelEffect(RecordingHost::callback));
        ASSERT_NE(effects.back(), nullptr);
        effects.back()->dispatcher(effects.back(), effMainsChanged, 0, 1, nullptr, 0.0f);
    }
    Results results;
    std::vector<std::thread> threads;
    for (AEffect* e : effects) threads.emplace_back(renderLoop, e, std::ref(results));
    for (int seed = 0; seed < 2; ++seed) threads.emplace_back(parameterLoop, effects, seed, std::ref(results));
    for (std::thread& t : threads) t.join();

    EXPECT_EQ(results.badSamples.load(), 0);
    EXPECT_EQ(results.badReads.load(), 0);
    EXPECT_EQ(results.badTexts.load(), 0);
    for (AEffect* e : effects) EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
}

}  // namespace
