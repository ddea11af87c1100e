// Reading Standard MIDI files. The reader trusts nothing it reads: every
// chunk length and every event is checked against the bytes that are there,
// and a file that cannot be used is refused with what is wrong with it
// (cut downloads and sloppy writers are common). Chunks of unknown kinds,
// longer headers, tracks without an end-of-track event and meta events of
// any length are read as the format allows; whatever follows a track's
// end-of-track event is not part of it, and neither are tracks beyond the
// number the header announces.
#include "tools/midi_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace quorvel::tools {

namespace {

// Positions are counted in 64 bits, but a track this long is damaged rather
// than meant (at 96 pulses per quarter and 120 BPM it would last 129 days).
constexpr std::int64_t kMaxTrackPulses = 0x7FFFFFFF;

std::string hexByte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

std::uint32_t bigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// What a track holds for the renderer: channel messages, tempo changes and
// time signatures, each with its position and its place in the file.
struct ChannelEvent {
    std::int64_t pulses;
    std::uint8_t bytes[3];
};
struct TempoChange {
    std::int64_t pulses;
    std::int64_t usPerQuarter;
};

struct TrackContents {
    std::vector<ChannelEvent> messages;
    std::vector<TempoChange> tempos;
    std::vector<Meter> meters;
    std::int64_t endPulses = 0;  // the end-of-track event, or the last event where it is missing
};

// One track chunk's events.
class TrackReader {
public:
    TrackReader(const unsigned char* data, std::size_t size, int number, TrackContents& out)
        : bytes(data), byteCount(size), trackNumber(number), contents(out) {}

    void run() {
        std::int64_t time = 0;
        while (cursor < byteCount) {
            time += quantity("an event time");
            if (time > kMaxTrackPulses) fail("it lasts more than 2147483647 pulses");
            contents.endPulses = time;
            if (cursor >= byteCount) fail("it ends after an event time, with no event");
            const unsigned first = bytes[cursor];
            if (first < 0xF0) {
                channelMessage(time);
            } else if (first == 0xF0 || first == 0xF7) {
                ++cursor;
                skip(quantity("a system-exclusive length"), "a system-exclusive message");
                runningStatus = 0;
            } else if (first == 0xFF) {
                ++cursor;
                if (cursor >= byteCount) fail("a meta event is cut short");
                const unsigned type = bytes[cursor++];
                const std::uint32_t length = quantity("a meta event length");
                const unsigned char* body = bytes + cursor;
                skip(length, "a meta event");
                runningStatus = 0;
                if (type == 0x2F) return;  // end of track
                if (type == 0x51) tempo(time, body, length);
                if (type == 0x58 && length >= 2) meter(time, body);
            } else {
                fail("status byte " + hexByte(first) + " has no place in a MIDI file");
            }
        }
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw InputError("track " + std::to_string(trackNumber) + ": " + what);
    }

    std::uint32_t quantity(const char* what) {
        std::uint32_t value = 0;
        for (int n = 0; n < 4; ++n) {
            if (cursor >= byteCount) fail(std::string(what) + " runs past the end of the track");
            const unsigned byte = bytes[cursor++];
            value = (value << 7) | (byte & 0x7F);
            if (!(byte & 0x80)) return value;
        }
        fail(std::string(what) + " is longer than four bytes");
    }

    void skip(std::uint32_t length, const char* what) {
        if (length > byteCount - cursor) fail(std::string(what) + " runs past the end of the track");
        cursor += length;
    }

    void channelMessage(std::int64_t time) {
        unsigned status = bytes[cursor];
        if (status >= 0x80) {
            runningStatus = status;
            ++cursor;
        } else if (runningStatus == 0) {
            fail("data byte " + hexByte(status) + " where a status byte belongs (no message to repeat)");
        } else {
            status = runningStatus;
        }
        const std::size_t length = (status & 0xE0) == 0xC0 ? 1 : 2;  // program change, channel pressure: 1
        if (length > byteCount - cursor) fail("a channel message is cut short");
        ChannelEvent event{time, {static_cast<std::uint8_t>(status), 0, 0}};
        for (std::size_t i = 0; i < length; ++i) {
            if (bytes[cursor + i] >= 0x80)
                fail("status byte " + hexByte(bytes[cursor + i]) + " where a data byte of a channel message belongs");
            event.bytes[1 + i] = bytes[cursor + i];
        }
        cursor += length;
        contents.messages.push_back(event);
    }

