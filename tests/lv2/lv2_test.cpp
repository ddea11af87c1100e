// The LV2 instrument through its descriptor: what it needs to be made, the
// VST 2.4 plug-in's sound bit for bit, its lifecycle, and the sequences it
// cannot read.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "plugin/quorvel.h"
#include "support/event_list.h"
#include "support/lv2_instance.h"
#include "support/recording_host.h"

using namespace quorvel;

namespace {

constexpr int kRate = 48000;

// A MIDI message at a frame of the whole session.
struct TimedMidi {
    std::int64_t frame;
    unsigned char status, data1, data2;
};

// A session of about three seconds: chords on several channels, velocities
// for every target, the wheel, bends before and after a bend-range change,
// messages the instrument ignores, all notes off.
std::vector<TimedMidi> sessionEvents() {
    std::vector<TimedMidi> events;
    const unsigned char keys[] = {48, 55, 60, 64, 67, 71, 74, 79, 84};
    for (int bar = 0; bar < 6; ++bar) {
        const std::int64_t at = bar * 24000 + 17 * bar;
        for (int i = 0; i < 9; ++i)
            events.push_back({at + i * 5, static_cast<unsigned char>(0x90 | (i % 3)), keys[(i + bar) % 9],
                              static_cast<unsigned char>(20 + 13 * i + bar)});
        events.push_back({at + 3001, 0xB0, 1, static_cast<unsigned char>(30 * bar)});
        events.push_back({at + 5000, 0xE0, static_cast<unsigned char>(bar * 11), static_cast<unsigned char>(bar * 20)});
        events.push_back({at + 7000, 0xA0, 60, 10});
        events.push_back({at + 7000, 0xC3, 5, 0});
        if (bar == 2) {
            events.push_back({at + 9000, 0xB0, 101, 0});
            events.push_back({at + 9000, 0xB0, 100, 0});
            events.push_back({at + 9001, 0xB5, 6, 24});
            events.push_back({at + 9001, 0xE0, 0, 127});
        }
        for (int i = 0; i < 9; i += 2) events.push_back({at + 15000 + i, 0x80, keys[(i + bar) % 9], 64});
        if (bar == 4) events.push_back({at + 20000, 0xB0, 123, 0});
    }
    return events;
}

// Parameter values from one segment of the session to the next: the
// defaults first, then every parameter moved.
constexpr std::int64_t kSegment = 12000;
constexpr int kSegments = 13;
float segmentValue(int segment, std::int32_t index) {
    if (segment == 0) return kParamDefaults[index];
    static const float moved[kParamCount] = {0.31f, 0.0f, 0.83f, 0.07f, 0.4f, 0.7f, 0.9f, 0.8f};
    const float value = moved[index] + 0.013f * static_cast<float>(segment % 4);
    return index == kVelocityTarget ? 0.25f * static_cast<float>(segment % 5) : value;
}

// The session through the VST 2.4 plug-in in blocks of `block` samples that
// end where the parameters move; channel 0.
std::vector<float> throughVst(std::int32_t block) {
    RecordingHost host(RecordingHost::answering(audioMasterGetSampleRate, kRate), RecordingHost::Recording::Off);
    AEffect* effect = createQuorvelEffect(RecordingHost::callback);
    const std::vector<TimedMidi> events = sessionEvents();
    std::vector<float> out(kSegment * kSegments), right(out.size());
    std::size_t next = 0;
    for (std::int64_t at = 0; at < static_cast<std::int64_t>(out.size());) {
        const int segment = static_cast<int>(at / kSegment);
        for (std::int32_t i = 0; i < kParamCount; ++i) effect->setParameter(effect, i, segmentValue(segment, i));
        const std::int64_t end = std::min<std::int64_t>(at + block, (segment + 1) * kSegment);
        EventList list;
        for (; next < events.size() && events[next].frame < end; ++next)
            list.midi(static_cast<std::int32_t>(events[next].frame - at), events[next].status, events[next].data1,
                      events[next].data2);
        effect->dispatcher(effect, effProcessEvents, 0, 0, list.get(), 0.0f);
        float* outs[2] = {&out[at], &right[at]};
        effect->processReplacing(effect, nullptr, outs, static_cast<std::int32_t>(end - at));
        at = end;
    }
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(out, right);
    return out;
}

// The same session through the LV2 instrument in runs of `block` samples.
std::vector<float> throughLv2(std::uint32_t block) {
    Lv2Instance synth(kRate);
    const std::vector<TimedMidi> events = sessionEvents();
    std::vector<float> out(kSegment * kSegments), right(out.size());
    std::size_t next = 0;
    for (std::int64_t at = 0; at < static_cast<std::int64_t>(out.size());) {
        const int segment = static_cast<int>(at / kSegment);
        for (std::int32_t i = 0; i < kParamCount; ++i) synth.controls[i] = segmentValue(segment, i);
        const std::int64_t end = std::min<std::int64_t>(at + block, (segment + 1) * kSegment);
        for (; next < events.size() && events[next].frame < end; ++next)
            synth.input.midi(events[next].frame - at, events[next].status, events[next].data1, events[next].data2);
        synth.run(static_cast<std::uint32_t>(end - at), &out[at], &right[at]);
        at = end;
    }
    EXPECT_EQ(out, right);
    return out;
}

TEST(Lv2Instrument, InstantiatesWithUridMapAndNothingElseRequired) {
    const LV2_Descriptor* d = lv2::descriptor(0);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->URI, lv2::kPluginUri);
    EXPECT_EQ(lv2::descriptor(1), nullptr);

