// Speaker arrangements: block sizes, zero filling, releasing, copying speakers
// and matching whole arrangements.
//
// Under AddressSanitizer the block sizes are checked exactly: every byte of
// 8 + 112 n is addressable and the byte after it is not, and a released block
// is poisoned. Without it the allocator can only confirm a lower bound.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define QV_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_TEST_ASAN 1
#endif
#endif

#if defined(QV_TEST_ASAN)
#include <sanitizer/asan_interface.h>
#else
#include <malloc.h>
#endif

#include "plugin/quorvel.h"
#include "support/recording_host.h"

using namespace quorvel;

namespace {

std::size_t blockBytes(std::int32_t n) { return 8 + 112 * static_cast<std::size_t>(n); }

VstSpeakerProperties* speaker(VstSpeakerArrangement* a, std::int32_t i) {
    return reinterpret_cast<VstSpeakerProperties*>(reinterpret_cast<unsigned char*>(a) + 8) + i;
}

void expectBlockOfSize(VstSpeakerArrangement* a, std::size_t bytes) {
    ASSERT_NE(a, nullptr);
#if defined(QV_TEST_ASAN)
    EXPECT_EQ(__asan_region_is_poisoned(a, bytes), nullptr) << "block shorter than " << bytes;
    EXPECT_TRUE(__asan_address_is_poisoned(reinterpret_cast<char*>(a) + bytes)) << "block longer than " << bytes;
#elif defined(_WIN32)
    EXPECT_GE(_msize(a), bytes);
#else
    EXPECT_GE(malloc_usable_size(a), bytes);
#endif
}

void expectReleased(const void* block) {
#if defined(QV_TEST_ASAN)
    EXPECT_TRUE(__asan_address_is_poisoned(block)) << "block still allocated";
#else
    (void)block;
#endif
}

bool allZero(const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i)
        if (b[i] != 0) return false;
    return true;
}

// A speaker record with every field set; name is written as given, the rest
// of the name bytes filled with 'z' after a terminator, if there is room.
VstSpeakerProperties makeSpeaker(int seed, const char* name) {
    VstSpeakerProperties s;
    std::memset(&s, 0xA0 + seed, sizeof(s));
    s.azimuth = 0.5f * static_cast<float>(seed);
    s.elevation = -0.25f * static_cast<float>(seed);
    s.radius = 1.0f + static_cast<float>(seed);
    s.reserved = 3.0f;
    s.type = 100 + seed;
    for (int i = 0; i < 28; ++i) s.future[i] = static_cast<char>(seed * 7 + i);
    // The name, its terminator when it fits, and 'z' filler behind it.
    const std::size_t len = std::strlen(name);
    std::memset(s.name, 'z', sizeof(s.name));
    std::memcpy(s.name, name, len < sizeof(s.name) ? len + 1 : sizeof(s.name));
    return s;
}

class SpeakerArrangements : public ::testing::Test {
protected:
    void TearDown() override {
        fx.deallocateArrangement(&slot);
        fx.deallocateArrangement(&source);
        EXPECT_TRUE(host.calls.empty()) << "speaker operations call the host";
    }

    // A source arrangement of n speakers, each with a distinct record.
    void makeSource(std::int32_t type, std::int32_t n) {
        ASSERT_TRUE(fx.allocateArrangement(&source, n));
        source->type = type;
        for (std::int32_t i = 0; i < n; ++i) {
            const std::string name = "Speaker " + std::to_string(i);
            *speaker(source, i) = makeSpeaker(i, name.c_str());
        }
    }

    RecordingHost host;
    Quorvel fx{RecordingHost::callback};
    VstSpeakerArrangement* slot = nullptr;
    VstSpeakerArrangement* source = nullptr;
};

TEST_F(SpeakerArrangements, AllocateGivesAZeroedBlockOfExactSize) {
    for (std::int32_t n : {0, 1, 2, 8, 9, 33}) {
        ASSERT_TRUE(fx.allocateArrangement(&slot, n)) << n;
        SCOPED_TRACE(n);
        expectBlockOfSize(slot, blockBytes(n));
        EXPECT_EQ(slot->type, 0);
        EXPECT_EQ(slot->numChannels, n);
        EXPECT_TRUE(allZero(speaker(slot, 0), 112 * static_cast<std::size_t>(n)));
    }
}

