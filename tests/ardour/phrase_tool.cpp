// Turns the test phrase (phrase.txt: one MIDI message a line, placed at a
// sample) into the two forms the Ardour test needs: a Standard MIDI file for
// quorvel-render, written with libsmf, and the entries of the Lua table that
// the phrase player plays inside Ardour.
//
// The MIDI file runs at 120 beats per minute with rate / 2 pulses per quarter
// note, so one pulse lasts exactly one sample and every message lands on the
// sample the phrase names.
// smf.h wraps its includes in extern "C"; GLib pulls in C++ headers when
// compiled as C++, so it must be seen first, outside that block.
#include <glib.h>
#include <smf.h>

#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Message {
    std::int64_t sample;
    int bytes[3];
};

int parseNumber(const std::string& text, int low, int high, const std::string& where) {
    std::size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used, 0);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || value < low || value > high)
        throw std::runtime_error(where + ": '" + text + "' is not a number from " + std::to_string(low) + " to " +
                                 std::to_string(high));
    return value;
}

std::vector<Message> readPhrase(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<Message> phrase;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;) words.push_back(word);
        if (words.empty()) continue;
        const std::string where = path + ":" + std::to_string(number);
        if (words.size() != 4) throw std::runtime_error(where + ": expected sample, status, data 1, data 2");
        Message m;
        m.sample = parseNumber(words[0], 0, 1 << 30, where);
        m.bytes[0] = parseNumber(words[1], 0x80, 0xEF, where);
        m.bytes[1] = parseNumber(words[2], 0, 127, where);
        m.bytes[2] = parseNumber(words[3], 0, 127, where);
        if (!phrase.empty() && m.sample < phrase.back().sample)
            throw std::runtime_error(where + ": messages must be in time order");
        phrase.push_back(m);
    }
    if (phrase.empty()) throw std::runtime_error(path + " holds no message");
    return phrase;
}

void writeMidi(const std::vector<Message>& phrase, int rate, const std::string& path) {
    if (rate % 2 != 0 || rate / 2 > 0x7FFF) throw std::runtime_error("the rate must be even and at most 65534");
    smf_t* smf = smf_new();
    if (!smf) throw std::runtime_error("libsmf cannot create a file");
    smf_track_t* track = smf_track_new();
    if (smf_set_ppqn(smf, rate / 2) != 0 || !track) {
        smf_delete(smf);
        throw std::runtime_error("libsmf cannot set up the file");
    }
    smf_add_track(smf, track);
    // Tempo: 500000 microseconds per quarter note.
    unsigned char tempo[] = {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};
    smf_track_add_event_pulses(track, smf_event_new_from_pointer(tempo, sizeof tempo), 0);
    for (const Message& m : phrase) {
        smf_event_t* event = smf_event_new_from_bytes(m.bytes[0], m.bytes[1], m.bytes[2]);
        if (!event) {
            smf_delete(smf);
            throw std::runtime_error("libsmf rejects a message of the phrase");
        }
        smf_track_add_event_pulses(track, event, static_cast<int>(m.sample));
    }
    const int failed = smf_save(smf, path.c_str());
    smf_delete(smf);
    if (failed) throw std::runtime_error("cannot write " + path);
}

void writeLuaEntries(const std::vector<Message>& phrase, const std::string& path) {
    std::ofstream out(path);
    for (const Message& m : phrase) {
        char line[80];
        std::snprintf(line, sizeof line, "\t{ %lld, 0x%02X, %d, %d },\n", static_cast<long long>(m.sample), m.bytes[0],
                      m.bytes[1], m.bytes[2]);
        out << line;
    }
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Writes the Ardour test phrase as a MIDI file and as Lua table entries."};
    std::string phrasePath, midiPath, luaPath;
    int rate = 48000;
    app.add_option("phrase", phrasePath, "phrase text file")->required()->check(CLI::ExistingFile);
    app.add_option("--midi", midiPath, "Standard MIDI file to write");
    app.add_option("--lua", luaPath, "file to write the Lua table entries to");
    app.add_option("-r,--rate", rate, "sample rate the phrase's positions count in")->check(CLI::Range(2, 65534));
    CLI11_PARSE(app, argc, argv);
    try {
        const std::vector<Message> phrase = readPhrase(phrasePath);
        if (!midiPath.empty()) writeMidi(phrase, rate, midiPath);
        if (!luaPath.empty()) writeLuaEntries(phrase, luaPath);
    } catch (const std::exception& e) {
        std::cerr << "ardour_phrase: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
