// The engine as a host drives it: MIDI through effProcessEvents, blocks
// through processReplacing. Expectations come from what a listener could
// measure (pulse spacing, where the first pulse falls, how long the bit stays
// on) or from hand-computed values, and the voice views confirm the state.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "plugin/quorvel.h"
#include "support/event_list.h"
#include "support/recording_host.h"
#include "support/render.h"

using namespace quorvel;

namespace {

constexpr float kFullSample = 0.40000004f;  // bit on in all eight sub-steps, volume 1, gain 0.5

class Engine : public ::testing::Test {
protected:
    explicit Engine(RecordingHost::Answer answer = RecordingHost::defaultAnswer) : host(std::move(answer)) {}

    // Each call hands the host's list for the coming block to the instrument.
    void send(EventList& list) {
        AEffect* e = synth.getAeffect();
        ASSERT_EQ(e->dispatcher(e, effProcessEvents, 0, 0, list.get(), 0.0f), 1);
    }
    void on(std::int32_t delta, unsigned key, unsigned velocity = 100) {
        EventList l;
        l.noteOn(delta, key, velocity);
        send(l);
    }
    void off(std::int32_t delta, unsigned key) {
        EventList l;
        l.noteOff(delta, key);
        send(l);
    }
    std::vector<float> run(std::int32_t frames) { return renderBlock(synth.getAeffect(), frames); }
    void set(ParamIndex index, float value) {
        AEffect* e = synth.getAeffect();
        e->setParameter(e, index, value);
    }
    // Frequency a voice is running at, from its increment per sub-step.
    double frequency(int v) {
        return static_cast<double>(synth.engine().voice(v).phaseIncrement) * 8.0 * synth.getSampleRate();
    }
    int activeVoices() const {
        int n = 0;
        for (int v = 0; v < kNumVoices; ++v) n += synth.engine().voice(v).note >= 0;
        return n;
    }