    void tempo(std::int64_t time, const unsigned char* body, std::uint32_t length) {
        if (length != 3) fail("a tempo change with " + std::to_string(length) + " data bytes instead of 3");
        const std::int64_t us = (std::int64_t{body[0]} << 16) | (std::int64_t{body[1]} << 8) | body[2];
        if (us == 0) fail("a tempo change to 0 microseconds per quarter note");
        contents.tempos.push_back({time, us});
    }

    // Numerator, then the denominator as a power of two. Only positions as
    // bar:beat:tick depend on it, so odd values are kept within reason
    // rather than refused.
    void meter(std::int64_t time, const unsigned char* body) {
        contents.meters.push_back({time, std::max(1, int{body[0]}), 1 << std::min(6, int{body[1]})});
    }

    const unsigned char* bytes;
    std::size_t byteCount;
    std::size_t cursor = 0;
    int trackNumber;
    unsigned runningStatus = 0;
    TrackContents& contents;
};

struct FileContents {
    int ppqn = 0;
    std::vector<TrackContents> tracks;
};

FileContents readChunks(const unsigned char* data, std::size_t size) {
    if (size < 14 || std::memcmp(data, "MThd", 4) != 0) throw InputError("no MThd header");
    const std::uint32_t headerLength = bigEndian32(data + 4);
    if (headerLength < 6) throw InputError("the header chunk holds " + std::to_string(headerLength) + " bytes, not 6");
    if (headerLength > size - 8) throw InputError("the header chunk runs past the end of the file");
    const int format = (data[8] << 8) | data[9];
    if (format == 2) throw InputError("format 2 (independent sequences) is not supported, only formats 0 and 1");
    if (format > 2) throw InputError("unknown format " + std::to_string(format));
    const int announced = (data[10] << 8) | data[11];
    if (announced == 0) throw InputError("the header announces no tracks");
    if (data[12] & 0x80) {
        throw InputError("SMPTE time division (" + std::to_string(-static_cast<signed char>(data[12])) +
                         " FPS) is not supported, only pulses per quarter note");
    }
    FileContents file;
    file.ppqn = (data[12] << 8) | data[13];
    if (file.ppqn == 0) throw InputError("a time division of 0 pulses per quarter note");

    std::size_t pos = 8 + std::size_t{headerLength};
    while (static_cast<int>(file.tracks.size()) < announced) {
        const int number = static_cast<int>(file.tracks.size()) + 1;
        if (size - pos < 8) {
            throw InputError("the header announces " + std::to_string(announced) + " tracks, the file holds " +
                             std::to_string(number - 1));
        }
        const unsigned char* chunk = data + pos;
        const std::uint32_t length = bigEndian32(chunk + 4);
        const bool track = std::memcmp(chunk, "MTrk", 4) == 0;
        if (length > size - pos - 8) {
            if (track) {
                throw InputError("track " + std::to_string(number) + " is cut short: it needs " +
                                 std::to_string(length) + " bytes, the file holds " + std::to_string(size - pos - 8));
            }
            throw InputError("the file ends inside a chunk where track " + std::to_string(number) + " was expected");
        }
        pos += 8 + std::size_t{length};
        if (!track) continue;  // chunks of unknown kinds are skipped, as readers of the format must
        file.tracks.emplace_back();
        TrackReader(chunk + 8, length, number, file.tracks.back()).run();
    }
    return file;
}

// The tempo map: from each tempo change on, one quarter note lasts
// `usPerQuarter` microseconds. `elapsed` is the time at the change in units
// of 1 / (ppqn * 1,000,000) seconds, exact.
struct TempoSegment {
    std::int64_t pulses;
    std::int64_t usPerQuarter;
    std::int64_t elapsed;
};

class TempoMap {
public:
    // `changes` in time order, file order within a pulse: the last change at
    // a pulse holds from it on.
    TempoMap(const std::vector<TempoChange>& changes, int ppqn, int sampleRate)
        : ticksPerQuarter(ppqn), rate(sampleRate) {
        segments.push_back({0, 500000, 0});  // 120 beats per minute until the file says otherwise
        for (const TempoChange& change : changes) {
            TempoSegment& last = segments.back();
            if (change.pulses == last.pulses)
                last.usPerQuarter = change.usPerQuarter;
            else
                segments.push_back({change.pulses, change.usPerQuarter,
                                    last.elapsed + (change.pulses - last.pulses) * last.usPerQuarter});
        }
    }

