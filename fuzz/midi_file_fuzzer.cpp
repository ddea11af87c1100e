// The renderer's MIDI file reader with any bytes. A file is either refused
// with a message naming it or read into events in time order, each a
// channel message with data bytes below 0x80, none after the file's end.
// libsmf's own memory errors and assertions show up here as crashes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/midi_file.h"

#define MIDI_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name = "fuzz.mid";
    try {
        const quorvel::tools::Performance p = quorvel::tools::parseMidi(data, size, 44100, name);
        std::int64_t last = 0;
        for (const quorvel::tools::TimedMidi& m : p.midi) {
            MIDI_CHECK(m.frame >= last);
            MIDI_CHECK(m.frame <= p.endFrame);
            MIDI_CHECK(m.bytes[0] >= 0x80 && m.bytes[0] < 0xF0);
            MIDI_CHECK(m.bytes[1] < 0x80 && m.bytes[2] < 0x80);
            last = m.frame;
        }
    } catch (const quorvel::tools::InputError& e) {
        MIDI_CHECK(std::string(e.what()).compare(0, name.size(), name) == 0);
    }
    return 0;
}
