// MIDI files into timed events: the tempo map, merged tracks and channels,
// running status, and files that cannot be used.
#include "tools/midi_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "smf_builder.h"
#include "test_support.h"

using qrender::InputError;
using qrender::Performance;
using qrender::TimedMidi;

namespace {

struct Expected {
    std::int64_t frame;
    std::vector<int> bytes;
};

void expectEvents(const Performance& p, const std::vector<Expected>& expected) {
    ASSERT_EQ(p.midi.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("event " + std::to_string(i));
        EXPECT_EQ(p.midi[i].frame, expected[i].frame);
        const std::vector<int> bytes{p.midi[i].bytes[0], p.midi[i].bytes[1], p.midi[i].bytes[2]};
        std::vector<int> want = expected[i].bytes;
        want.resize(3, 0);
        EXPECT_EQ(bytes, want);
    }
}

TEST(MidiFile, TempoChangesAndMergedTracksPlaceEachEventOnItsSample) {
    TempDir dir;
    SmfBuilder smf(96);
    const int tempo = smf.addTrack();
    const int lead = smf.addTrack();
    const int drums = smf.addTrack();
    smf.tempo(tempo, 0, 500000);     // 0.5 s per quarter
    smf.tempo(tempo, 192, 1000000);  // from 1.0 s: 1 s per quarter
    smf.tempo(tempo, 384, 250000);   // from 3.0 s: 0.25 s per quarter
    smf.add(lead, 96, {0x90, 60, 100});
    smf.add(lead, 288, {0xB0, 1, 64});
    smf.add(lead, 400, {0xE0, 0x00, 0x60});
    smf.add(drums, 96, {0x99, 36, 90});
    smf.add(drums, 100, {0xC9, 5});
    smf.add(drums, 110, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});  // system exclusive: not for the instrument
    smf.add(drums, 120, {0xFF, 0x01, 0x03, 'a', 'b', 'c'});     // text: not for the instrument
    smf.save(dir / "song.mid", 480);

    const Performance p = qrender::loadMidiFile(dir / "song.mid", 44100);
    // 100 pulses: 0.5 s + 4/96 * 0.5 s; 400 pulses: 3.0 s + 16/96 * 0.25 s = 134137.5 samples, rounded up.
    expectEvents(p, {{22050, {0x90, 60, 100}},
                     {22050, {0x99, 36, 90}},
                     {22969, {0xC9, 5}},
                     {88200, {0xB0, 1, 64}},
                     {134138, {0xE0, 0x00, 0x60}}});
    // The file ends at pulse 480: 3.0 s + 0.25 s.
    EXPECT_EQ(p.endFrame, 143325);
    EXPECT_TRUE(p.parameters.empty());
}

TEST(MidiFile, TimesRoundToTheNearestSampleWithoutDrift) {
    TempDir dir;
    SmfBuilder smf(96);
    const int track = smf.addTrack();
    for (int pulses : {1, 2, 3, 95, 9600}) smf.add(track, pulses, {0x90, 60, 1});
    smf.save(dir / "ticks.mid");

    // One pulse is 0.5 s / 96 = 229.6875 samples at 44100 Hz.
    const Performance p = qrender::loadMidiFile(dir / "ticks.mid", 44100);
    ASSERT_EQ(p.midi.size(), 5u);
    EXPECT_EQ(p.midi[0].frame, 230);
    EXPECT_EQ(p.midi[1].frame, 459);
    EXPECT_EQ(p.midi[2].frame, 689);
    EXPECT_EQ(p.midi[3].frame, 21820);
    EXPECT_EQ(p.midi[4].frame, 2205000);
    EXPECT_EQ(p.endFrame, 2205000);

    const Performance at48k = qrender::loadMidiFile(dir / "ticks.mid", 48000);
    EXPECT_EQ(at48k.midi[0].frame, 250);
    EXPECT_EQ(at48k.midi[4].frame, 2400000);
}