TEST_F(SpeakerArrangements, AllocateReleasesWhatTheSlotHeld) {
    ASSERT_TRUE(fx.allocateArrangement(&slot, 3));
    slot->type = 5;
    VstSpeakerArrangement* old = slot;
    ASSERT_TRUE(fx.allocateArrangement(&slot, 2));
    expectReleased(old);
    expectBlockOfSize(slot, 232);
    EXPECT_EQ(slot->type, 0);
    EXPECT_EQ(slot->numChannels, 2);
}

TEST_F(SpeakerArrangements, CountsWithoutABlockFailWithTheSlotEmpty) {
    for (std::int32_t n : {-1, -112, std::numeric_limits<std::int32_t>::min()}) {
        ASSERT_TRUE(fx.allocateArrangement(&slot, 1));
        VstSpeakerArrangement* old = slot;
        EXPECT_FALSE(fx.allocateArrangement(&slot, n)) << n;
        EXPECT_EQ(slot, nullptr);  // the old block was released before the new one was sought
        expectReleased(old);
    }
    EXPECT_FALSE(fx.allocateArrangement(nullptr, 2));
}

TEST_F(SpeakerArrangements, DeallocateEmptiesTheSlotAndAlwaysSucceeds) {
    EXPECT_TRUE(fx.deallocateArrangement(&slot));
    EXPECT_EQ(slot, nullptr);
    EXPECT_TRUE(fx.deallocateArrangement(nullptr));
    ASSERT_TRUE(fx.allocateArrangement(&slot, 4));
    VstSpeakerArrangement* old = slot;
    EXPECT_TRUE(fx.deallocateArrangement(&slot));
    EXPECT_EQ(slot, nullptr);
    expectReleased(old);
}

TEST_F(SpeakerArrangements, CopySpeakerCopiesEveryFieldAndCutsTheName) {
    // A name filling all 64 bytes with no terminator arrives as 63 characters.
    char full[65];
    for (int i = 0; i < 64; ++i) full[i] = static_cast<char>('A' + i % 26);
    full[64] = 0;
    const VstSpeakerProperties from = makeSpeaker(3, full);
    VstSpeakerProperties to;
    std::memset(&to, 0xEE, sizeof(to));
    VstSpeakerProperties fromCopy = from;
    ASSERT_TRUE(fx.copySpeaker(&to, &fromCopy));
    EXPECT_EQ(std::memcmp(&fromCopy, &from, sizeof(from)), 0) << "source written";
    EXPECT_EQ(std::memcmp(to.name, from.name, 63), 0);
    EXPECT_EQ(to.name[63], 0);
    EXPECT_EQ(to.azimuth, from.azimuth);
    EXPECT_EQ(to.elevation, from.elevation);
    EXPECT_EQ(to.radius, from.radius);
    EXPECT_EQ(to.reserved, from.reserved);
    EXPECT_EQ(to.type, from.type);
    EXPECT_EQ(std::memcmp(to.future, from.future, 28), 0);

    // A one-character name arrives with 63 zero bytes; what followed the
    // source's terminator is not copied.
    VstSpeakerProperties shortName = makeSpeaker(4, "L");
    ASSERT_TRUE(fx.copySpeaker(&to, &shortName));
    EXPECT_EQ(to.name[0], 'L');
    EXPECT_TRUE(allZero(to.name + 1, 63));
    EXPECT_EQ(to.type, 104);
}

TEST_F(SpeakerArrangements, CopySpeakerWithANullPointerWritesNothing) {
    VstSpeakerProperties a = makeSpeaker(1, "Left");
    const VstSpeakerProperties before = a;
    EXPECT_FALSE(fx.copySpeaker(nullptr, &a));
    EXPECT_FALSE(fx.copySpeaker(&a, nullptr));
    EXPECT_FALSE(fx.copySpeaker(nullptr, nullptr));
    EXPECT_EQ(std::memcmp(&a, &before, sizeof(a)), 0);
}

TEST_F(SpeakerArrangements, MatchSixSpeakersGivesAnIndependentCopy) {
    makeSource(7, 6);
    ASSERT_TRUE(fx.allocateArrangement(&slot, 2));
    VstSpeakerArrangement* old = slot;
    ASSERT_TRUE(fx.matchArrangement(&slot, source));
    expectReleased(old);
    ASSERT_NE(slot, source);
    expectBlockOfSize(slot, 680);
    EXPECT_EQ(slot->type, 7);
    EXPECT_EQ(slot->numChannels, 6);
    for (std::int32_t i = 0; i < 6; ++i) {
        VstSpeakerProperties expected = *speaker(source, i);
        std::memset(expected.name + std::strlen(expected.name), 0, 64 - std::strlen(expected.name));
        EXPECT_EQ(std::memcmp(speaker(slot, i), &expected, 112), 0) << "speaker " << i;
    }
    speaker(source, 0)->name[0] = 'X';
    source->type = 1;
    EXPECT_EQ(speaker(slot, 0)->name[0], 'S');
    EXPECT_EQ(slot->type, 7);
}

