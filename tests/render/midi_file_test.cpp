// MIDI files into timed events: the tempo map, merged tracks and channels,
// running status, and files that cannot be used.
#include "tools/midi_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "smf_builder.h"
#include "test_support.h"

using quorvel::tools::InputError;
using quorvel::tools::Performance;
using quorvel::tools::TimedMidi;

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

    const Performance p = quorvel::tools::loadMidiFile(dir / "song.mid", 44100);
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
    const Performance p = quorvel::tools::loadMidiFile(dir / "ticks.mid", 44100);
    ASSERT_EQ(p.midi.size(), 5u);
    EXPECT_EQ(p.midi[0].frame, 230);
    EXPECT_EQ(p.midi[1].frame, 459);
    EXPECT_EQ(p.midi[2].frame, 689);
    EXPECT_EQ(p.midi[3].frame, 21820);
    EXPECT_EQ(p.midi[4].frame, 2205000);
    EXPECT_EQ(p.endFrame, 2205000);

    const Performance at48k = quorvel::tools::loadMidiFile(dir / "ticks.mid", 48000);
    EXPECT_EQ(at48k.midi[0].frame, 250);
    EXPECT_EQ(at48k.midi[4].frame, 2400000);
}

// Files written byte by byte, for what libsmf cannot write: running status,
// damaged and unusual structure.
std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int v : values) text += static_cast<char>(v);
    return text;
}

std::string chunk(const char* id, const std::string& body) {
    const auto length = static_cast<std::uint32_t>(body.size());
    return std::string(id, 4) +
           bytes({int(length >> 24), int(length >> 16 & 0xFF), int(length >> 8 & 0xFF), int(length & 0xFF)}) + body;
}

std::string header(int format, int tracks, int division = 0x60) {
    return chunk("MThd", bytes({0, format, tracks >> 8, tracks & 0xFF, division >> 8, division & 0xFF}));
}

const std::string kEndOfTrack = bytes({0x00, 0xFF, 0x2F, 0x00});

// A format 0 file that uses running status: after the first note-on the
// status byte is left out.
std::string runningStatusFile() {
    return header(0, 1) + chunk("MTrk", bytes({
                                            0x00, 0x90, 60, 100,  // note on
                                            0x60, 60,   0,        // running status: note on, velocity 0
                                            0x00, 64,   90,       // running status: note on
                                            0x30, 0xB0, 7,  100,  // controller, new status
                                            0x00, 10,   64,       // running status: controller
                                            0x30, 0x90, 64, 0,    // note on again, velocity 0
                                        }) + kEndOfTrack);
}