    RecordingHost host;
    Quorvel synth{RecordingHost::callback};
};

double semitones(double ratio) { return 12.0 * std::log2(ratio); }

// Mean distance between pulse starts, in samples.
double meanPulseSpacing(const std::vector<float>& out) {
    const std::vector<int> edges = risingEdges(out);
    if (edges.size() < 2) return 0.0;
    return static_cast<double>(edges.back() - edges.front()) / static_cast<double>(edges.size() - 1);
}

TEST_F(Engine, SilenceIsExactlyZeroOnBothChannels) {
    for (float s : run(256)) ASSERT_EQ(s, 0.0f);
}

TEST_F(Engine, PulseSpacingFollowsThePitch) {
    on(0, 81);  // 880 Hz: a pulse every 44100 / 880 = 50.11 samples
    EXPECT_NEAR(meanPulseSpacing(run(4000)), 44100.0 / 880.0, 0.05);
    EXPECT_NEAR(frequency(0), 880.0, 0.01);
}

class EngineAt48k : public Engine {
protected:
    EngineAt48k() : Engine(RecordingHost::answering(audioMasterGetSampleRate, 48000)) {}
};

TEST_F(EngineAt48k, TheHostsRateSetsThePitchAndStaysWhenTheHostStopsAnswering) {
    on(0, 81);
    EXPECT_NEAR(meanPulseSpacing(run(4000)), 48000.0 / 880.0, 0.05);
    host.setAnswer(RecordingHost::answering(audioMasterGetSampleRate, 0));
    EXPECT_NEAR(meanPulseSpacing(run(4000)), 48000.0 / 880.0, 0.05);
    EXPECT_NEAR(frequency(0), 880.0, 0.01);
}

TEST_F(Engine, EightVoicesInIndexOrderThenTheNinthNoteIsDropped) {
    for (unsigned k = 0; k < 8; ++k) on(0, 60 + k, 100);
    on(0, 72, 50);  // would set the volume to 0.5 if it sounded
    run(1);
    for (int v = 0; v < 8; ++v) EXPECT_EQ(synth.engine().voice(v).note, 60 + v) << "voice " << v;
    EXPECT_TRUE(synth.engine().keyHeld(72));
    EXPECT_EQ(synth.engine().currentNoteVolume(), 1.0f);

    // A voice freed later is not handed to the dropped note: nothing is re-triggered.
    off(0, 63);
    run(1);
    EXPECT_LT(synth.engine().voice(3).note, 0);
    EXPECT_EQ(activeVoices(), 7);
}

// Eight voices on one key: the odd voices write last in every sub-step, so
// between pulses the shared bit is on. When all eight are released, a key
// still held (the dropped ninth note) keeps the bit as it was; without it the
// bit is cleared.
TEST_F(Engine, TheDroppedNotesHeldKeyKeepsTheBitAfterTheOthersEnd) {
    for (bool holdDropped : {true, false}) {
        RecordingHost localHost;
        Quorvel local(RecordingHost::callback);
        AEffect* e = local.getAeffect();
        EventList list;
        for (int i = 0; i < 8; ++i) list.noteOn(0, 69, 100);
        if (holdDropped) list.noteOn(0, 70, 100);
        e->dispatcher(e, effProcessEvents, 0, 0, list.get(), 0.0f);
        std::vector<float> first = renderBlock(e, 50);
        ASSERT_EQ(first[49], kFullSample) << "bit on between pulses";

        EventList release;
        release.noteOff(0, 69);
        e->dispatcher(e, effProcessEvents, 0, 0, release.get(), 0.0f);
        std::vector<float> after = renderBlock(e, 300);
        for (int v = 0; v < kNumVoices; ++v) ASSERT_LT(local.engine().voice(v).note, 0);
        const float expected = holdDropped ? kFullSample : 0.0f;
        for (std::size_t i = 0; i < after.size(); ++i)
            ASSERT_EQ(after[i], expected) << (holdDropped ? "key 70 held" : "nothing held") << ", sample " << i;
        EXPECT_EQ(local.engine().currentOutputBit(), holdDropped ? 1 : 0);
    }
}

TEST_F(Engine, OneKeyTwiceTakesTwoVoicesAndOneNoteOffFreesBoth) {
    on(0, 64);
    on(3, 64);
    run(8);
    EXPECT_EQ(synth.engine().voice(0).note, 64);
    EXPECT_EQ(synth.engine().voice(1).note, 64);
    off(0, 64);
    run(1);
    EXPECT_EQ(activeVoices(), 0);
    EXPECT_FALSE(synth.engine().keyHeld(64));
}

// Events for the same sample apply in arrival order. A note-off followed by a
// note-on of the same key restarts the note; the other way round leaves it
// silent.
TEST_F(Engine, SameSampleEventsApplyInArrivalOrder) {
    on(0, 69);
    run(40);
    EventList offThenOn;
    offThenOn.noteOff(5, 69).noteOn(5, 69, 100);
    send(offThenOn);
    std::vector<float> out = run(20);
    EXPECT_EQ(synth.engine().voice(0).note, 69);
    EXPECT_EQ(activeVoices(), 1);
    EXPECT_TRUE(synth.engine().keyHeld(69));
    EXPECT_EQ(out[4], 0.0f);
    EXPECT_EQ(out[5], kFullSample) << "restarted note begins a pulse at once";

    EventList onThenOff;
    onThenOff.noteOn(5, 69, 100).noteOff(5, 69);
    send(onThenOff);
    out = run(20);
    EXPECT_EQ(activeVoices(), 0);
    EXPECT_FALSE(synth.engine().keyHeld(69));
    for (int i = 5; i < 20; ++i) EXPECT_EQ(out[i], 0.0f) << "sample " << i;
}

TEST_F(Engine, AnEventAtTheLastSampleFiresOneAtTheBlockLengthNever) {
    on(63, 69);
    std::vector<float> out = run(64);
    EXPECT_EQ(firstNonZero(out), 63);

    Quorvel late(RecordingHost::callback);
    late.engine().queueEvent(SynthEvent{EventKind::Note, 64, 69, 100, 0.0f});
    late.engine().queueEvent(SynthEvent{EventKind::Note, 1000, 70, 100, 0.0f});
    late.engine().queueEvent(SynthEvent{EventKind::Note, -1, 71, 100, 0.0f});
    std::vector<float> silent = renderBlock(late.getAeffect(), 64);
    EXPECT_EQ(firstNonZero(silent), -1);
    EXPECT_TRUE(late.engine().queue().empty()) << "events not due are dropped with the block";
    silent = renderBlock(late.getAeffect(), 2000);
    EXPECT_EQ(firstNonZero(silent), -1) << "a dropped event came back in the next block";
    for (int k : {69, 70, 71}) EXPECT_FALSE(late.engine().keyHeld(k));
}

TEST_F(Engine, ABlockWithoutSamplesWritesNothingAndDiscardsTheQueue) {
    on(0, 69);
    for (std::int32_t frames : {0, -16}) {
        float left = -1.0f, right = -1.0f;
        float* outs[2] = {&left, &right};
        const std::size_t asked = host.count(audioMasterGetSampleRate);
        AEffect* e = synth.getAeffect();
        e->processReplacing(e, nullptr, outs, frames);
        EXPECT_EQ(left, -1.0f);
        EXPECT_EQ(right, -1.0f);
        EXPECT_EQ(host.count(audioMasterGetSampleRate), asked + 1) << frames << " frames";
        EXPECT_TRUE(synth.engine().queue().empty());
    }
    EXPECT_EQ(firstNonZero(run(200)), -1);
    EXPECT_EQ(activeVoices(), 0);
}

// "Note cut" 0.5 at 44100 Hz: 176400 sub-steps, so the voice is still on
// after 22049 samples and free after 22050, although the key is held.
TEST_F(Engine, NoteCutFreesTheVoiceAfterHalfASecond) {
    set(kNoteCut, 0.5f);
    on(0, 69);
    run(22049);
    EXPECT_EQ(synth.engine().voice(0).note, 69);
    run(1);
    EXPECT_LT(synth.engine().voice(0).note, 0);
    EXPECT_TRUE(synth.engine().keyHeld(69));
    EXPECT_EQ(synth.engine().voice(0).cutCounter, 0.0f);
}

TEST_F(Engine, WithoutNoteCutTheNoteSoundsUntilItsNoteOff) {
    on(0, 69);
    run(100000);
    EXPECT_EQ(synth.engine().voice(0).note, 69);
    EXPECT_EQ(synth.engine().voice(0).cutCounter, 0.0f);
}

// A cut taken in the middle of an even voice's pulse leaves the bit on: the
// cut neither clears the bit nor releases the key.
TEST_F(Engine, ACutDuringAPulseLeavesTheBitOn) {
    set(kPulseWidth, 1.0f);  // 2 ms pulses, 88 samples
    set(kNoteCut, 0.001f);   // cut after 1 ms, 44 samples
    on(0, 69);
    std::vector<float> out = run(400);
    EXPECT_LT(synth.engine().voice(0).note, 0);
    for (int i = 0; i < 400; ++i) ASSERT_EQ(out[i], kFullSample) << "sample " << i;
    EXPECT_EQ(synth.engine().currentOutputBit(), 1);
}

// Setting "Note cut" to 0 pauses a pending cut; any value above 0 resumes it
// where it stopped (the count is not recomputed from the new value).
TEST_F(Engine, NoteCutAtZeroPausesAndAboveZeroResumes) {
    set(kNoteCut, 0.5f);
    on(0, 69);
    run(1000);
    const float left = synth.engine().voice(0).cutCounter;
    EXPECT_EQ(left, 176400.0f - 8000.0f);
    set(kNoteCut, 0.0f);
    run(30000);
    EXPECT_EQ(synth.engine().voice(0).note, 69);
    EXPECT_EQ(synth.engine().voice(0).cutCounter, left);
    set(kNoteCut, 0.1f);
    run(21049);
    EXPECT_EQ(synth.engine().voice(0).note, 69);
    run(1);
    EXPECT_LT(synth.engine().voice(0).note, 0);
}

// The detune goes to every second active voice counted in index order, so it
// moves when the voices before it end.
TEST_F(Engine, DetuneFollowsTheCountOfActiveVoices) {
    set(kDetune, 1.0f);  // +0.5 semitone
    on(0, 69);           // voice 0
    run(1);
    EXPECT_NEAR(semitones(frequency(0) / 440.0), 0.0, 1e-4) << "a single note is not detuned";
    on(0, 57);  // voice 1
    run(1);
    EXPECT_NEAR(semitones(frequency(1) / 220.0), 0.5, 1e-4);
    on(0, 45);  // voice 2: third active, not detuned
    run(1);
    EXPECT_NEAR(semitones(frequency(2) / 110.0), 0.0, 1e-4);

    off(0, 69);  // voice 0 ends: voice 1 is now first, voice 2 second
    run(1);
    EXPECT_NEAR(semitones(frequency(1) / 220.0), 0.0, 1e-4);
    EXPECT_NEAR(semitones(frequency(2) / 110.0), 0.5, 1e-4);

    set(kDetune, 0.0f);  // read every sample: -0.5 semitone from the next one
    run(1);
    EXPECT_NEAR(semitones(frequency(2) / 110.0), -0.5, 1e-4);
}

// Velocity target "Volume": the latest note-on sets one volume for every
// sounding note.
TEST_F(Engine, VolumeTargetScalesEverySoundingNote) {
    set(kPulseWidth, 0.0f);  // voice 0 (even) keeps the bit on from its first period start
    on(0, 69, 127);
    std::vector<float> out = run(2);
    EXPECT_EQ(synth.engine().currentNoteVolume(), 1.27f);
    EXPECT_EQ(out[1], 1.27f * 0.8000001f * 0.5f);

    // Voice 1 (odd) on key 0, 8 Hz: it switches the bit off at its note-on and
    // not again for 5390 samples; voice 0's next period start switches it on.
    on(0, 0, 64);
    out = run(400);
    EXPECT_EQ(synth.engine().voice(1).note, 0);
    EXPECT_EQ(synth.engine().currentNoteVolume(), 0.64f);
    EXPECT_EQ(out[399], 0.64f * 0.8000001f * 0.5f) << "the first note sounds at the new level";
}

// Counting on-sub-steps in the output: the first pulse of a note lasts
// floor(pulseLength) sub-steps, each adding 0.1 x volume x gain.
int onSubSteps(const std::vector<float>& out, std::size_t from, std::size_t to, double perStep = 0.05) {
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) sum += out[i];
    return static_cast<int>(std::lround(sum / perStep));
}