// A format 0 file written by hand, since it uses running status: after the
// first note-on the status byte is left out.
std::string runningStatusFile() {
    const unsigned char track[] = {
        0x00, 0x90, 60,   100,  // note on
        0x60, 60,   0,          // running status: note on, velocity 0
        0x00, 64,   90,         // running status: note on
        0x30, 0xB0, 7,    100,  // controller, new status
        0x00, 10,   64,         // running status: controller
        0x30, 0x90, 64,   0,    // note on again, velocity 0
        0x00, 0xFF, 0x2F, 0x00,
    };
    std::string bytes("MThd\0\0\0\6\0\0\0\1\0\x60", 14);
    bytes += "MTrk";
    const auto length = static_cast<unsigned>(sizeof track);
    bytes += static_cast<char>(length >> 24);
    bytes += static_cast<char>(length >> 16);
    bytes += static_cast<char>(length >> 8);
    bytes += static_cast<char>(length);
    bytes.append(reinterpret_cast<const char*>(track), sizeof track);
    return bytes;
}

TEST(MidiFile, RunningStatusInAFormat0File) {
    TempDir dir;
    writeFile(dir / "running.mid", runningStatusFile());
    const Performance p = qrender::loadMidiFile(dir / "running.mid", 44100);
    expectEvents(p, {{0, {0x90, 60, 100}},
                     {22050, {0x90, 60, 0}},
                     {22050, {0x90, 64, 90}},
                     {33075, {0xB0, 7, 100}},
                     {33075, {0xB0, 10, 64}},
                     {44100, {0x90, 64, 0}}});
}

// Parses a file that must be refused and returns the message; nothing may
// reach stderr on the way (libsmf's own complaints included).
std::string refusal(const std::string& path) {
    testing::internal::CaptureStderr();
    std::string message;
    try {
        qrender::loadMidiFile(path, 44100);
        message = "(accepted)";
    } catch (const InputError& e) {
        message = e.what();
    }
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "") << "for " << path;
    return message;
}

TEST(MidiFile, UnusableFilesAreRefusedWithAMessageNamingThem) {
    TempDir dir;
    const std::string missing = dir / "missing.mid";
    EXPECT_EQ(refusal(missing), "cannot open MIDI file " + missing + ": No such file or directory");

    writeFile(dir / "text.mid", "This is not a MIDI file at all.\n");
    EXPECT_EQ(refusal(dir / "text.mid"), dir / "text.mid" + " is not a Standard MIDI file (no MThd header)");

    writeFile(dir / "empty.mid", "");
    EXPECT_NE(refusal(dir / "empty.mid").find("is not a Standard MIDI file"), std::string::npos);

    // A good header whose track is cut off in the middle.
    std::string cut = runningStatusFile();
    cut.resize(cut.size() - 9);
    writeFile(dir / "cut.mid", cut);
    EXPECT_NE(refusal(dir / "cut.mid").find(dir / "cut.mid" + " is not a usable MIDI file: "), std::string::npos);

    // A header that promises two tracks but has one.
    std::string promise = runningStatusFile();
    promise[11] = 2;
    writeFile(dir / "promise.mid", promise);
    EXPECT_NE(refusal(dir / "promise.mid").find("is not a usable MIDI file"), std::string::npos);

    // A header chunk too short to hold format, track count and division.
    writeFile(dir / "short.mid", std::string("MThd\0\0\0\2\0\0\0\0\0\0", 14));
    EXPECT_NE(refusal(dir / "short.mid").find("is not a usable MIDI file"), std::string::npos);
}

TEST(MidiFile, TimeCodeDivisionIsRefused) {
    TempDir dir;
    std::string smpte = runningStatusFile();
    smpte[12] = static_cast<char>(0xE7);  // -25 frames per second
    smpte[13] = 40;                       // 40 ticks per frame
    writeFile(dir / "smpte.mid", smpte);
    const std::string message = refusal(dir / "smpte.mid");
    EXPECT_NE(message.find(dir / "smpte.mid" + " is not a usable MIDI file: "), std::string::npos) << message;
    EXPECT_NE(message.find("FPS"), std::string::npos) << message;
}

}  // namespace
