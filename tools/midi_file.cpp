// Reading MIDI files through libsmf.
#include "tools/midi_file.h"

#include <smf.h>

#include "tools/smf_screen.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define QUORVEL_WITH_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVEL_WITH_ASAN 1
#endif
#endif
#if defined(QUORVEL_WITH_ASAN)
// libsmf loses its half-built file record when it refuses a file. The screen
// refuses such files before it sees them; should one still get through, that
// memory is the library's own and cannot be freed from here.
extern "C" const char* __lsan_default_suppressions() { return "leak:libsmf.so\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

namespace quorvel::tools {

namespace {

// libsmf reports problems through GLib's log. While a file is parsed, the
// messages are collected here instead of being printed. libsmf loads a
// damaged file as far as it can and reports the damage as critical
// messages; such a file is refused rather than played in part.
class LogCapture {
public:
    LogCapture() { previousHandler = g_log_set_default_handler(&LogCapture::handler, this); }
    ~LogCapture() { g_log_set_default_handler(previousHandler, nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The first critical message, or the last message of any kind.
    std::string reason() const { return firstCritical.empty() ? lastMessage : firstCritical; }
    bool sawCritical() const { return !firstCritical.empty(); }

private:
    static void handler(const gchar* /*domain*/, GLogLevelFlags level, const gchar* message, gpointer self) {
        auto* capture = static_cast<LogCapture*>(self);
        const std::string text = message && *message ? message : "unknown problem";
        if ((level & (G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR)) && capture->firstCritical.empty())
            capture->firstCritical = text;
        capture->lastMessage = text;
    }
    GLogFunc previousHandler;
    std::string firstCritical;
    std::string lastMessage;
};

struct SmfDeleter {
    void operator()(smf_t* smf) const { smf_delete(smf); }
};

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
    TempoMap(smf_t* smf, int sampleRate) : pulsesPerQuarter(smf->ppqn), rate(sampleRate) {
        segments.push_back({0, 500000, 0});  // 120 beats per minute until the file says otherwise
        for (int i = 0;; ++i) {
            const smf_tempo_t* tempo = smf_get_tempo_by_number(smf, i);
            if (!tempo) break;
            const std::int64_t us = tempo->microseconds_per_quarter_note;
            if (us <= 0) continue;
            TempoSegment& last = segments.back();
            const std::int64_t pulses = std::max<std::int64_t>(tempo->time_pulses, last.pulses);
            if (pulses == last.pulses)
                last.usPerQuarter = us;
            else
                segments.push_back({pulses, us, last.elapsed + (pulses - last.pulses) * last.usPerQuarter});
        }
    }

    std::int64_t frameAt(std::int64_t pulses) const {
        auto it = std::upper_bound(segments.begin(), segments.end(), pulses,
                                   [](std::int64_t p, const TempoSegment& s) { return p < s.pulses; });
        const TempoSegment& s = *std::prev(it);
        const std::int64_t elapsed = s.elapsed + (pulses - s.pulses) * s.usPerQuarter;
        return framesAt(elapsed, static_cast<std::int64_t>(pulsesPerQuarter) * 1000000, rate);
    }

private:
    int pulsesPerQuarter;
    int rate;
    std::vector<TempoSegment> segments;
};

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
    std::vector<unsigned char> screened;
    try {
        screened = screenMidiFile(static_cast<const unsigned char*>(data), size);
    } catch (const InputError& e) {
        throw InputError(name + " is not a usable MIDI file: " + e.what());
    }
    if (screened.size() > 0x7FFFFFFF) throw InputError(name + " is too large for a MIDI file");

    std::unique_ptr<smf_t, SmfDeleter> smf;
    {
        LogCapture log;
        smf.reset(smf_load_from_memory(screened.data(), static_cast<int>(screened.size())));
        if (!smf || log.sawCritical()) {
            std::string reason = log.reason();
            if (reason.empty()) reason = "unreadable";
            throw InputError(name + " is not a usable MIDI file: " + reason);
        }
    }
    if (smf->ppqn <= 0 || smf->frames_per_second != 0)
        throw InputError(name + ": SMPTE time division is not supported, only pulses per quarter note");

    const TempoMap tempo(smf.get(), sampleRate);
    Performance performance;
    smf_rewind(smf.get());
    std::int64_t lastPulses = 0;
    LogCapture quiet;  // libsmf may warn about oddities it skips
    while (smf_event_t* event = smf_get_next_event(smf.get())) {
        lastPulses = std::max<std::int64_t>(lastPulses, event->time_pulses);
        if (event->midi_buffer_length < 1 || !event->midi_buffer) continue;
        const std::uint8_t status = event->midi_buffer[0];
        if (status < 0x80 || status >= 0xF0) continue;  // metadata, system exclusive, system messages
        const int length = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
        if (event->midi_buffer_length < length) continue;
        TimedMidi midi;
        midi.frame = tempo.frameAt(event->time_pulses);
        for (int i = 0; i < length; ++i) midi.bytes[i] = event->midi_buffer[i];
        performance.midi.push_back(midi);
    }
    lastPulses = std::max<std::int64_t>(lastPulses, smf_get_length_pulses(smf.get()));
    performance.endFrame = tempo.frameAt(lastPulses);
    // libsmf hands events out in time order; keep file order within a sample.
    std::stable_sort(performance.midi.begin(), performance.midi.end(),
                     [](const TimedMidi& a, const TimedMidi& b) { return a.frame < b.frame; });
    return performance;
}

}  // namespace quorvel::tools
