// Writes Standard MIDI files for the tests.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "tools/midi_writer.h"

class SmfBuilder {
public:
    explicit SmfBuilder(int ppqn = 96) : writer(ppqn) {}

    // Adds a track and returns its index for the calls below.
    int addTrack() { return writer.addTrack(); }

    // Any message, metadata included, at an absolute time in pulses.
    void add(int track, int pulses, std::initializer_list<int> bytes) {
        std::vector<std::uint8_t> data;
        for (int b : bytes) data.push_back(static_cast<std::uint8_t>(b));
        writer.add(track, pulses, std::move(data));
    }

    void tempo(int track, int pulses, int usPerQuarter) {
        add(track, pulses,
            {0xFF, 0x51, 0x03, (usPerQuarter >> 16) & 0xFF, (usPerQuarter >> 8) & 0xFF, usPerQuarter & 0xFF});
    }
    void note(int track, int pulses, int length, int key, int velocity, int channel = 0) {
        add(track, pulses, {0x90 | channel, key, velocity});
        add(track, pulses + length, {0x80 | channel, key, 0});
    }

    // Ends every track at `pulses` (or at its last event, if later) and saves.
    void save(const std::string& path, int endPulses = 0) { writer.save(path, endPulses); }

private:
    quorvel::tools::MidiFileWriter writer;
};
