// The audio thread allocates nothing: processReplacing never touches the
// heap, and processEvents only when the event queue outgrows its storage;
// the LV2 instrument's run() never does, whatever its sequence holds.
// Every heap allocation of the program goes through the operators below and
// is counted.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "plugin/quorvel.h"
#include "support/event_list.h"
#if QUORVEL_LV2_GUARD
#include "support/lv2_instance.h"
#endif
#include "support/recording_host.h"

using namespace quorvel;

namespace {

std::atomic<long> allocations{0};

void* allocate(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

void* allocateAligned(std::size_t size, std::align_val_t align) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    const std::size_t a = static_cast<std::size_t>(align);
    void* p = nullptr;
    if (posix_memalign(&p, a < sizeof(void*) ? sizeof(void*) : a, size ? size : 1) != 0) throw std::bad_alloc();
    return p;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t align) { return allocateAligned(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return allocateAligned(size, align); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

// The sample rate the host answers.
std::intptr_t rateAnswer = 44100;

// A busy block of n MIDI messages, built before the measured calls: notes on
// and off on all eight voices and one more, wheel, bend, bend range, all
// notes off.
void addBusyBlock(EventList& ev, int n, std::int32_t frames) {
    static const unsigned char kinds[][3] = {{0x90, 60, 100}, {0x91, 64, 90}, {0xB0, 1, 100},
                                             {0xE0, 0, 90},   {0x80, 60, 0},  {0x92, 67, 127},
                                             {0xB0, 6, 24},   {0x93, 72, 1},  {0xB0, 123, 0}};
    for (int i = 0; i < n; ++i) {
        const unsigned char* k = kinds[i % 9];
        ev.midi((i * 37) % (frames + 8), k[0], static_cast<unsigned>(k[1] + (i % 5)), k[2]);
    }
}

class AllocGuard : public ::testing::Test {
protected:
    void SetUp() override {
        effect = createQuorvelEffect(RecordingHost::callback);
        ASSERT_NE(effect, nullptr);
        left.assign(8192, 0.0f);
        right.assign(8192, 0.0f);
    }
    void TearDown() override { effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f); }

    Engine& engine() { return static_cast<Quorvel*>(static_cast<AudioEffect*>(effect->object))->engine(); }

    // Heap allocations made by one call.
    template <typename F>
    long counted(F&& call) {
        const long before = allocations.load();
        call();
        return allocations.load() - before;
    }
    long render(std::int32_t frames) {
        float* outs[2] = {left.data(), right.data()};
        return counted([&] { effect->processReplacing(effect, nullptr, outs, frames); });
    }
    long send(VstEvents* list) {
        return counted([&] { effect->dispatcher(effect, effProcessEvents, 0, 0, list, 0.0f); });
    }

    // A host that answers and keeps no record (recording would allocate on
    // the audio thread itself).
    RecordingHost host{[](const HostCall& call) {
                           return call.opcode == audioMasterGetSampleRate ? rateAnswer
                                                                          : RecordingHost::defaultAnswer(call);
                       },
                       RecordingHost::Recording::Off};
    AEffect* effect = nullptr;
    std::vector<float> left, right;
};

TEST_F(AllocGuard, RenderingNeverAllocates) {
    EventList warm;
    addBusyBlock(warm, 64, 256);
    send(warm.get());
    EXPECT_EQ(render(256), 0);

    const float awkward[] = {0.0f, 1.0f, 0.3f, NAN, INFINITY, -1e30f, 1e30f};
    const std::int32_t sizes[] = {1, 7, 64, 512, 8192, 0, -5};
    for (int round = 0; round < 21; ++round) {
        const std::int32_t frames = sizes[round % 7];
        EventList ev;
        addBusyBlock(ev, 48, frames > 0 ? frames : 1);
        ASSERT_EQ(send(ev.get()), 0) << "round " << round;  // within the warmed-up storage
        // Every parameter, in range and far outside it, and the sample rates
        // a host may answer: none of it makes the render loop allocate.
        for (std::int32_t i = 0; i < 8; ++i) effect->setParameter(effect, i, awkward[(round + i) % 7] * 0.999f);
        rateAnswer = round % 3 == 0 ? 48000 : round % 3 == 1 ? 1 : 0;
        EXPECT_EQ(render(frames), 0) << "round " << round << ", " << frames << " frames";
    }
}

TEST_F(AllocGuard, EventsAllocateOnlyWhenTheQueueOutgrowsItsStorage) {
    EventList first;
    addBusyBlock(first, 100, 512);
    EXPECT_GT(send(first.get()), 0) << "an empty queue has no storage yet";
    const std::size_t capacity = engine().queue().capacity();
    ASSERT_GE(capacity, 100u);
    render(512);
    EXPECT_EQ(engine().queue().capacity(), capacity) << "emptying keeps the storage";

    // Up to the storage's size, in one list or several, nothing is allocated.
    EventList same;
    addBusyBlock(same, 100, 512);
    EXPECT_EQ(send(same.get()), 0);
    render(512);
    EventList part;
    addBusyBlock(part, static_cast<int>(capacity / 2), 512);
    EXPECT_EQ(send(part.get()), 0);
    EXPECT_EQ(send(part.get()), 0);
    render(512);

    // Beyond it the queue grows, in a few steps, and keeps the new size.
    EventList more;
    addBusyBlock(more, static_cast<int>(capacity * 4), 512);
    const long growth = send(more.get());
    EXPECT_GT(growth, 0);
    EXPECT_LE(growth, 3);
    render(512);
    EXPECT_EQ(send(more.get()), 0);
    render(512);
}

TEST_F(AllocGuard, ParameterCallsNeverAllocate) {
    char text[64];
    for (std::int32_t i = -1; i < 9; ++i) {
        EXPECT_EQ(counted([&] { effect->setParameter(effect, i, 0.37f); }), 0);
        EXPECT_EQ(counted([&] { effect->getParameter(effect, i); }), 0);
        for (std::int32_t op : {effGetParamName, effGetParamDisplay, effGetParamLabel})
            EXPECT_EQ(counted([&] { effect->dispatcher(effect, op, i, 0, text, 0.0f); }), 0) << op << " " << i;
    }
}

#if QUORVEL_LV2_GUARD
// Sequences made beforehand (busy ones, one beyond the queue's room that is
// rendered in pieces, damaged ones), awkward port values and run lengths:
// run() allocates nothing.
TEST(AllocGuardLv2, RunNeverAllocates) {
    Lv2Instance synth(48000.0);
    std::vector<std::unique_ptr<AtomSequence>> sequences;
    for (int n : {0, 9, 300, lv2::kEventCapacity + 700}) {
        auto& s = *sequences.emplace_back(std::make_unique<AtomSequence>(synth.map));
        for (int i = 0; i < n; ++i) s.midi((i * 37) % 600, i % 4 == 3 ? 0xB0 : 0x90, i % 4 == 3 ? 1 : 40 + i % 40, 64);
    }
    const std::uint8_t note[3] = {0x90, 60, 100};
    sequences.emplace_back(std::make_unique<AtomSequence>(synth.map))->event(3, 0, note, 3, 1u << 30);
    std::vector<float> left(8192), right(8192);
    const float awkward[] = {0.0f, 1.0f, 0.3f, NAN, INFINITY, -1e30f, 1e30f};
    const std::uint32_t sizes[] = {1, 7, 64, 512, 8192, 0, 600};
    for (int round = 0; round < 21; ++round) {
        for (std::int32_t i = 0; i < kParamCount; ++i) synth.controls[i] = awkward[(round + i) % 7] * 0.999f;
        const LV2_Atom_Sequence* s = sequences[static_cast<std::size_t>(round) % sequences.size()]->get();
        const long before = allocations.load();
        synth.run(sizes[round % 7], left.data(), right.data(), s);
        EXPECT_EQ(allocations.load() - before, 0) << "round " << round;
    }
}
#endif

}  // namespace