TEST_F(Engine, PulseWidthTargetSetsThePulseLengthFromVelocity) {
    set(kVelocityTarget, 0.5f);
    on(0, 69, 127);  // sets a volume only if the target were Volume
    run(100);
    EXPECT_EQ(synth.engine().currentNoteVolume(), 1.0f);
    off(0, 69);
    run(1);
    on(0, 69, 50);  // 0.5 x 35.28 = 17.64 sub-steps: on for 17
    std::vector<float> out = run(60);
    EXPECT_EQ(onSubSteps(out, 0, 60), 17);
    EXPECT_EQ(synth.engine().currentNoteVolume(), 1.0f);
}

TEST_F(Engine, DefaultTargetLeavesThePulseAtItsBaseLength) {
    on(0, 69, 50);  // 35.28 sub-steps: on for 35 whatever the velocity
    std::vector<float> out = run(60);
    EXPECT_EQ(synth.engine().currentNoteVolume(), 0.5f);
    EXPECT_EQ(onSubSteps(out, 0, 60, 0.1 * 0.5 * 0.5), 35);
}

// Velocity target "Phase reset": velocity 50 starts the voice half a period
// in, so the first pulse comes half a period (50 samples at 440 Hz) late.
TEST_F(Engine, PhaseResetTargetDelaysTheFirstPulseByVelocity) {
    set(kVelocityTarget, 0.75f);
    on(0, 69, 50);
    std::vector<float> out = run(200);
    EXPECT_EQ(firstNonZero(out), 50);
    EXPECT_EQ(synth.engine().currentNoteVolume(), 1.0f);
}