    UridMap map;
    LV2_URID_Map brokenMap{&map, nullptr};
    const LV2_Feature other{"http://example.org/another#feature", nullptr};
    const LV2_Feature unusable{LV2_URID__map, &brokenMap};
    const LV2_Feature* none[] = {nullptr};
    const LV2_Feature* otherOnly[] = {&other, nullptr};
    const LV2_Feature* broken[] = {&unusable, nullptr};
    const LV2_Feature* const* refused[] = {nullptr, none, otherOnly, broken};
    for (const LV2_Feature* const* features : refused) EXPECT_EQ(d->instantiate(d, kRate, "", features), nullptr);

    const LV2_Feature* withOther[] = {&other, map.features()[0], nullptr};
    LV2_Handle h = d->instantiate(d, kRate, "", withOther);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(d->extension_data(LV2_URID__map), nullptr);
    d->cleanup(h);
}

TEST(Lv2Instrument, SoundsLikeTheVstPluginBitForBitAtAnyBlockSize) {
    const std::vector<float> vst = throughVst(512);
    ASSERT_NE(std::count(vst.begin(), vst.end(), 0.0f), static_cast<std::ptrdiff_t>(vst.size()));
    EXPECT_EQ(throughVst(37), vst) << "the VST 2.4 renders themselves differ";
    for (std::uint32_t block : {1u, 64u, 777u, 4096u}) EXPECT_EQ(throughLv2(block), vst) << block << " frames a run";
}