TEST(MidiFile, RunningStatusInAFormat0File) {
    TempDir dir;
    writeFile(dir / "running.mid", runningStatusFile());
    const Performance p = quorvel::tools::loadMidiFile(dir / "running.mid", 44100);
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
        quorvel::tools::loadMidiFile(path, 44100);
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

// Structures libsmf reads past its buffer on, frees memory twice on, or
// stops on with an assertion: each is refused with what is wrong, and
// nothing is read outside the file (the sanitizer build checks).
TEST(MidiFile, DamagedTracksAreRefusedSafely) {
    TempDir dir;
    const std::string note = bytes({0x00, 0x90, 60, 100});
    struct Case {
        const char* file;
        std::string bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"format-2.mid", header(2, 1) + chunk("MTrk", note + kEndOfTrack), "format 2 (independent sequences)"},
        {"no-tracks.mid", header(1, 0), "the header announces no tracks"},
        {"note-cut.mid", header(0, 1) + chunk("MTrk", bytes({0x00, 0x90, 60})),
         "track 1: a channel message is cut short"},
        {"running-after-sysex.mid",
         header(0, 1) + chunk("MTrk", bytes({0x00, 0xF0, 0x02, 0x7E, 0xF7, 0x00, 60, 100}) + kEndOfTrack),
         "track 1: data byte 0x3C where a status byte belongs"},
        {"running-first.mid", header(0, 1) + chunk("MTrk", bytes({0x00, 60, 100}) + kEndOfTrack),
         "track 1: data byte 0x3C where a status byte belongs"},
        {"status-in-data.mid", header(0, 1) + chunk("MTrk", bytes({0x00, 0x90, 60, 0x90}) + kEndOfTrack),
         "track 1: status byte 0x90 where a data byte"},
        {"long-time.mid", header(0, 1) + chunk("MTrk", bytes({0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 60, 1})),
         "track 1: an event time is longer than four bytes"},
        {"system-common.mid", header(0, 1) + chunk("MTrk", bytes({0x00, 0xF2, 0x00, 0x00}) + kEndOfTrack),
         "track 1: status byte 0xF2 has no place in a MIDI file"},
        {"sysex-cut.mid", header(0, 1) + chunk("MTrk", bytes({0x00, 0xF0, 0x10, 0x7E})),
         "track 1: a system-exclusive message runs past the end of the track"},
        {"short-tempo.mid", header(0, 1) + chunk("MTrk", bytes({0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}) + kEndOfTrack),
         "track 1: a tempo change with 2 data bytes instead of 3"},
        {"zero-tempo.mid", header(0, 1) + chunk("MTrk", bytes({0x00, 0xFF, 0x51, 0x03, 0, 0, 0}) + kEndOfTrack),
         "track 1: a tempo change to 0 microseconds per quarter note"},
        {"second-track-cut.mid", header(1, 2) + chunk("MTrk", note + kEndOfTrack) + chunk("MTrk", note).substr(0, 10),
         "track 2 is cut short: it needs 4 bytes, the file holds 2"},
        {"foreign-chunk-cut.mid", header(1, 2) + chunk("MTrk", note + kEndOfTrack) + chunk("XYZW", note).substr(0, 9),
         "the file ends inside a chunk where track 2 was expected"},
        {"no-tracks-left.mid", header(1, 3) + chunk("MTrk", note + kEndOfTrack) + "MTr",
         "the header announces 3 tracks, the file holds 1"},
    };
    for (const Case& c : cases) {
        writeFile(dir / c.file, c.bytes);
        const std::string message = refusal(dir / c.file);
        EXPECT_NE(message.find(dir / c.file + " is not a usable MIDI file: " + c.reason), std::string::npos) << message;
    }

    // Nine times the longest event time overflows libsmf's pulse count.
    std::string far;
    for (int i = 0; i < 9; ++i) far += bytes({0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 1});
    writeFile(dir / "far.mid", header(0, 1) + chunk("MTrk", far + kEndOfTrack));
    EXPECT_NE(refusal(dir / "far.mid").find("track 1: it lasts more than 2147483647 pulses"), std::string::npos);
}

// Legal or common files that libsmf misreads or stops on: unknown chunks,
// a longer header, meta events longer than 127 bytes, empty escapes, tracks
// without an end-of-track event, more tracks than the header announces.
TEST(MidiFile, UnusualFilesPlayAsWritten) {
    TempDir dir;
    std::string longText = bytes({0x00, 0xFF, 0x01, 0x81, 0x48});  // 200 bytes of text
    longText += std::string(200, 'x');
    const std::string first = bytes({0x00, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90,        // 250000 us per quarter
                                     0x00, 0xF0, 0x03, 0x7E, 0x09, 0xF7,              // system exclusive
                                     0x00, 0xF7, 0x00,                                // empty escape
                                     0x00, 0xFF, 0x58, 0x04, 4,    2,    24,   8}) +  // time signature
                              longText +
                              bytes({0x60, 0x90, 60, 100,           // 96: note on
                                     0x81, 0x48, 0xFF, 0x2F, 0x00,  // 296: end of track
                                     0x00, 0x90, 61, 100});         // after the end: not played
    const std::string second = bytes({0x30, 0x91, 64, 90,           // 48: note on
                                      0x81, 0x10, 64, 0});          // 192: running status, and no end of track
    const std::string unannounced = bytes({0x00, 0x92, 67, 80}) + kEndOfTrack;
    const std::string longHeader = chunk("MThd", bytes({0, 1, 0, 2, 0, 0x60, 0xAB, 0xCD}));
    writeFile(dir / "unusual.mid", longHeader + chunk("XFIH", "private data") + chunk("MTrk", first) +
                                       chunk("MTrk", second) + chunk("MTrk", unannounced) + "junk");

    const Performance p = quorvel::tools::loadMidiFile(dir / "unusual.mid", 44100);
    // One pulse is 0.25 s / 96: 48 pulses = 5512.5 samples (rounded up), 96 = 11025, 192 = 22050.
    expectEvents(p, {{5513, {0x91, 64, 90}}, {11025, {0x90, 60, 100}}, {22050, {0x91, 64, 0}}});
    EXPECT_EQ(p.endFrame, 33994);  // the first track's end at 296 pulses
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
