// quorvel-render as a user runs it: sample-accurate and repeatable output,
// the formats, the defaults, --set and --info, and one clear message for each
// kind of bad input.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "smf_builder.h"
#include "test_support.h"

namespace {

int lineCount(const std::string& text) {
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

// A phrase that keeps the engine busy: overlapping chords on two channels
// in two tracks, the modulation wheel, a bend-range change and bends, a
// tempo change, and events at pulses that fall between samples.
void writeBusyPhrase(const std::string& path) {
    SmfBuilder smf(480);
    const int tempo = smf.addTrack();
    const int a = smf.addTrack();
    const int b = smf.addTrack();
    smf.tempo(tempo, 0, 500000);
    smf.tempo(tempo, 1440, 411111);
    for (int i = 0; i < 12; ++i) {
        const int at = i * 233 + 7;
        smf.note(a, at, 301, 48 + (i * 5) % 24, 40 + i * 7);
        smf.note(b, at + 113, 97, 72 + (i * 3) % 12, 100, 9);
    }
    for (int i = 0; i <= 24; ++i) smf.add(a, 3000 + i * 17, {0xB0, 1, i * 5});
    smf.add(b, 1000, {0xB0, 101, 0});
    smf.add(b, 1000, {0xB0, 100, 0});
    smf.add(b, 1000, {0xB0, 6, 24});
    for (int i = 0; i <= 32; ++i) smf.add(b, 1001 + i * 31, {0xE0, (i * 509) & 0x7F, ((i * 509) >> 7) & 0x7F});
    smf.note(b, 3100, 900, 60, 127);
    smf.add(a, 4200, {0xB0, 123, 0});
    smf.save(path);
}

class RenderCli : public testing::Test {
protected:
    RunResult render(std::vector<std::string> args) {
        args.insert(args.begin(), {"-p", QUORVEL_PLUGIN_PATH});
        return runRenderer(args, dir.path());
    }
    // A successful run prints the output path, and the summary of the voice
    // report on stderr.
    void expectSuccess(const RunResult& r, const std::string& output) {
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(std::regex_match(r.err, std::regex("quorvel-render: [0-9]+ notes, [0-9]+ played, at most [0-8] "
                                                       "voices? at once, [0-9]+ found no free voice\n")))
            << r.err;
        EXPECT_EQ(r.out, output + "\n");
    }
    // A failed run: status, one line on stderr containing `part`, no output
    // file and no temporary file left behind.
    void expectFailure(const RunResult& r, int status, const std::string& part) {
        EXPECT_EQ(r.exitCode, status) << r.err;
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
        EXPECT_EQ(r.err.rfind("quorvel-render: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(dir.entries(), before) << "files left behind after: " << r.err;
    }
    void SetUp() override {
        writeBusyPhrase(dir / "busy.mid");
        before = dir.entries();
    }

    TempDir dir;
    std::vector<std::string> before;
};

TEST_F(RenderCli, BlockSizesGiveBitIdenticalAudio) {
    std::string reference;
    for (const char* block : {"1", "7", "512", "4096"}) {
        SCOPED_TRACE(std::string("block ") + block);
        const std::string out = std::string("b") + block + ".wav";
        expectSuccess(render({"busy.mid", "-b", block, "-o", out}), out);
        const std::string bytes = readFile(dir / out);
        if (reference.empty())
            reference = bytes;
        else
            EXPECT_TRUE(bytes == reference);
    }
    const Audio audio = readAudio(dir / "b512.wav");
    EXPECT_GT(audio.peak(), 0.1f);
}

TEST_F(RenderCli, EventsSoundFromTheirExactSample) {
    // One note at 1.5 s: two quarters at 120 BPM (1 s), then two quarters at
    // 240 BPM (0.5 s).
    SmfBuilder smf(96);
    const int t = smf.addTrack();
    smf.tempo(t, 0, 500000);
    smf.tempo(t, 192, 250000);
    smf.note(t, 384, 96, 69, 100);
    smf.save(dir / "one.mid");
    expectSuccess(render({"one.mid", "-b", "100", "-r", "48000", "-t", "0.5"}), "one.wav");
    const Audio audio = readAudio(dir / "one.wav");
    ASSERT_EQ(audio.info.channels, 2);
    ASSERT_EQ(audio.info.samplerate, 48000);
    // The note-off at 1.75 s is the last event; half a second of tail follows.
    EXPECT_EQ(audio.frames(), 84000 + 24000);
    std::size_t first = 0;
    while (first < audio.samples.size() && audio.samples[first] == 0.0f) ++first;
    EXPECT_EQ(first / 2, 72000u);
}

TEST_F(RenderCli, RepeatedRunsGiveIdenticalFiles) {
    // The demo (parameter changes included) as float WAV, a MIDI file as FLAC.
    expectSuccess(render({"-o", "first.wav"}), "first.wav");
    expectSuccess(render({"-o", "second.wav", "-b", "333"}), "second.wav");
    EXPECT_TRUE(readFile(dir / "first.wav") == readFile(dir / "second.wav"));
    expectSuccess(render({"busy.mid", "-f", "flac", "-o", "first.flac"}), "first.flac");
    expectSuccess(render({"busy.mid", "-f", "flac", "-o", "second.flac"}), "second.flac");
    EXPECT_TRUE(readFile(dir / "first.flac") == readFile(dir / "second.flac"));
}

TEST_F(RenderCli, WritesEachFormatFromTheSameAudio) {
    expectSuccess(render({"busy.mid", "-o", "float.wav"}), "float.wav");
    const Audio reference = readAudio(dir / "float.wav");
    EXPECT_EQ(reference.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);

    struct Case {
        const char* name;
        const char* file;
        int format;
        float step;
    };
    for (const Case& c : {Case{"pcm16", "a16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.0f / 32768},
                          Case{"pcm24", "a24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1.0f / 8388608},
                          Case{"flac", "a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1.0f / 8388608}}) {
        SCOPED_TRACE(c.name);
        expectSuccess(render({"busy.mid", "-f", c.name, "-o", c.file}), c.file);
        const Audio audio = readAudio(dir / c.file);
        EXPECT_EQ(audio.info.format, c.format);
        ASSERT_EQ(audio.frames(), reference.frames());
        float worst = 0.0f;
        for (std::size_t i = 0; i < audio.samples.size(); ++i)
            worst = std::max(worst, std::abs(audio.samples[i] - reference.samples[i]));
        EXPECT_LE(worst, c.step);
    }
}

TEST_F(RenderCli, DefaultNamesAndLengths) {
    fs::create_directory(dir.path() / "songs");
    fs::copy_file(dir / "busy.mid", dir / "songs/tune.mid");
    // Named after the MIDI file, written in the working directory.
    expectSuccess(render({"songs/tune.mid", "-t", "0"}), "tune.wav");
    expectSuccess(render({"songs/tune.mid", "-f", "flac", "-t", "0"}), "tune.flac");
    expectSuccess(render({}), "quorvel-demo.wav");

    const Audio tune = readAudio(dir / "tune.wav");
    const Audio longer = [&] {
        expectSuccess(render({"songs/tune.mid", "-t", "2.5", "-o", "longer.wav"}), "longer.wav");
        return readAudio(dir / "longer.wav");
    }();
    EXPECT_EQ(longer.frames() - tune.frames(), 110250);

    const Audio demo = readAudio(dir / "quorvel-demo.wav");
    EXPECT_EQ(demo.info.channels, 2);
    EXPECT_EQ(demo.info.samplerate, 44100);
    EXPECT_GT(demo.frames(), 44100 * 4);
    EXPECT_GT(demo.peak(), 0.1f);
    EXPECT_LE(demo.peak(), 1.0f);
}

TEST_F(RenderCli, SetAppliesParametersByNameBeforeTheFirstSample) {
    expectSuccess(render({"busy.mid", "-o", "half.wav", "-s", "Output gain=0.5"}), "half.wav");
    expectSuccess(render({"busy.mid", "-o", "quarter.wav", "--set", "output gain=0.25", "-s", "Detune=0.5"}),
                  "quarter.wav");
    const Audio half = readAudio(dir / "half.wav");
    const Audio quarter = readAudio(dir / "quarter.wav");
    ASSERT_EQ(half.samples.size(), quarter.samples.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < half.samples.size(); ++i) differing += quarter.samples[i] * 2.0f != half.samples[i];
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(half.peak(), 0.0f);

    // A different detune changes the sound; the MIDI file is taken after -s
    // whatever the order of the arguments.
    expectSuccess(render({"-s", "Detune=0.9", "busy.mid", "-o", "detuned.wav"}), "detuned.wav");
    EXPECT_FALSE(readFile(dir / "detuned.wav") == readFile(dir / "half.wav"));
}

TEST_F(RenderCli, InfoShowsWhatAPluginScannerShows) {
    const RunResult r = render({"--info"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* line :
         {"Effect name:    brightmoor - quorvel\n", "Vendor:         Talvo\n", "Product:        v0.31 21.06.24\n",
          "Vendor version: 1000\n", "VST version:    2400\n", "Unique ID:      0x6B7A7437 'kzt7'\n",
          "Category:       synth (2)\n", "Inputs:         0\n", "Outputs:        2\n", "Parameters:     8\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "in:\n" << r.out;
    const char* names[] = {"Pulse width",     "Phase reset",      "Detune",           "Note cut",
                           "Velocity target", "Modulation speed", "Modulation depth", "Output gain"};
    for (int i = 0; i < 8; ++i) {
        char start[64];
        std::snprintf(start, sizeof start, "\n  %3d  %-20s ", i, names[i]);
        EXPECT_NE(r.out.find(start), std::string::npos) << names[i];
    }
    EXPECT_EQ(dir.entries(), before);  // nothing rendered
}

TEST_F(RenderCli, DefaultPluginIsTheOneBuiltBesideTheRenderer) {
    const RunResult r = runRenderer({"--info"}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Effect name:    brightmoor - quorvel\n"), std::string::npos);
}

TEST_F(RenderCli, BadMidiFiles) {
    expectFailure(render({"nothere.mid"}), 1, "cannot open MIDI file nothere.mid: No such file or directory");
    writeFile(dir / "junk.mid", "MThd but then nothing sensible at all");
    before = dir.entries();
    expectFailure(render({"junk.mid"}), 1, "junk.mid is not a usable MIDI file");
    std::string cut = readFile(dir / "busy.mid");
    cut.resize(cut.size() / 2);
    writeFile(dir / "cut.mid", cut);
    before = dir.entries();
    expectFailure(render({"cut.mid"}), 1, "cut.mid is not a usable MIDI file");

    // Well formed, but a note 19 days in: refused instead of filling the disk.
    SmfBuilder smf(1);
    const int track = smf.addTrack();
    smf.tempo(track, 0, 0xFFFFFF);
    smf.note(track, 100000, 1, 60, 100);
    smf.save(dir / "forever.mid");
    before = dir.entries();
    expectFailure(render({"forever.mid"}), 1, "forever.mid lasts 466 hours; the renderer stops at 24");
}

TEST_F(RenderCli, UnwritableOutput) {
    // Root may write anywhere, so the paths are made impossible instead.
    expectFailure(render({"busy.mid", "-o", "busy.mid/out.wav"}), 1, "cannot create busy.mid/out.wav: ");
    expectFailure(render({"busy.mid", "-o", "no/such/dir/out.wav"}), 1, "No such file or directory");
    fs::create_directory(dir.path() / "taken.wav");
    before = dir.entries();
    expectFailure(render({"busy.mid", "-o", "taken.wav"}), 1, "cannot write taken.wav: it is a directory");
    // Renamed over a device or a pipe, the finished file would replace it.
    ASSERT_EQ(mkfifo((dir / "pipe.wav").c_str(), 0666), 0);
    before = dir.entries();
    expectFailure(render({"busy.mid", "-o", "pipe.wav"}), 1, "cannot write pipe.wav: it is not a regular file");
    EXPECT_TRUE(fs::is_fifo(dir / "pipe.wav"));
}

TEST_F(RenderCli, BadParameterSettings) {
    expectFailure(render({"-s", "Wobble=0.5"}), 2, "the plug-in has no parameter \"Wobble\" (it has: Pulse width, ");
    expectFailure(render({"-s", "Detune=1.5"}), 2, "--set \"Detune=1.5\": the value must lie between 0 and 1");
    expectFailure(render({"-s", "Detune=-0.01"}), 2, "the value must lie between 0 and 1");
    expectFailure(render({"-s", "Detune=loud"}), 2, "\"loud\" is not a number");
    expectFailure(render({"-s", "Detune=nan"}), 2, "\"nan\" is not a number");
    expectFailure(render({"-s", "Detune="}), 2, "\"\" is not a number");
    expectFailure(render({"-s", "Detune"}), 2, "expected Name=value");
}

TEST_F(RenderCli, PluginsThatFailToLoad) {
    writeFile(dir / "fake.so", "not a library\n");
    before = dir.entries();
    const auto withPlugin = [&](const std::string& plugin) { return runRenderer({"-p", plugin}, dir.path()); };
    expectFailure(withPlugin("fake.so"), 1, "cannot load ");
    expectFailure(withPlugin("gone.so"), 1, "plug-in not found: gone.so");
    expectFailure(withPlugin(BROKEN_NULL_RECORD_PATH), 1, "the plug-in's entry point returned no effect record");
    expectFailure(withPlugin(BROKEN_MAGIC_PATH), 1, "wrong magic number");
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(static_cast<double (*)(double)>(&std::cos)), &info), 0);
    expectFailure(withPlugin(info.dli_fname), 1, "exports neither VSTPluginMain nor main");
}

TEST_F(RenderCli, BadCommandLines) {
    expectFailure(render({"-b", "0"}), 2, "--block");
    expectFailure(render({"-b", "8193"}), 2, "--block");
    expectFailure(render({"-b", "many"}), 2, "--block");
    expectFailure(render({"-r", "0"}), 2, "--rate");
    expectFailure(render({"-t", "-1"}), 2, "--tail");
    expectFailure(render({"-f", "mp3"}), 2, "--format");
    expectFailure(render({"--bogus"}), 2, "--bogus");
    expectFailure(render({"a.mid", "b.mid"}), 2, "b.mid");
}

}  // namespace
