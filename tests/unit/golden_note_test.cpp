// The reference note: key 69, velocity 100, default parameters, 44100 Hz.
#include <gtest/gtest.h>

#include <vector>

#include "support/recording_host.h"
#include "plugin/quorvel.h"

using namespace quorvel;

TEST(GoldenNote, FirstTwoPulsesAreExact) {
    RecordingHost host;
    Quorvel synth(RecordingHost::callback);
    synth.engine().queueEvent(SynthEvent{EventKind::Note, 0, 69, 100, 0.0f});

    std::vector<float> left(110, -1.0f), right(110, -1.0f);
    float* outs[2] = {left.data(), right.data()};
    synth.processReplacing(nullptr, outs, 110);

    std::vector<float> expected(110, 0.0f);
    for (int i : {0, 1, 2, 3, 101, 102, 103}) expected[i] = 0.40000004f;
    expected[4] = expected[104] = 0.15000001f;
    expected[100] = 0.35000002f;
    for (int i = 0; i < 110; ++i) {
        EXPECT_EQ(left[i], expected[i]) << "sample " << i;
        EXPECT_EQ(right[i], expected[i]) << "sample " << i;
    }
}
