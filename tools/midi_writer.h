// Writes Standard MIDI files: format 0 for one track, format 1 for more.
// For test phrases and tools; the renderer itself only reads them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvel::tools {

class MidiFileWriter {
public:
    explicit MidiFileWriter(int ticksPerQuarter) : ticksPerQuarterNote(ticksPerQuarter) {
        if (ticksPerQuarter < 1 || ticksPerQuarter > 0x7FFF)
            throw std::invalid_argument("ticks per quarter note must lie in 1..32767");
    }

    // Adds a track and returns its index for the calls below.
    int addTrack() {
        tracks.emplace_back();
        return static_cast<int>(tracks.size()) - 1;
    }

    // Any event at an absolute time in ticks, as its bytes: a channel message;
    // a meta event as 0xFF, type, length, data (length below 128); a
    // system-exclusive message as 0xF0, data, 0xF7. Events of a track are
    // written in time order, in the order added within a tick.
    void add(int track, std::int64_t ticks, std::vector<std::uint8_t> bytes) {
        if (bytes.empty() || bytes[0] < 0x80) throw std::invalid_argument("an event starts with its status byte");
        if (bytes[0] == 0xFF && (bytes.size() < 3 || bytes[2] != bytes.size() - 3))
            throw std::invalid_argument("a meta event's length byte does not match its data");
        tracks.at(static_cast<std::size_t>(track)).push_back({ticks, std::move(bytes)});
    }

    // The file, every track ended at `endTicks` or at its last event, if later.
    std::string bytes(std::int64_t endTicks = 0) const {
        std::string out = "MThd";
        put32(out, 6);
        put16(out, tracks.size() == 1 ? 0 : 1);
        put16(out, static_cast<int>(tracks.size()));
        put16(out, ticksPerQuarterNote);
        for (std::vector<Event> events : tracks) {
            std::stable_sort(events.begin(), events.end(),
                             [](const Event& a, const Event& b) { return a.ticks < b.ticks; });
            std::string body;
            std::int64_t now = 0;
            for (const Event& e : events) {
                putQuantity(body, e.ticks - now);
                now = e.ticks;
                if (e.bytes[0] == 0xFF) {
                    body.append(e.bytes.begin(), e.bytes.begin() + 2);
                    putQuantity(body, static_cast<std::int64_t>(e.bytes.size() - 3));
                    body.append(e.bytes.begin() + 3, e.bytes.end());
                } else if (e.bytes[0] == 0xF0) {
                    body += '\xF0';
                    putQuantity(body, static_cast<std::int64_t>(e.bytes.size() - 1));
                    body.append(e.bytes.begin() + 1, e.bytes.end());
                } else {
                    body.append(e.bytes.begin(), e.bytes.end());
                }
            }
            putQuantity(body, std::max<std::int64_t>(endTicks - now, 0));
            body += "\xFF\x2F";
            body += '\0';
            out += "MTrk";
            put32(out, static_cast<std::uint32_t>(body.size()));
            out += body;
        }
        return out;
    }

    void save(const std::string& path, std::int64_t endTicks = 0) const {
        std::ofstream file(path, std::ios::binary);
        file << bytes(endTicks);
        if (!file.flush()) throw std::runtime_error("cannot write " + path);
    }

private:
    struct Event {
        std::int64_t ticks;
        std::vector<std::uint8_t> bytes;
    };

    static void put16(std::string& out, int value) {
        out += static_cast<char>(value >> 8 & 0xFF);
        out += static_cast<char>(value & 0xFF);
    }
    static void put32(std::string& out, std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift & 0xFF);
    }
    static void putQuantity(std::string& out, std::int64_t value) {
        if (value < 0 || value > 0x0FFFFFFF) throw std::invalid_argument("an event time out of the format's range");
        char groups[4];
        int n = 0;
        do {
            groups[n++] = static_cast<char>(value & 0x7F);
            value >>= 7;
        } while (value != 0);
        while (n > 1) out += static_cast<char>(groups[--n] | 0x80);
        out += groups[0];
    }

    int ticksPerQuarterNote;
    std::vector<std::vector<Event>> tracks;
};

}  // namespace quorvel::tools
