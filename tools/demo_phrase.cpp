// The demo phrase, written as a score in ticks (480 per quarter note at 120
// beats per minute, so one tick is 1/960 s and every time is exact).
#include "tools/demo_phrase.h"

#include <algorithm>
#include <initializer_list>

#include "tools/midi_file.h"

namespace quorvel::tools {

namespace {

constexpr int kBeat = 480;
constexpr int kBar = 4 * kBeat;
constexpr int kTicksPerSecond = 960;

class Score {
public:
    explicit Score(int sampleRate) : rate(sampleRate) {}

    void note(int start, int length, int key, int velocity) {
        message(start, 0x90, key, velocity);
        message(start + length, 0x80, key, 0);
    }
    void chord(int start, int length, std::initializer_list<int> keys, int velocity) {
        for (int key : keys) note(start, length, key, velocity);
    }
    void controller(int at, int number, int value) { message(at, 0xB0, number, value); }
    void bend(int at, int value) { message(at, 0xE0, value & 0x7F, (value >> 7) & 0x7F); }
    void parameter(int at, const char* name, float value) { phrase.parameters.push_back({frame(at), name, value}); }

    Performance finish() {
        // Within one sample a note-off goes before a note-on, so that a key
        // struck again at the moment it is released sounds again.
        auto rank = [](const TimedMidi& m) { return (m.bytes[0] & 0xF0) == 0x80 ? 0 : 1; };
        std::stable_sort(phrase.midi.begin(), phrase.midi.end(), [&](const TimedMidi& a, const TimedMidi& b) {
            return a.frame != b.frame ? a.frame < b.frame : rank(a) < rank(b);
        });
        std::stable_sort(phrase.parameters.begin(), phrase.parameters.end(),
                         [](const TimedParameter& a, const TimedParameter& b) { return a.frame < b.frame; });
        phrase.endFrame = 0;
        if (!phrase.midi.empty()) phrase.endFrame = phrase.midi.back().frame;
        if (!phrase.parameters.empty()) phrase.endFrame = std::max(phrase.endFrame, phrase.parameters.back().frame);
        return phrase;
    }

private:
    std::int64_t frame(int ticks) const { return framesAt(ticks, kTicksPerSecond, rate); }
    void message(int at, int status, int data1, int data2) {
        TimedMidi m;
        m.frame = frame(at);
        m.bytes[0] = static_cast<std::uint8_t>(status);
        m.bytes[1] = static_cast<std::uint8_t>(data1);
        m.bytes[2] = static_cast<std::uint8_t>(data2);
        phrase.midi.push_back(m);
    }

    int rate;
    Performance phrase;
};

}  // namespace

Performance demoPerformance(int sampleRate) {
    Score s(sampleRate);
    const int half = 2 * kBeat;

    // Bar 1: plain four-voice chords.
    int bar = 0;
    s.chord(bar, half, {60, 64, 67, 71}, 100);
    s.chord(bar + half, half, {57, 60, 64, 67}, 100);

    // Bar 2: the same kind of chords with every second voice detuned.
    bar = kBar;
    s.parameter(bar, "Detune", 0.62f);
    s.chord(bar, half, {53, 57, 60, 64}, 100);
    s.chord(bar + half, half, {55, 59, 62, 67}, 100);

    // Bar 3: a held chord while the modulation wheel brings the vibrato in
    // and takes it out again.
    bar = 2 * kBar;
    s.parameter(bar, "Detune", 0.5f);
    s.chord(bar, kBar, {48, 55, 64}, 100);
    for (int step = 0; step <= 32; ++step) s.controller(bar + step * kBeat / 16, 1, step * 127 / 32);
    for (int step = 0; step <= 16; ++step) s.controller(bar + 3 * kBeat + step * kBeat / 16, 1, 127 - step * 127 / 16);

    // Bar 4: the bend range goes to 7 semitones (data entry 14 on registered
    // parameter 0), then a held note bends up a fifth and comes back.
    bar = 3 * kBar;
    s.controller(bar, 101, 0);
    s.controller(bar, 100, 0);
    s.controller(bar, 6, 14);
    s.chord(bar, kBar, {60, 64}, 100);
    for (int step = 0; step <= 16; ++step) s.bend(bar + kBeat + step * kBeat / 16, 8192 + step * 8191 / 16);
    for (int step = 0; step <= 16; ++step) s.bend(bar + 3 * kBeat + step * kBeat / 32, 16383 - step * 8191 / 16);

    // Bar 5: velocity sets the pulse width; an arpeggio grows louder and
    // brighter note by note.
    bar = 4 * kBar;
    s.parameter(bar, "Velocity target", 0.375f);
    const int arpeggio[] = {48, 55, 60, 64, 67, 72, 76, 79};
    for (int i = 0; i < 16; ++i)
        s.note(bar + i * kBeat / 4, kBeat / 4, arpeggio[i % 8] + (i >= 8 ? 12 : 0), 20 + i * 107 / 15);

    // Bar 6: note cut shortens every note to 90 ms; staccato chords, then a
    // last chord that is held but cut all the same.
    bar = 5 * kBar;
    s.parameter(bar, "Velocity target", 0.0f);
    s.parameter(bar, "Note cut", 0.09f);
    for (int i = 0; i < 6; ++i) s.chord(bar + i * kBeat / 2, kBeat / 2, {57, 60, 64, 69}, 60 + i * 12);
    s.chord(bar + 3 * kBeat, kBeat, {48, 60, 64, 67, 72}, 127);
    s.controller(bar + kBar, 123, 0);
    return s.finish();
}

}  // namespace quorvel::tools
