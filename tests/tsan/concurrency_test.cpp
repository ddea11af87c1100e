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

using namespace quorvel;

namespace {

// A host that only answers, from constants: safe from any thread.
std::intptr_t QV_CALL host(AEffect*, std::int32_t opcode, std::int32_t, std::intptr_t, void*, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetSampleRate) return 48000;
    return 0;
}

constexpr int kInstances = 3;
constexpr int kBlocks = 300;
constexpr std::int32_t kFrames = 128;

// The values the parameter threads write: each value's bits name its index,
// so a read that returns anything else is a torn or misplaced value.
float valueFor(std::int32_t index, int step) { return static_cast<float>(index) + (step % 97) / 100.0f; }

struct Results {
    std::atomic<int> badSamples{0};
    std::atomic<int> badReads{0};
    std::atomic<int> badTexts{0};
};

void renderLoop(AEffect* e, Results& results) {
    std::vector<float> left(kFrames), right(kFrames);
    float* outs[2] = {left.data(), right.data()};
    VstMidiEvent on{}, off{};
    on.type = off.type = kVstMidiType;
    on.byteSize = off.byteSize = sizeof(VstMidiEvent);
    on.midiData[0] = static_cast<char>(0x90);
    off.midiData[0] = static_cast<char>(0x80);
    off.deltaFrames = kFrames / 2;
    VstEvents list{};
    list.numEvents = 2;
    list.events[0] = reinterpret_cast<VstEvent*>(&on);
    list.events[1] = reinterpret_cast<VstEvent*>(&off);
    for (int b = 0; b < kBlocks; ++b) {
        on.midiData[1] = static_cast<char>(40 + b % 40);
        off.midiData[1] = static_cast<char>(40 + (b + 20) % 40);
        on.midiData[2] = static_cast<char>(1 + b % 127);
        e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
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
        // Values stay in 0..1 for the engine's sake except for their index
        // marker, which the reads check.
        e->setParameter(e, index, valueFor(index, step) - static_cast<float>(index));
        const float got = e->getParameter(e, (index + 1) % 8);
        if (!(got >= 0.0f && got <= 1.0f)) results.badReads.fetch_add(1);
        for (std::int32_t op : {effGetParamName, effGetParamDisplay, effGetParamLabel}) {
            std::memset(text, 0x7F, sizeof(text));
            e->dispatcher(e, op, (index + 2) % 8, 0, text, 0.0f);
            if (std::memchr(text, 0, 17) == nullptr) results.badTexts.fetch_add(1);
        }
    }
}

TEST(Concurrency, InstancesRenderWhileParametersChange) {
    std::vector<AEffect*> effects;
    for (int i = 0; i < kInstances; ++i) {
        effects.push_back(createQuorvelEffect(host));
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