TEST_F(Engine, NoteCutTargetScalesTheCutByVelocity) {
    set(kVelocityTarget, 1.0f);
    set(kNoteCut, 0.01f);  // 441 samples at full scale; velocity 50 halves it
    on(0, 69, 50);
    run(220);
    EXPECT_EQ(synth.engine().voice(0).note, 69);
    run(1);
    EXPECT_LT(synth.engine().voice(0).note, 0);
    EXPECT_EQ(synth.engine().currentNoteVolume(), 1.0f);
}

// The targets switch at t = 0.2525: 0.25 still controls the volume.
TEST_F(Engine, VelocityTargetBoundaries) {
    set(kVelocityTarget, 0.25f);
    on(0, 60, 64);
    run(1);
    EXPECT_EQ(synth.engine().currentNoteVolume(), 0.64f);
    set(kVelocityTarget, 0.26f);
    on(0, 62, 64);
    run(1);
    EXPECT_EQ(synth.engine().currentNoteVolume(), 1.0f);
    // Beyond the table velocity controls nothing and the volume is 1.
    set(kVelocityTarget, 0.0f);
    on(0, 64, 30);
    run(1);
    set(kVelocityTarget, 2.0f);
    on(0, 65, 30);
    run(1);
    EXPECT_EQ(synth.engine().currentNoteVolume(), 1.0f);
}

