// The reference engine checked against hand-worked figures, so that the
// differential tests compare the plug-in with something known to be right
// rather than with a copy of its own mistakes.
#include <gtest/gtest.h>

#include <vector>

#include "reference/reference_engine.h"

using namespace quorvel;

namespace {

using reference::Engine;
using reference::MidiMessage;

std::vector<float> renderMono(Engine& engine, std::intptr_t rate, int frames) {
    std::vector<float> left(frames, -1.0f), right(frames, -2.0f);
    engine.render(rate, left.data(), right.data(), frames);
    for (int i = 0; i < frames; ++i) EXPECT_EQ(left[i], right[i]) << "sample " << i;
    return left;
}

TEST(ReferenceEngine, VelocityTargetBoundariesDecideTheVolume) {
    // Velocity 50 halves the level only while the target is Volume; a pulse of
    // 35 sub-steps or more keeps all eight sub-steps of sample 0 on.
    struct Case {
        float target;
        float expected;
    };
    for (Case c : {Case{0.0f, 0.5f * 0.8000001f * 0.5f}, Case{0.25f, 0.5f * 0.8000001f * 0.5f},
                   Case{0.2525f, 0.8000001f * 0.5f}, Case{0.5f, 0.8000001f * 0.5f}}) {
        Engine engine;
        engine.setParameter(4, c.target);
        engine.takeMessage(MidiMessage{0, 0x90, 69, 50});
        EXPECT_EQ(renderMono(engine, 44100, 1)[0], c.expected) << "target " << c.target;
    }
}

TEST(ReferenceEngine, NoteCutFreesTheVoiceAfterItsTimeWhileTheKeyIsHeld) {
    Engine engine;
    engine.setParameter(3, 0.5f);  // 176400 sub-steps at 44100 Hz
    engine.takeMessage(MidiMessage{0, 0x90, 60, 100});
    renderMono(engine, 44100, 22049);
    EXPECT_EQ(engine.activeVoices(), 1);
    renderMono(engine, 44100, 1);
    EXPECT_EQ(engine.activeVoices(), 0);
    EXPECT_EQ(engine.counts().notesCut, 1u);
}

TEST(ReferenceEngine, NonPositiveRateAnswersKeepThePreviousRate) {
    // 2^-7 s is exactly 375 samples at 48 kHz (about 345 at 44.1 kHz).
    for (std::intptr_t answer : {0, -1}) {
        Engine engine;
        engine.setParameter(3, 0.0078125f);
        renderMono(engine, 48000, 0);
        engine.takeMessage(MidiMessage{0, 0x90, 60, 100});
        renderMono(engine, answer, 374);
        EXPECT_EQ(engine.activeVoices(), 1) << "answer " << answer;
        renderMono(engine, answer, 1);
        EXPECT_EQ(engine.activeVoices(), 0) << "answer " << answer;
    }
}

TEST(ReferenceEngine, NinthNoteIsDroppedAndAllNotesOffFreesEverything) {
    Engine engine;
    for (int k = 0; k < 9; ++k) engine.takeMessage(MidiMessage{0, 0x90, static_cast<std::uint8_t>(40 + k), 90});
    engine.takeMessage(MidiMessage{3, 0xB5, 123, 0});
    renderMono(engine, 44100, 3);
    EXPECT_EQ(engine.activeVoices(), 8);
    EXPECT_EQ(engine.counts().notesDropped, 1u);
    std::vector<float> out = renderMono(engine, 44100, 1);  // the event was discarded with its block
    EXPECT_EQ(engine.activeVoices(), 8);

    engine.takeMessage(MidiMessage{0, 0xB5, 123, 0});
    out = renderMono(engine, 44100, 4);
    EXPECT_EQ(engine.activeVoices(), 0);
    for (float s : out) EXPECT_EQ(s, 0.0f);
}

}  // namespace
