// quorvel-render through the LV2 bundle: the same MIDI file with the same
// settings gives the very same file as through the VST 2.4 plug-in, at any
// block size, and --info shows the instrument's ports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "smf_builder.h"
#include "test_support.h"

namespace {

// Chords over two channels, the wheel, a bend range of 12 and bends, all
// notes off, and a note left to the note cut.
void writePhrase(const std::string& path) {
    SmfBuilder smf(480);
    const int t = smf.addTrack();
    for (int i = 0; i < 10; ++i) {
        smf.note(t, i * 211 + 3, 350, 45 + (i * 7) % 30, 30 + i * 9, i % 2);
        smf.note(t, i * 211 + 50, 120, 70 + (i * 5) % 12, 110 - i * 3, 3);
    }
    for (int i = 0; i <= 16; ++i) smf.add(t, 700 + i * 23, {0xB0, 1, i * 7});
    smf.add(t, 900, {0xB0, 101, 0});
    smf.add(t, 900, {0xB0, 100, 0});
    smf.add(t, 900, {0xB0, 6, 24});
    for (int i = 0; i <= 20; ++i) smf.add(t, 901 + i * 37, {0xE2, (i * 811) & 0x7F, ((i * 811) >> 7) & 0x7F});
    smf.add(t, 2100, {0xB0, 123, 0});
    smf.note(t, 2200, 900, 62, 90);
    smf.save(path);
}

class Lv2Render : public testing::Test {
protected:
    void SetUp() override { writePhrase(dir / "phrase.mid"); }
    std::string render(const std::string& plugin, std::vector<std::string> args, const std::string& output) {
        args.insert(args.begin(), {"-p", plugin, "-o", output, "-r", "48000"});
        const RunResult r = runRenderer(args, dir.path());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, output + "\n");
        return readFile(dir / output);
    }
    TempDir dir;
};

TEST_F(Lv2Render, GivesTheVstPluginsFileByteForByte) {
    const std::vector<std::string> moved = {"-s", "Pulse width=0.3",      "-s", "Phase reset=0",
                                            "-s", "Detune=0.8",           "-s", "Note cut=0.2",
                                            "-s", "Velocity target=0.6",  "-s", "Modulation speed=0.9",
                                            "-s", "Modulation depth=0.7", "-s", "Output gain=0.9"};
    struct Case {
        const char* what;
        std::vector<std::string> args;
    };
    std::vector<std::string> movedPhrase = moved;
    movedPhrase.insert(movedPhrase.begin(), "phrase.mid");
    const Case cases[] = {{"the phrase", {"phrase.mid"}},
                          {"the phrase, every parameter moved", movedPhrase},
                          {"the demo, its parameter changes included", {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string vst = render(QUORVEL_PLUGIN_PATH, c.args, "vst.wav");
        ASSERT_GT(vst.size(), 10000u);
        for (const char* block : {"5", "512", "4096"}) {
            std::vector<std::string> args = c.args;
            args.insert(args.end(), {"-b", block});
            EXPECT_TRUE(render(QUORVEL_LV2_BUNDLE, args, "lv2.wav") == vst) << "LV2 in blocks of " << block;
        }
    }
}

TEST_F(Lv2Render, InfoShowsNameUriAndPortsWithRangesAndDefaults) {
    const RunResult r = runRenderer({"-p", QUORVEL_LV2_BUNDLE, "--info"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* line :
         {"Name:           Quorvel\n", "URI:            urn:quorvel:quorvel\n", "Class:          Instrument Plugin\n",
          "Ports:          11\n", "    0  input  atom    midi_in              MIDI in",
          "    2  output audio   out_right            Right",
          "    3  input  control pulse_width          Pulse width          0.000000..1.000000, "
          "default 0.050000\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\nin:\n" << r.out;
}

}  // namespace
