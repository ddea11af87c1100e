// MIDI intake: event lists built as a host builds them, handed over with
// effProcessEvents. What gets queued is read from the queue view; what it does
// is heard after rendering.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "plugin/quorvel.h"
#include "support/event_list.h"
#include "support/recording_host.h"
#include "support/render.h"

using namespace quorvel;

namespace {

constexpr EventKind Note = EventKind::Note;
constexpr EventKind PitchBend = EventKind::PitchBend;
constexpr EventKind ModWheel = EventKind::ModWheel;

bool sameEvent(const SynthEvent& a, const SynthEvent& b) {
    return a.kind == b.kind && a.delta == b.delta && a.note == b.note && a.velocity == b.velocity && a.value == b.value;
}

std::string describe(const SynthEvent& e) {
    return "{kind " + std::to_string(static_cast<int>(e.kind)) + ", delta " + std::to_string(e.delta) + ", note " +
           std::to_string(e.note) + ", velocity " + std::to_string(e.velocity) + ", value " + std::to_string(e.value) +
           "}";
}

class MidiIntake : public ::testing::Test {
protected:
    std::intptr_t send(EventList& list) { return send(list.get()); }
    std::intptr_t send(VstEvents* events) {
        AEffect* e = synth.getAeffect();
        return e->dispatcher(e, effProcessEvents, 0, 0, events, 0.0f);
    }
    std::vector<float> run(std::int32_t frames) { return renderBlock(synth.getAeffect(), frames); }
    void expectQueue(const std::vector<SynthEvent>& expected) {
        const EventQueue& q = synth.engine().queue();
        ASSERT_EQ(q.size(), expected.size());
        for (std::size_t i = 0; i < q.size(); ++i)
            EXPECT_TRUE(sameEvent(q[i], expected[i]))
                << "event " << i << ": " << describe(q[i]) << ", expected " << describe(expected[i]);
    }
    // The bend range in force, as the next bend message at full scale reads it.
    float queuedBendOf(unsigned value14) {
        EventList l;
        l.bend(0, value14);
        send(l);
        const float v = synth.engine().queue().back().value;
        run(0);
        return v;
    }

    RecordingHost host;
    Quorvel synth{RecordingHost::callback};
};

TEST_F(MidiIntake, NotesAreQueuedWithOffsetKeyAndVelocity) {
    EventList l;
    l.noteOn(3, 60, 100)
        .noteOff(7, 60, 64)           // release velocity dropped
        .noteOn(9, 62, 0)             // velocity 0: a note-off
        .midi(11, 0x90, 0xC5, 0xE4);  // data bytes with the top bit set: 69, 100
    EXPECT_EQ(send(l), 1);
    expectQueue({{Note, 3, 60, 100, 0.0f}, {Note, 7, 60, 0, 0.0f}, {Note, 9, 62, 0, 0.0f}, {Note, 11, 69, 100, 0.0f}});
}

// All sixteen channels act alike: each status queues what channel 1 queues.
TEST_F(MidiIntake, TheChannelIsIgnored) {
    for (unsigned channel = 0; channel < 16; ++channel) {
        EventList l;
        l.noteOn(1, 60, 90, channel).noteOff(2, 60, 0, channel).controller(3, 1, 64, channel).bend(4, 0, channel);
        send(l);
        expectQueue(
            {{Note, 1, 60, 90, 0.0f}, {Note, 2, 60, 0, 0.0f}, {ModWheel, 3, 0, 0, 0.5f}, {PitchBend, 4, 0, 0, -2.0f}});
        run(0);
    }
}

TEST_F(MidiIntake, VelocityZeroEndsTheNote) {
    EventList l;
    l.noteOn(0, 69, 100).noteOn(20, 69, 0);
    send(l);
    std::vector<float> out = run(300);
    EXPECT_GT(out[0], 0.0f);
    for (int i = 20; i < 300; ++i) ASSERT_EQ(out[i], 0.0f) << "sample " << i;
    EXPECT_LT(synth.engine().voice(0).note, 0);
    EXPECT_FALSE(synth.engine().keyHeld(69));
}

// Events of other types are skipped even when their bytes look like a note-on;
// so are the MIDI messages the instrument does not use.
TEST_F(MidiIntake, OtherEventTypesAndMessagesQueueNothing) {
    EventList l;
    l.noteOn(0, 60, 100).other(kVstSysExType).other(0).other(2).noteOn(5, 64, 100);
    send(l);
    expectQueue({{Note, 0, 60, 100, 0.0f}, {Note, 5, 64, 100, 0.0f}});
    run(0);

    EventList ignored;
    ignored
        .midi(0, 0xA0, 60, 100)     // polyphonic pressure
        .midi(0, 0xC3, 5)           // program change
        .midi(0, 0xD0, 90)          // channel pressure
        .midi(0, 0xF0, 0x7E, 0x7F)  // system exclusive start
        .midi(0, 0xF8)              // clock
        .midi(0, 0xFF, 0x90, 60)    // reset
        .midi(0, 0x45, 100)         // a data byte where the status belongs
        .midi(0, 0x00);
    EXPECT_EQ(send(ignored), 1);
    EXPECT_TRUE(synth.engine().queue().empty());
    EXPECT_EQ(synth.engine().currentBendRange(), 2.0f);
}

TEST_F(MidiIntake, EveryListAnswersOne) {
    EventList empty;
    EXPECT_EQ(send(empty), 1);
    EventList negative;
    negative.noteOn(0, 60, 100).forceCount(-3);
    EXPECT_EQ(send(negative), 1);
    EXPECT_EQ(send(static_cast<VstEvents*>(nullptr)), 1);
    EXPECT_TRUE(synth.engine().queue().empty());
}

// Lists longer than the two pointers the header declares are read to the end,
// in order.
TEST_F(MidiIntake, LongListsAreReadInOrder) {
    EventList l;
    for (int i = 0; i < 300; ++i) l.noteOn(i, static_cast<unsigned>(i % 128), 1 + i % 127);
    send(l);
    const EventQueue& q = synth.engine().queue();
    ASSERT_EQ(q.size(), 300u);
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(q[i].delta, i);
        EXPECT_EQ(q[i].note, i % 128);
        EXPECT_EQ(q[i].velocity, 1 + i % 127);
    }
}