TEST_F(Engine, HalfPhaseResetStartsHalfAPeriodIn) {
    set(kPhaseReset, 0.5f);
    on(0, 69);
    EXPECT_EQ(firstNonZero(run(200)), 50);
}

// With "Phase reset" 0 the new note continues from the phase where the
// voice's previous note stopped, so its first pulse waits for the rest of
// that period.
TEST_F(Engine, ZeroPhaseResetContinuesThePreviousPhase) {
    on(0, 69);
    run(30);
    off(0, 69);
    run(10);  // a free voice does not advance
    const float stopped = synth.engine().voice(0).phase;
    const float increment = synth.engine().voice(0).phaseIncrement;
    EXPECT_NEAR(stopped, 30 * 8 * increment, 1e-4);

    set(kPhaseReset, 0.0f);
    on(0, 69);
    std::vector<float> out = run(1);
    EXPECT_EQ(out[0], 0.0f) << "no period start at the note-on";
    EXPECT_NEAR(synth.engine().voice(0).phase, stopped + 8 * increment, 1e-5);

    out = run(200);
    const double subStepsLeft = (1.0 - stopped) / increment - 8.0;
    EXPECT_NEAR(firstNonZero(out), subStepsLeft / 8.0, 1.0);
}

// A bend due at sample i already changes the pitch of sample i; a wheel
// change due at sample i first moves the vibrato of sample i + 1.
TEST_F(Engine, BendActsOnItsOwnSampleTheWheelOnTheNext) {
    auto start = [](Quorvel& q) {
        q.setParameter(kModSpeed, 1.0f);
        q.setParameter(kModDepth, 1.0f);
        EventList l;
        l.noteOn(0, 69, 100);
        AEffect* e = q.getAeffect();
        e->dispatcher(e, effProcessEvents, 0, 0, l.get(), 0.0f);
        renderBlock(e, 20);
    };
    auto withEvent = [&](EventList& l, std::int32_t frames, Quorvel& q) {
        AEffect* e = q.getAeffect();
        e->dispatcher(e, effProcessEvents, 0, 0, l.get(), 0.0f);
        return renderBlock(e, frames);
    };
    for (std::int32_t frames : {11, 12}) {
        Quorvel plain(RecordingHost::callback), bent(RecordingHost::callback), wheeled(RecordingHost::callback);
        start(plain);
        start(bent);
        start(wheeled);
        EventList none, bend, wheel;
        bend.bend(10, 16383);
        wheel.controller(10, 1, 127);
        withEvent(none, frames, plain);
        withEvent(bend, frames, bent);
        withEvent(wheel, frames, wheeled);
        const double plainRate = plain.engine().voice(0).phaseIncrement;
        // The last sample computed is sample frames - 1.
        EXPECT_NEAR(semitones(bent.engine().voice(0).phaseIncrement / plainRate), 2.0 * 8191.0 / 8192.0, 1e-4)
            << frames << " samples";
        if (frames == 11) {
            EXPECT_EQ(wheeled.engine().voice(0).phaseIncrement, plain.engine().voice(0).phaseIncrement)
                << "the wheel moved the pitch of its own sample";
        } else {
            EXPECT_NE(wheeled.engine().voice(0).phaseIncrement, plain.engine().voice(0).phaseIncrement)
                << "the wheel did not reach the next sample";
        }
        EXPECT_EQ(wheeled.engine().currentWheelDepth(), 0.248046875f);
    }
}

