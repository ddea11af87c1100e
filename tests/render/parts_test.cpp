// quorvel-render's channels, parts and stems, the report of the notes the
// voices could not play (on files where the answer is known), interrupted
// renders, and WAV files beyond 4 GiB.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "smf_builder.h"
#include "test_support.h"
#include "tools/audio_file.h"

namespace {

class Parts : public testing::Test {
protected:
    RunResult render(std::vector<std::string> args) {
        args.insert(args.begin(), {"-p", QUORVEL_PLUGIN_PATH});
        return runRenderer(args, dir.path());
    }
    TempDir dir;
};

// Chords on channels 1 and 2 that need ten voices together, drums on
// channel 10, and a channel 3 with a controller but no notes.
void writeBand(const std::string& path) {
    SmfBuilder smf(96);
    const int a = smf.addTrack();
    const int b = smf.addTrack();
    for (int i = 0; i < 5; ++i) {
        smf.note(a, 0, 384, 48 + 4 * i, 100, 0);
        smf.note(b, 48, 288, 62 + 3 * i, 90, 1);
    }
    for (int beat = 0; beat < 4; ++beat) smf.note(b, beat * 96, 24, 36, 120, 9);
    smf.add(a, 10, {0xB2, 1, 64});
    smf.save(path);
}

TEST_F(Parts, BadChannelListsAreCommandLineMistakes) {
    const char* const cases[][2] = {{"0", "channel 0 is not in 1..16"},       {"17", "channel 17 is not in 1..16"},
                                    {"4-2", "the range 4-2 runs backwards"},  {"1,,2", "\",\" where a channel number"},
                                    {"1;2", "\";\" where a comma or a dash"}, {"3-", "a channel number is missing"}};
    for (const auto& c : cases) {
        const RunResult r = render({"--channels", c[0]});
        EXPECT_EQ(r.exitCode, 2) << c[0];
        EXPECT_NE(r.err.find(std::string("--channels \"") + c[0] + "\": " + c[1]), std::string::npos) << r.err;
    }
}

TEST_F(Parts, EachPartIsItsChannelAloneAndTheFloatMixIsTheirSum) {
    writeBand(dir / "band.mid");
    const RunResult r =
        render({"band.mid", "--parts", "--channels", "1-9", "--stems", "stems", "-o", "mix.wav", "--report"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "channel 1: 5 notes, 5 played, at most 5 voices at once, 0 found no free voice\n"
              "channel 2: 5 notes, 5 played, at most 5 voices at once, 0 found no free voice\n"
              "all: 2 parts, 10 notes, 10 played, at most 5 voices at once in one part, 0 found no free voice\n"
              "stems/band-channel-01.wav\nstems/band-channel-02.wav\nmix.wav\n");

    std::vector<Audio> parts;
    for (const char* channel : {"1", "2"}) {
        const std::string alone = std::string("alone-") + channel + ".wav";
        ASSERT_EQ(render({"band.mid", "--channels", channel, "-o", alone}).exitCode, 0);
        const std::string stem = dir / (std::string("stems/band-channel-0") + channel + ".wav");
        EXPECT_TRUE(readFile(stem) == readFile(dir / alone)) << "channel " << channel;
        parts.push_back(readAudio(stem));
    }
    const Audio mix = readAudio(dir / "mix.wav");
    ASSERT_EQ(mix.samples.size(), parts[0].samples.size());
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < mix.samples.size(); ++i)
        wrong += mix.samples[i] != static_cast<float>(double{parts[0].samples[i]} + double{parts[1].samples[i]});
    EXPECT_EQ(wrong, 0u);
    EXPECT_GT(mix.peak(), parts[0].peak());
}

TEST_F(Parts, PcmMixIsBroughtDownToFullScaleInsteadOfClipping) {
    writeBand(dir / "band.mid");
    const std::vector<std::string> loud{"band.mid", "--parts", "-s", "Output gain=1"};
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> args = loud;
        args.insert(args.end(), more.begin(), more.end());
        EXPECT_EQ(render(args).exitCode, 0);
    };
    with({"-o", "float.wav"});
    with({"-f", "pcm24", "-o", "pcm.wav"});
    const Audio sum = readAudio(dir / "float.wav");
    const Audio pcm = readAudio(dir / "pcm.wav");
    const float peak = sum.peak();
    ASSERT_GT(peak, 1.5f);  // three parts at full gain: far beyond full scale
    ASSERT_EQ(pcm.samples.size(), sum.samples.size());
    float worst = 0.0f;
    for (std::size_t i = 0; i < sum.samples.size(); ++i)
        worst = std::max(worst, std::abs(pcm.samples[i] - sum.samples[i] / peak));
    EXPECT_LE(worst, 1.0f / 8388608);
    EXPECT_LE(pcm.peak(), 1.0f);
}

