// Checking and rebuilding MIDI files before libsmf reads them.
#include "tools/smf_screen.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tools/performance.h"

namespace quorvel::tools {

namespace {

constexpr std::int64_t kMaxTrackPulses = 0x7FFFFFFF;  // libsmf counts pulses in an int

std::string hexByte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

std::uint32_t bigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

void putBigEndian32(std::vector<unsigned char>& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<unsigned char>(value >> 24);
    out[at + 1] = static_cast<unsigned char>(value >> 16);
    out[at + 2] = static_cast<unsigned char>(value >> 8);
    out[at + 3] = static_cast<unsigned char>(value);
}

void putQuantity(std::vector<unsigned char>& out, std::uint32_t value) {
    unsigned char bytes[4];
    int n = 0;
    do {
        bytes[n++] = static_cast<unsigned char>(value & 0x7F);
        value >>= 7;
    } while (value != 0 && n < 4);
    while (n > 1) out.push_back(static_cast<unsigned char>(bytes[--n] | 0x80));
    out.push_back(bytes[0]);
}

// One track chunk's events, read and rewritten.
class TrackScreen {
public:
    TrackScreen(const unsigned char* data, std::size_t size, int number, std::vector<unsigned char>& out)
        : bytes(data), byteCount(size), trackNumber(number), output(out) {}

    void run() {
        std::int64_t time = 0;
        std::uint32_t delta = 0;
        while (position < byteCount) {
            delta = quantity("an event time");
            time += delta;
            if (time > kMaxTrackPulses) fail("it lasts more than 2147483647 pulses");
            if (position >= byteCount) fail("it ends after an event time, with no event");
            const unsigned first = bytes[position];
            if (first < 0xF0) {
                channelMessage(delta);
            } else if (first == 0xF0 || first == 0xF7) {
                ++position;
                skip(quantity("a system-exclusive length"), "a system-exclusive message");
                placeholder(delta);
                runningStatus = 0;
            } else if (first == 0xFF) {
                ++position;
                if (position >= byteCount) fail("a meta event is cut short");
                const unsigned type = bytes[position++];
                const std::uint32_t length = quantity("a meta event length");
                const unsigned char* body = bytes + position;
                skip(length, "a meta event");
                runningStatus = 0;
                if (type == 0x2F) {
                    endOfTrack(delta);
                    return;  // whatever follows the end of the track is not part of it
                }
                if (type == 0x51) {
                    tempo(delta, body, length);
                } else {
                    placeholder(delta);
                }
            } else {
                fail("status byte " + hexByte(first) + " has no place in a MIDI file");
            }
        }
        // The writer left the end-of-track event out: the track ends with its last event.
        endOfTrack(0);
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw InputError("track " + std::to_string(trackNumber) + ": " + what);
    }

    std::uint32_t quantity(const char* what) {
        std::uint32_t value = 0;
        for (int n = 0; n < 4; ++n) {
            if (position >= byteCount) fail(std::string(what) + " runs past the end of the track");
            const unsigned byte = bytes[position++];
            value = (value << 7) | (byte & 0x7F);
            if (!(byte & 0x80)) return value;
        }
        fail(std::string(what) + " is longer than four bytes");
    }

    void skip(std::uint32_t length, const char* what) {
        if (length > byteCount - position) fail(std::string(what) + " runs past the end of the track");
        position += length;
    }

    void channelMessage(std::uint32_t delta) {
        unsigned status = bytes[position];
        if (status >= 0x80) {
            runningStatus = status;
            ++position;
        } else if (runningStatus == 0) {
            fail("data byte " + hexByte(status) + " where a status byte belongs (no message to repeat)");
        } else {
            status = runningStatus;
        }
        const std::size_t length = (status & 0xE0) == 0xC0 ? 1 : 2;  // program change, channel pressure: 1
        if (length > byteCount - position) fail("a channel message is cut short");
        for (std::size_t i = 0; i < length; ++i)
            if (bytes[position + i] >= 0x80)
                fail("status byte " + hexByte(bytes[position + i]) + " where a data byte of a channel message belongs");
        putQuantity(output, delta);
        output.push_back(static_cast<unsigned char>(status));
        output.insert(output.end(), bytes + position, bytes + position + length);
        position += length;
    }