TEST_F(MidiIntake, ListsSentBeforeOneBlockAccumulate) {
    EventList first, second;
    first.noteOn(0, 60, 100);
    second.noteOn(0, 64, 100).noteOn(10, 67, 100);
    send(first);
    send(second);
    EXPECT_EQ(synth.engine().queue().size(), 3u);
    run(20);
    EXPECT_EQ(synth.engine().voice(0).note, 60);
    EXPECT_EQ(synth.engine().voice(1).note, 64);
    EXPECT_EQ(synth.engine().voice(2).note, 67);
    EXPECT_TRUE(synth.engine().queue().empty());
}

TEST_F(MidiIntake, BendValuesAreScaledByTheRange) {
    EventList l;
    l.midi(0, 0xE0, 0x00, 0x40)      // 8192, the centre
        .midi(1, 0xE0, 0x00, 0x00)   // 0
        .midi(2, 0xE0, 0x7F, 0x7F)   // 16383
        .midi(3, 0xE0, 0x7F, 0x3F);  // 8191
    send(l);
    expectQueue({{PitchBend, 0, 0, 0, 0.0f},
                 {PitchBend, 1, 0, 0, -2.0f},
                 {PitchBend, 2, 0, 0, 2.0f * 8191.0f / 8192.0f},
                 {PitchBend, 3, 0, 0, -2.0f / 8192.0f}});
}

// Registered parameter 0 (both selection controllers at 0) takes data entry
// as half-semitones: 12 gives a range of 6, and full bend reads 6 x 8191/8192.
TEST_F(MidiIntake, DataEntryOnRegisteredParameterZeroSetsTheBendRange) {
    EventList l;
    l.controller(0, 101, 0).controller(0, 100, 0).controller(0, 6, 12).bend(0, 16383).noteOn(0, 69, 100);
    send(l);
    EXPECT_EQ(synth.engine().currentBendRange(), 6.0f);
    EXPECT_EQ(synth.engine().queue()[0].value, 5.9992676f);
    run(10);
    EXPECT_EQ(synth.engine().currentBendSemitones(), 5.9992676f);
    // The voice plays 5.9992676 semitones above 440 Hz.
    const double hz = synth.engine().voice(0).phaseIncrement * 8.0 * 44100.0;
    EXPECT_NEAR(12.0 * std::log2(hz / 440.0), 5.9992676, 1e-4);
}

TEST_F(MidiIntake, DataEntrySelectionRules) {
    struct Step {
        unsigned controller, value;
        float rangeAfter;
    };
    // Nothing selected yet counts as parameter 0; another parameter blocks
    // data entry; the fine part never counts; the selection outlives the list.
    const Step steps[] = {{6, 12, 6.0f},   {101, 127, 6.0f}, {6, 40, 6.0f},   {101, 0, 6.0f},
                          {100, 5, 6.0f},  {6, 40, 6.0f},    {100, 0, 6.0f},  {6, 3, 1.5f},
                          {38, 100, 1.5f}, {38, 0, 1.5f},    {6, 0x8C, 6.0f}, {6, 127, 63.5f}};
    for (const Step& s : steps) {
        EventList l;
        l.controller(0, s.controller, s.value);
        send(l);
        EXPECT_EQ(synth.engine().currentBendRange(), s.rangeAfter)
            << "after controller " << s.controller << " = " << s.value;
        EXPECT_TRUE(synth.engine().queue().empty());
    }
}

