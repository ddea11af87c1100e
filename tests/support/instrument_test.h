// A fixture holding one instrument made through the entry point's own
// creation with a recording host, as a host would load it; what the host
// was asked while it was made is cleared before the test starts, and the
// instrument is closed through its dispatcher afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "abi/aeffect.h"
#include "plugin/quorvel.h"
#include "support/recording_host.h"

namespace quorvel {

// What a host answering version 0 must see: exactly one version query, with
// no record and every other argument zero, and nothing more.
inline void expectOnlyAVersionQuery(const RecordingHost& host) {
    ASSERT_EQ(host.calls.size(), 1u);
    const HostCall& c = host.calls[0];
    EXPECT_EQ(c.effect, nullptr);
    EXPECT_EQ(c.opcode, audioMasterVersion);
    EXPECT_EQ(c.index, 0);
    EXPECT_EQ(c.value, 0);
    EXPECT_EQ(c.ptr, nullptr);
    EXPECT_EQ(c.opt, 0.0f);
}

class InstrumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        effect = createQuorvelEffect(RecordingHost::callback);
        ASSERT_NE(effect, nullptr);
        host.calls.clear();
    }
    void TearDown() override {
        if (effect) closeAnswer = effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }

    std::intptr_t dispatch(std::int32_t opcode, void* ptr = nullptr, std::intptr_t value = 0, std::int32_t index = 0) {
        return effect->dispatcher(effect, opcode, index, value, ptr, 0.0f);
    }

    RecordingHost host;
    AEffect* effect = nullptr;
    std::intptr_t closeAnswer = 0;  // what effClose answered in TearDown
};

}  // namespace quorvel