    std::int64_t frameAt(std::int64_t pulses) const {
        auto it = std::upper_bound(segments.begin(), segments.end(), pulses,
                                   [](std::int64_t p, const TempoSegment& s) { return p < s.pulses; });
        const TempoSegment& s = *std::prev(it);
        const std::int64_t elapsed = s.elapsed + (pulses - s.pulses) * s.usPerQuarter;
        return framesAt(elapsed, static_cast<std::int64_t>(ticksPerQuarter) * 1000000, rate);
    }

private:
    int ticksPerQuarter;
    int rate;
    std::vector<TempoSegment> segments;
};

std::int64_t position(const ChannelEvent& e) { return e.pulses; }
std::int64_t position(const TempoChange& e) { return e.pulses; }
std::int64_t position(const Meter& e) { return e.tick; }

// Merges what the tracks hold into one list in time order: by pulse, then by
// track, then in file order.
template <typename T, typename Member>
std::vector<T> merged(const std::vector<TrackContents>& tracks, Member member) {
    std::vector<T> all;
    for (const TrackContents& track : tracks) all.insert(all.end(), (track.*member).begin(), (track.*member).end());
    std::stable_sort(all.begin(), all.end(), [](const T& a, const T& b) { return position(a) < position(b); });
    return all;
}

}  // namespace

std::int64_t framesAt(std::int64_t numerator, std::int64_t denominator, int sampleRate) {
    // numerator * rate / denominator, rounded, without overflowing 64 bits.
    const std::int64_t whole = numerator / denominator;
    const std::int64_t rest = numerator % denominator;
    return whole * sampleRate + (rest * sampleRate + denominator / 2) / denominator;
}

Performance loadMidiFile(const std::string& path, int sampleRate) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw InputError("cannot open MIDI file " + path + ": " + std::strerror(errno));
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw InputError("cannot read MIDI file " + path + ": " + std::strerror(errno));
    return parseMidi(bytes.data(), bytes.size(), sampleRate, path);
}

Performance parseMidi(const void* data, std::size_t size, int sampleRate, const std::string& name) {
    if (size < 14 || std::memcmp(data, "MThd", 4) != 0)
        throw InputError(name + " is not a Standard MIDI file (no MThd header)");
    FileContents file;
    try {
        file = readChunks(static_cast<const unsigned char*>(data), size);
    } catch (const InputError& e) {
        throw InputError(name + " is not a usable MIDI file: " + e.what());
    }

    const TempoMap tempo(merged<TempoChange>(file.tracks, &TrackContents::tempos), file.ppqn, sampleRate);
    Performance performance;
    performance.ticksPerQuarter = file.ppqn;
    performance.meters = merged<Meter>(file.tracks, &TrackContents::meters);
    std::int64_t endPulses = 0;
    for (const TrackContents& track : file.tracks) endPulses = std::max(endPulses, track.endPulses);
    for (const ChannelEvent& e : merged<ChannelEvent>(file.tracks, &TrackContents::messages)) {
        TimedMidi midi;
        midi.frame = tempo.frameAt(e.pulses);
        midi.tick = e.pulses;
        std::copy(e.bytes, e.bytes + 3, midi.bytes);
        performance.midi.push_back(midi);
    }
    performance.endFrame = tempo.frameAt(endPulses);
    return performance;
}

}  // namespace quorvel::tools