// The vibrato oscillator runs from construction whether or not the wheel is
// in use, and wraps at a full turn: 6 Hz at the default speed.
TEST_F(Engine, TheVibratoPhaseRunsWithoutTheWheel) {
    const double perSample = 0.5 * 24.0 / 44100.0 * 3.1415927;
    run(1000);
    EXPECT_NEAR(synth.engine().currentLfoPhase(), 1000 * perSample, 1e-4);
    run(7000);
    EXPECT_NEAR(synth.engine().currentLfoPhase(), 8000 * perSample - 2.0 * 3.141592653589793, 1e-3);
}

TEST_F(Engine, AllNotesOffClearsKeysVoicesAndTheBit) {
    set(kPulseWidth, 0.0f);                      // even voices leave the bit on after each period start
    for (unsigned k : {72u, 0u, 60u}) on(0, k);  // voice 1 (odd) on key 0 starts no period after its first
    EventList allOff;
    allOff.controller(100, 123, 0);
    send(allOff);
    std::vector<float> out = run(200);
    EXPECT_EQ(out[99], kFullSample);
    for (int i = 100; i < 200; ++i) ASSERT_EQ(out[i], 0.0f) << "sample " << i;
    EXPECT_EQ(activeVoices(), 0);
    EXPECT_EQ(synth.engine().currentOutputBit(), 0);
    for (int k = 0; k < 128; ++k) ASSERT_FALSE(synth.engine().keyHeld(k)) << "key " << k;
}

// Pulse width 0: an even voice switches the bit on at every period start and
// never off, so the output stays at full level.
TEST_F(Engine, ZeroPulseWidthKeepsAnEvenVoicesBitOn) {
    set(kPulseWidth, 0.0f);
    on(0, 69);
    std::vector<float> out = run(500);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(out[i], kFullSample) << "sample " << i;
}

// An odd voice makes negative pulses: with pulse width 0 it switches the bit
// off at its period start and never on, so once the even voice is gone the
// odd voice's own period start silences the output.
TEST_F(Engine, OddVoicesPullTheBitOff) {
    set(kPulseWidth, 0.0f);
    on(0, 69);
    on(0, 81);
    run(10);
    off(0, 69);  // voice 1 (odd) keeps playing; key 81 is held
    std::vector<float> out = run(200);
    EXPECT_EQ(synth.engine().voice(1).note, 81);
    for (int i = 60; i < 200; ++i) ASSERT_EQ(out[i], 0.0f) << "sample " << i;
    EXPECT_EQ(synth.engine().currentOutputBit(), 0);
}

}  // namespace