// More events than the queue holds are rendered in pieces split at event
// frames; the pieces sound like one block.
TEST(Lv2Instrument, AFullerSequenceSoundsLikeOneBlock) {
    constexpr std::int32_t kFrames = 8192;
    RecordingHost host(RecordingHost::answering(audioMasterGetSampleRate, kRate), RecordingHost::Recording::Off);
    AEffect* effect = createQuorvelEffect(RecordingHost::callback);
    Lv2Instance synth(kRate);
    EventList list;
    for (int i = 0; i < 3 * lv2::kEventCapacity; ++i) {
        // Groups of 40 events at one frame, 26 frames apart: notes of all voices and the wheel.
        const std::int32_t frame = (i / 40) * 26;
        const unsigned key = 40 + (i * 7) % 50;
        const unsigned status = i % 11 == 0 ? 0xB0 : (i % 3 ? 0x90 : 0x80);
        list.midi(frame, status, status == 0xB0 ? 1 : key, 1 + i % 127);
        synth.input.midi(frame, status, status == 0xB0 ? 1 : key, 1 + i % 127);
    }
    std::vector<float> vst(kFrames), lv2(kFrames), right(kFrames);
    float* outs[2] = {vst.data(), right.data()};
    effect->dispatcher(effect, effProcessEvents, 0, 0, list.get(), 0.0f);
    effect->processReplacing(effect, nullptr, outs, kFrames);
    synth.run(kFrames, lv2.data(), right.data());
    EXPECT_EQ(lv2, vst);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

// A host that announces its sequence size gets room for every event such a
// sequence can hold: thousands at one frame all act, the last ones too.
TEST(Lv2Instrument, AnAnnouncedSequenceSizeMakesRoomForAllItsEvents) {
    constexpr int kEvents = 6000;
    RecordingHost host(RecordingHost::answering(audioMasterGetSampleRate, kRate), RecordingHost::Recording::Off);
    AEffect* effect = createQuorvelEffect(RecordingHost::callback);
    Lv2Instance synth(kRate, kEvents * 24 + 8);
    EventList list;
    for (int i = 0; i < kEvents; ++i) {
        const unsigned status = i == kEvents - 2 ? 0xB0 : i % 2 && i != kEvents - 1 ? 0x80 : 0x90;
        const unsigned key = i == kEvents - 2 ? 123 : i == kEvents - 1 ? 69 : 40 + (i / 2) % 50;
        list.midi(0, status, key, 100);
        synth.input.midi(0, status, key, 100);
    }
    std::vector<float> vst(2048), lv2(2048), right(2048);
    float* outs[2] = {vst.data(), right.data()};
    effect->dispatcher(effect, effProcessEvents, 0, 0, list.get(), 0.0f);
    effect->processReplacing(effect, nullptr, outs, 2048);
    synth.run(2048, lv2.data(), right.data());
    EXPECT_NE(std::count(vst.begin(), vst.end(), 0.0f), 2048) << "the last note-on sounds";
    EXPECT_EQ(lv2, vst);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

TEST(Lv2Instrument, ActivateForgetsEverythingButThePortValues) {
    Lv2Instance used(kRate), fresh(kRate);
    std::vector<float> left(4000), right(4000), expected(4000);
    for (Lv2Instance* synth : {&used, &fresh})
        for (std::int32_t i = 0; i < kParamCount; ++i) synth->controls[i] = segmentValue(3, i);
    // History: held keys, a bend range of 12 and a bend, the wheel, a vibrato phase.
    used.input.midi(0, 0x90, 60, 100).midi(0, 0x91, 67, 90).midi(10, 0xB0, 6, 24).midi(11, 0xE0, 0, 100);
    used.input.midi(12, 0xB0, 1, 127);
    used.run(4000, left.data(), right.data());
    used.activate();

    for (Lv2Instance* synth : {&used, &fresh}) {
        synth->input.midi(5, 0x90, 64, 80).midi(900, 0xE0, 0, 127).midi(1000, 0xB0, 1, 64);
        synth->run(4000, synth == &used ? left.data() : expected.data(), right.data());
    }
    EXPECT_EQ(left, expected);
}

TEST(Lv2Instrument, RunWritesExactlyItsFramesAndZeroFramesNothing) {
    Lv2Instance synth(kRate);
    // A note-on in a run of no frames never sounds later.
    std::vector<float> quiet(300, -1.0f), right(300);
    synth.input.midi(0, 0x90, 69, 127);
    synth.run(0, nullptr, nullptr);
    synth.run(300, quiet.data(), right.data());
    EXPECT_EQ(std::count(quiet.begin(), quiet.end(), 0.0f), 300);

    for (std::uint32_t frames : {0u, 1u, 300u}) {
        std::vector<float> left(frames + 1, -1.0f), right(frames + 1, -1.0f);
        synth.input.midi(0, 0x90, 69, 127);
        synth.run(frames, left.data(), right.data());
        for (std::uint32_t i = 0; i < frames; ++i) ASSERT_NE(left[i], -1.0f) << frames << " frames, sample " << i;
        EXPECT_EQ(left[frames], -1.0f) << frames << " frames";
        EXPECT_EQ(right[frames], -1.0f) << frames << " frames";
    }
}

// A note-on the instrument must not play, in sequences it cannot or must
// not read; the last two cases are read and play.
TEST(Lv2Instrument, SequencesItCannotReadPlayNothing) {
    struct Case {
        const char* what;
        void (*write)(AtomSequence& s, UridMap& map);
        bool plays;
    };
    const std::uint8_t noteOn[3] = {0x90, 69, 127};
    static const std::uint8_t* bytes = noteOn;
    const Case cases[] = {
        {"times in beats",
         [](AtomSequence& s, UridMap& m) {
             s.setUnit(m.map(LV2_UNITS__beat));
             s.midi(0, 0x90, 69, 127);
         },
         false},
        {"a buffer that is no sequence",
         [](AtomSequence& s, UridMap& m) {
             s.midi(0, 0x90, 69, 127);
             s.setType(m.map(LV2_ATOM__Chunk));
         },
         false},
        {"an event that is no MIDI", [](AtomSequence& s, UridMap& m) { s.event(0, m.map(LV2_ATOM__Chunk), bytes, 3); },
         false},
        {"a note-on cut to two bytes", [](AtomSequence& s, UridMap&) { s.event(0, s.midiEventType(), bytes, 2); },
         false},
        {"an event longer than the sequence",
         [](AtomSequence& s, UridMap&) { s.event(0, s.midiEventType(), bytes, 3, 4000); }, false},
        {"a note-on read in frames",
         [](AtomSequence& s, UridMap& m) {
             s.setUnit(m.map(LV2_UNITS__frame));
             s.midi(0, 0x90, 69, 127);
         },
         true},
        {"a note-on in a sequence whose unit the host left unset (as Ardour 7 does)",
         [](AtomSequence& s, UridMap&) {
             s.setUnit(21847);
             s.midi(0, 0x90, 69, 127);
         },
         true},
    };
    for (const Case& c : cases) {
        Lv2Instance synth(kRate);
        c.write(synth.input, synth.map);
        std::vector<float> left(2000), right(2000);
        synth.run(2000, left.data(), right.data());
        const bool silent = std::count(left.begin(), left.end(), 0.0f) == 2000;
        EXPECT_EQ(!silent, c.plays) << c.what;
    }
}

// The glue hands over messages that queue an event only while the queue has
// room: its test must agree with MIDI intake for every status and controller.
TEST(Lv2Instrument, EngineNamesTheMessagesThatQueueAnEvent) {
    Engine engine;
    engine.prepareForEvents(256 * 256);
    for (unsigned status = 0; status < 256; ++status)
        for (unsigned data1 = 0; data1 < 256; ++data1) {
            const std::size_t before = engine.queue().size();
            engine.receiveMidi(0, static_cast<unsigned char>(status), static_cast<unsigned char>(data1), 64);
            ASSERT_EQ(Engine::queuesEvent(static_cast<unsigned char>(status), static_cast<unsigned char>(data1)),
                      engine.queue().size() > before)
                << "status " << status << ", data 1 " << data1;
        }
}

}  // namespace