// A bend is scaled by the range in force when it arrives: a later range
// change, even for the same sample, leaves it as it was.
TEST_F(MidiIntake, ABendKeepsTheRangeInForceWhenItArrived) {
    EventList l;
    l.bend(5, 16383).controller(5, 6, 24).bend(5, 0);
    send(l);
    EventList later;
    later.controller(0, 6, 2);
    send(later);
    expectQueue({{PitchBend, 5, 0, 0, 2.0f * 8191.0f / 8192.0f}, {PitchBend, 5, 0, 0, -12.0f}});
    EXPECT_EQ(synth.engine().currentBendRange(), 1.0f);
    run(10);
    EXPECT_EQ(synth.engine().currentBendSemitones(), -12.0f);
    EXPECT_NEAR(queuedBendOf(16383), 8191.0f / 8192.0f, 1e-7);
}

struct ControllerCase {
    unsigned number;
    bool allNotesOff;
};

class AllNotesOffControllers : public MidiIntake, public ::testing::WithParamInterface<ControllerCase> {};

TEST_P(AllNotesOffControllers, OnlyOneTwentyThreeToOneTwentySevenEndEveryNote) {
    const ControllerCase c = GetParam();
    EventList notes;
    notes.noteOn(0, 60, 100).noteOn(0, 64, 100);
    send(notes);
    run(10);
    EventList l;
    l.controller(4, c.number, 0);
    send(l);
    if (c.allNotesOff) {
        expectQueue({{Note, 4, -1, 0, 0.0f}});
    } else {
        EXPECT_TRUE(synth.engine().queue().empty()) << "controller " << c.number;
    }
    std::vector<float> out = run(200);
    int active = 0;
    for (int v = 0; v < kNumVoices; ++v) active += synth.engine().voice(v).note >= 0;
    EXPECT_EQ(active, c.allNotesOff ? 0 : 2) << "controller " << c.number;
    EXPECT_EQ(synth.engine().keyHeld(60), !c.allNotesOff);
    if (c.allNotesOff) {
        for (int i = 4; i < 200; ++i) ASSERT_EQ(out[i], 0.0f) << "sample " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Controllers, AllNotesOffControllers,
    ::testing::Values(ControllerCase{123, true}, ControllerCase{124, true}, ControllerCase{125, true},
                      ControllerCase{126, true}, ControllerCase{127, true}, ControllerCase{120, false},
                      ControllerCase{121, false}, ControllerCase{122, false}, ControllerCase{64, false},
                      // A first data byte with the top bit set is no controller number.
                      ControllerCase{0xFB, false}, ControllerCase{0x80, false}, ControllerCase{0xFF, false}));

TEST_F(MidiIntake, ModulationWheelIsQueuedAsAFractionAndAppliedAsDepth) {
    EventList l;
    l.controller(2, 1, 127).controller(3, 1, 64).controller(4, 1, 0x80 | 16);
    send(l);
    expectQueue({{ModWheel, 2, 0, 0, 0.9921875f}, {ModWheel, 3, 0, 0, 0.5f}, {ModWheel, 4, 0, 0, 0.125f}});
    run(3);
    EXPECT_EQ(synth.engine().currentWheelDepth(), 0.248046875f);
}

// The wheel brings in the vibrato: with "Modulation depth" 1 and the wheel at
// 127 the pitch swings by 1.984375 semitones either way over one 6 Hz cycle;
// with the wheel back at 0 it stays put.
TEST_F(MidiIntake, TheWheelMakesAnAudibleVibrato) {
    synth.setParameter(kModDepth, 1.0f);
    EventList l;
    l.noteOn(0, 69, 100).controller(0, 1, 127);
    send(l);
    double lowest = 1e9, highest = 0.0;
    for (int i = 0; i < 7400; ++i) {  // one cycle is 7350 samples
        run(1);
        const double st = 12.0 * std::log2(synth.engine().voice(0).phaseIncrement * 8.0 * 44100.0 / 440.0);
        lowest = std::min(lowest, st);
        highest = std::max(highest, st);
    }
    EXPECT_NEAR(highest, 1.984375, 2e-3);
    EXPECT_NEAR(lowest, -1.984375, 2e-3);

    EventList still;
    still.controller(0, 1, 0);
    send(still);
    run(2);
    const float settled = synth.engine().voice(0).phaseIncrement;
    for (int i = 0; i < 500; ++i) {
        run(1);
        ASSERT_EQ(synth.engine().voice(0).phaseIncrement, settled);
    }
    EXPECT_NEAR(settled * 8.0 * 44100.0, 440.0, 1e-3);
}

}  // namespace