    void tempo(std::uint32_t delta, const unsigned char* body, std::uint32_t length) {
        if (length != 3) fail("a tempo change with " + std::to_string(length) + " data bytes instead of 3");
        if (body[0] == 0 && body[1] == 0 && body[2] == 0) fail("a tempo change to 0 microseconds per quarter note");
        putQuantity(output, delta);
        output.insert(output.end(), {0xFF, 0x51, 0x03, body[0], body[1], body[2]});
    }

    // An event the renderer does not play: an empty sequencer-specific meta
    // event keeps its time.
    void placeholder(std::uint32_t delta) {
        putQuantity(output, delta);
        output.insert(output.end(), {0xFF, 0x7F, 0x00});
    }

    void endOfTrack(std::uint32_t delta) {
        putQuantity(output, delta);
        output.insert(output.end(), {0xFF, 0x2F, 0x00});
    }

    const unsigned char* bytes;
    std::size_t byteCount;
    std::size_t position = 0;
    int trackNumber;
    unsigned runningStatus = 0;
    std::vector<unsigned char>& output;
};

}  // namespace

std::vector<unsigned char> screenMidiFile(const unsigned char* data, std::size_t size) {
    if (size < 14 || std::memcmp(data, "MThd", 4) != 0) throw InputError("no MThd header");
    const std::uint32_t headerLength = bigEndian32(data + 4);
    if (headerLength < 6) throw InputError("the header chunk holds " + std::to_string(headerLength) + " bytes, not 6");
    if (headerLength > size - 8) throw InputError("the header chunk runs past the end of the file");
    // libsmf refuses these too, but loses memory doing so.
    const int format = (data[8] << 8) | data[9];
    if (format == 2) throw InputError("format 2 (independent sequences) is not supported, only formats 0 and 1");
    if (format > 2) throw InputError("unknown format " + std::to_string(format));
    const int announced = (data[10] << 8) | data[11];
    if (announced == 0) throw InputError("the header announces no tracks");
    if (data[12] & 0x80) {
        throw InputError("SMPTE time division (" + std::to_string(-static_cast<signed char>(data[12])) +
                         " FPS) is not supported, only pulses per quarter note");
    }
    if (data[12] == 0 && data[13] == 0) throw InputError("a time division of 0 pulses per quarter note");

    std::vector<unsigned char> out(data, data + 14);
    putBigEndian32(out, 4, 6);  // longer headers carry nothing libsmf could use

    std::size_t pos = 8 + std::size_t{headerLength};
    int found = 0;
    while (found < announced) {
        if (size - pos < 8) {
            throw InputError("the header announces " + std::to_string(announced) + " tracks, the file holds " +
                             std::to_string(found));
        }
        const unsigned char* chunk = data + pos;
        const std::uint32_t length = bigEndian32(chunk + 4);
        const bool track = std::memcmp(chunk, "MTrk", 4) == 0;
        if (length > size - pos - 8) {
            if (track) {
                throw InputError("track " + std::to_string(found + 1) + " is cut short: it needs " +
                                 std::to_string(length) + " bytes, the file holds " + std::to_string(size - pos - 8));
            }
            throw InputError("the file ends inside a chunk where track " + std::to_string(found + 1) + " was expected");
        }
        pos += 8 + std::size_t{length};
        if (!track) continue;  // chunks of unknown kinds are left out, as readers of the format must

        ++found;
        const std::size_t start = out.size();
        out.insert(out.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 0});
        TrackScreen(chunk + 8, length, found, out).run();
        putBigEndian32(out, start + 4, static_cast<std::uint32_t>(out.size() - start - 8));
    }
    return out;
}

}  // namespace quorvel::tools