// Reports on files whose answer is known: the note that finds eight busy
// voices, in a 3/4 bar; a key released and struck in one tick, in both
// orders; voices that note cut frees before the next chord.
TEST_F(Parts, TheReportNamesExactlyTheNotesThatFoundNoVoice) {
    struct Case {
        const char* name;
        std::function<void(SmfBuilder&, int)> write;
        std::vector<std::string> options;
        std::string report;
    };
    const Case cases[] = {
        {"nine at once in 3/4",
         [](SmfBuilder& smf, int t) {
             smf.add(t, 0, {0xFF, 0x58, 0x04, 3, 2, 24, 8});
             for (int key = 60; key <= 68; ++key) smf.note(t, 720, 96, key, 100);  // bar 3, beat 2, tick 48
         },
         {},
         "9 notes, 8 played, at most 8 voices at once, 1 found no free voice\n"
         "  no free voice: channel 1, key 68 (G#4), at 3:2:48 (0:03.750)\n"},
        {"released, then struck in one tick",
         [](SmfBuilder& smf, int t) {
             for (int key = 60; key < 68; ++key) smf.note(t, 0, 384, key, 100);
             smf.add(t, 192, {0x80, 60, 0});
             smf.add(t, 192, {0x90, 72, 100});
             smf.add(t, 288, {0x80, 72, 0});
         },
         {},
         "9 notes, 9 played, at most 8 voices at once, 0 found no free voice\n"},
        {"struck, then released in one tick",
         [](SmfBuilder& smf, int t) {
             for (int key = 60; key < 68; ++key) smf.note(t, 0, 384, key, 100);
             smf.add(t, 192, {0x93, 72, 100});
             smf.add(t, 192, {0x80, 60, 0});
             smf.add(t, 288, {0x83, 72, 0});
         },
         {},
         "9 notes, 8 played, at most 8 voices at once, 1 found no free voice\n"
         "  no free voice: channel 4, key 72 (C5), at 1:3:0 (0:01.000)\n"},
        {"held chord, then another",
         [](SmfBuilder& smf, int t) {
             for (int key = 60; key < 68; ++key) smf.note(t, 0, 384, key, 100);
             for (int key = 70; key < 72; ++key) smf.note(t, 192, 96, key, 100);
         },
         {},
         "10 notes, 8 played, at most 8 voices at once, 2 found no free voice\n"
         "  no free voice: channel 1, key 70 (A#4), at 1:3:0 (0:01.000)\n"
         "  no free voice: channel 1, key 71 (B4), at 1:3:0 (0:01.000)\n"},
        {"held chord cut short, then another",
         [](SmfBuilder& smf, int t) {
             for (int key = 60; key < 68; ++key) smf.note(t, 0, 384, key, 100);
             for (int key = 70; key < 72; ++key) smf.note(t, 192, 96, key, 100);
         },
         {"-s", "Note cut=0.1"},
         "10 notes, 10 played, at most 8 voices at once, 0 found no free voice\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmfBuilder smf(96);
        c.write(smf, smf.addTrack());
        smf.save(dir / "case.mid");
        std::vector<std::string> args{"case.mid", "--report", "-o", "case.wav"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult r = render(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.report + "case.wav\n");
    }
}

TEST_F(Parts, InterruptedRendersLeaveTheOldFileAndNoTemporaryOne) {
    writeBand(dir / "band.mid");
    writeFile(dir / "out.wav", "the previous render");
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const std::vector<std::string> before = dir.entries();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (chdir(dir.path().c_str()) != 0) _exit(99);
            freopen("/dev/null", "w", stdout);
            freopen("stderr.txt", "w", stderr);
            // Ten minutes at 768 kHz take a while to write.
            execl(QUORVEL_RENDER_PATH, QUORVEL_RENDER_PATH, "-p", QUORVEL_PLUGIN_PATH, "band.mid", "-r", "768000", "-t",
                  "600", "-f", "pcm16", "-o", "out.wav", static_cast<char*>(nullptr));
            _exit(98);
        }
        bool writing = false;
        for (int wait = 0; wait < 3000 && !writing; ++wait) {
            for (const std::string& name : dir.entries()) writing = writing || name.rfind(".out.wav.tmp-", 0) == 0;
            if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(writing) << "no temporary file appeared";
        kill(child, signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_NE(readFile(dir / "stderr.txt").find("interrupted by signal"), std::string::npos);
        fs::remove(dir / "stderr.txt");
        EXPECT_EQ(dir.entries(), before);
        EXPECT_EQ(readFile(dir / "out.wav"), "the previous render");
    }
}

TEST(AudioFile, WavAudioBeyondFourGibibytesIsWrittenAsRf64) {
    TempDir dir;
    const float left[] = {0.25f, -0.5f}, right[] = {1.0f, 0.0f};
    const float* const channels[] = {left, right};
    // 2^29 stereo float frames fill 4 GiB exactly; 200 fewer leave room for the headers.
    for (const auto& [frames, container] : {std::pair<std::int64_t, const char*>{(1LL << 29) - 200, "RIFF"},
                                            std::pair<std::int64_t, const char*>{1LL << 29, "RF64"}}) {
        quorvel::tools::AudioFileWriter writer(dir / "big.wav", quorvel::tools::SampleFormat::Float, 2, 44100, frames);
        writer.write(channels, 2);
        writer.commit();
        EXPECT_EQ(readFile(dir / "big.wav").substr(0, 4), container) << frames;
        const Audio audio = readAudio(dir / "big.wav");
        EXPECT_EQ(audio.samples, (std::vector<float>{0.25f, 1.0f, -0.5f, 0.0f}));
    }
}

}  // namespace
