// Writes Standard MIDI files for the tests through libsmf.
#pragma once

#include <smf.h>

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

class SmfBuilder {
public:
    explicit SmfBuilder(int ppqn = 96) : file(smf_new()) {
        if (!file || smf_set_ppqn(file, ppqn) != 0) throw std::runtime_error("libsmf: cannot start a file");
    }
    ~SmfBuilder() { smf_delete(file); }
    SmfBuilder(const SmfBuilder&) = delete;
    SmfBuilder& operator=(const SmfBuilder&) = delete;

    // Adds a track and returns its index for the calls below.
    int addTrack() {
        smf_track_t* track = smf_track_new();
        smf_add_track(file, track);
        tracks.push_back(track);
        return static_cast<int>(tracks.size()) - 1;
    }

    // Any message, metadata included, at an absolute time in pulses. Events
    // of one track must come in time order.
    void add(int track, int pulses, std::initializer_list<int> bytes) {
        std::vector<unsigned char> data;
        for (int b : bytes) data.push_back(static_cast<unsigned char>(b));
        smf_event_t* event = smf_event_new_from_pointer(data.data(), static_cast<int>(data.size()));
        if (!event) throw std::runtime_error("libsmf: bad event");
        smf_track_add_event_pulses(tracks.at(static_cast<std::size_t>(track)), event, pulses);
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
    void save(const std::string& path, int endPulses = 0) {
        for (smf_track_t* track : tracks) {
            if (smf_track_add_eot_pulses(track, endPulses) != 0 && smf_track_add_eot_delta_pulses(track, 0) != 0)
                throw std::runtime_error("libsmf: cannot end a track");
        }
        if (smf_save(file, path.c_str()) != 0) throw std::runtime_error("libsmf: cannot save " + path);
    }

private:
    smf_t* file;
    std::vector<smf_track_t*> tracks;
};