TEST_F(SpeakerArrangements, MatchBeyondTheDeclaredEightSpeakers) {
    makeSource(40, 12);
    ASSERT_TRUE(fx.matchArrangement(&slot, source));
    expectBlockOfSize(slot, blockBytes(12));
    EXPECT_EQ(slot->numChannels, 12);
    EXPECT_EQ(speaker(slot, 11)->type, 111);
    EXPECT_STREQ(speaker(slot, 11)->name, "Speaker 11");
}

TEST_F(SpeakerArrangements, MatchWithoutSpeakers) {
    makeSource(3, 0);
    ASSERT_TRUE(fx.matchArrangement(&slot, source));
    expectBlockOfSize(slot, 8);
    EXPECT_EQ(slot->type, 3);
    EXPECT_EQ(slot->numChannels, 0);
}

TEST_F(SpeakerArrangements, MatchFailures) {
    ASSERT_TRUE(fx.allocateArrangement(&slot, 1));
    slot->type = 9;
    VstSpeakerArrangement* held = slot;
    EXPECT_FALSE(fx.matchArrangement(&slot, nullptr));
    EXPECT_EQ(slot, held);
    EXPECT_EQ(slot->type, 9);

    // A source claiming a negative count: the slot ends empty.
    VstSpeakerArrangement bad{};
    bad.numChannels = -3;
    EXPECT_FALSE(fx.matchArrangement(&slot, &bad));
    EXPECT_EQ(slot, nullptr);
    expectReleased(held);

    makeSource(1, 1);
    EXPECT_FALSE(fx.matchArrangement(nullptr, source));
}

// Records every speaker operation and can be told to fail one of them;
// matchArrangement must reach them through the virtual operations.
class ObservedArrangements : public Quorvel {
public:
    using Quorvel::Quorvel;
    bool allocateArrangement(VstSpeakerArrangement** a, std::int32_t n) override {
        log.push_back("allocate " + std::to_string(n));
        return failAllocate ? false : Quorvel::allocateArrangement(a, n);
    }
    bool deallocateArrangement(VstSpeakerArrangement** a) override {
        log.push_back("deallocate");
        return failDeallocate ? false : Quorvel::deallocateArrangement(a);
    }
    bool copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) override {
        log.push_back("copy " + std::string(from->name));
        if (--copiesLeft < 0) return false;
        return Quorvel::copySpeaker(to, from);
    }
    std::vector<std::string> log;
    bool failAllocate = false;
    bool failDeallocate = false;
    int copiesLeft = 1000;
};

TEST_F(SpeakerArrangements, MatchGoesThroughTheVirtualOperations) {
    ObservedArrangements obs(RecordingHost::callback);
    makeSource(2, 3);
    ASSERT_TRUE(obs.matchArrangement(&slot, source));
    EXPECT_EQ(obs.log, (std::vector<std::string>{"deallocate", "allocate 3", "copy Speaker 0", "copy Speaker 1",
                                                 "copy Speaker 2"}));

    // A failing copy stops at once and leaves the partial copy in the slot.
    obs.log.clear();
    obs.copiesLeft = 1;
    EXPECT_FALSE(obs.matchArrangement(&slot, source));
    EXPECT_EQ(obs.log, (std::vector<std::string>{"deallocate", "allocate 3", "copy Speaker 0", "copy Speaker 1"}));
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->type, 2);
    EXPECT_STREQ(speaker(slot, 0)->name, "Speaker 0");
    EXPECT_TRUE(allZero(speaker(slot, 1), 2 * 112));

    obs.log.clear();
    obs.copiesLeft = 1000;
    obs.failAllocate = true;
    EXPECT_FALSE(obs.matchArrangement(&slot, source));
    EXPECT_EQ(obs.log, (std::vector<std::string>{"deallocate", "allocate 3"}));
    EXPECT_EQ(slot, nullptr);

    obs.log.clear();
    obs.failAllocate = false;
    obs.failDeallocate = true;
    EXPECT_FALSE(obs.matchArrangement(&slot, source));
    EXPECT_EQ(obs.log, (std::vector<std::string>{"deallocate"}));
}

}  // namespace
