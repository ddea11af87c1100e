// What the fuzz targets share: a host whose answers the input chooses, one
// instrument driven through its record, the awkward values the input picks
// from, event lists built from the input, and the checks every block and
// every session must pass. A broken check aborts, so libFuzzer keeps the input.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "params/parameters.h"
#include "plugin/quorvel.h"
#include "support/event_list.h"
#include "support/recording_host.h"

namespace quorvel {

namespace fuzz {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}
#define FUZZ_CHECK(cond)                                               \
    do {                                                               \
        if (!(cond)) ::quorvel::fuzz::fail(#cond, __FILE__, __LINE__); \
    } while (0)

// The host's answers. The callback is a plain function, so they live here;
// each fuzz input sets them afresh.
struct HostAnswers {
    std::intptr_t sampleRate = 44100;
    std::intptr_t other = 0;  // every request other than the version and the sample rate
};
inline HostAnswers& answers() {
    static HostAnswers a;
    return a;
}

// The shared recording host, answering what the input chose and recording
// nothing (a session makes millions of requests).
inline audioMasterCallback hostCallback() {
    static RecordingHost host(
        [](const HostCall& call) -> std::intptr_t {
            switch (call.opcode) {
                case audioMasterVersion:
                    return 2400;
                case audioMasterGetSampleRate:
                    return answers().sampleRate;
                default:
                    return answers().other;
            }
        },
        RecordingHost::Recording::Off);
    return RecordingHost::callback;
}

// A float the input picks: mostly the values that break arithmetic.
inline float pickFloat(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 17)) {
        case 0:
            return std::numeric_limits<float>::quiet_NaN();
        case 1:
            return std::numeric_limits<float>::infinity();
        case 2:
            return -std::numeric_limits<float>::infinity();
        case 3:
            return FLT_MAX;
        case 4:
            return -FLT_MAX;
        case 5:
            return std::numeric_limits<float>::denorm_min();
        case 6:
            return -0.0f;
        case 7:
            return 0.0f;
        case 8:
            return 1.0f;
        case 9:
            return 1e30f;
        case 10:
            return -1e30f;
        case 11:
            return 3e7f;  // above 2^24, where x - 1 == x
        case 12:
            return -1.0f;
        case 13:
            return 1.0f + in.ConsumeProbability<float>() * 1000.0f;
        case 14:
        case 15:
            return in.ConsumeProbability<float>();  // the host's usual range
        default: {
            const std::uint32_t bits = in.ConsumeIntegral<std::uint32_t>();
            float f;
            std::memcpy(&f, &bits, sizeof(f));
            return f;
        }
    }
}

// A host's answer to the sample-rate query.
inline std::intptr_t pickRateAnswer(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 11)) {
        case 0:
            return 0;
        case 1:
            return -1;
        case 2:
            return -44100;
        case 3:
            return 1;
        case 4:
            return 2;
        case 5:
            return std::numeric_limits<std::intptr_t>::max();
        case 6:
            return std::numeric_limits<std::intptr_t>::min();
        case 7:
            return 8000;
        case 8:
            return 384000;
        case 9:
            return std::intptr_t{1} << 40;
        case 10:
            return 44100;
        default:
            return in.ConsumeIntegral<std::intptr_t>();
    }
}

inline std::int32_t pickDelta(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
            return -1;
        case 1:
            return std::numeric_limits<std::int32_t>::min();
        case 2:
            return std::numeric_limits<std::int32_t>::max();
        case 3:
            return in.ConsumeIntegral<std::int32_t>();
        case 4:
            return in.ConsumeIntegralInRange<std::int32_t>(0, 8192);
        default:
            return in.ConsumeIntegralInRange<std::int32_t>(0, 64);
    }
}

// Samples per block: mostly short, sometimes up to 8192, now and then zero or
// negative (nothing may be written then).
inline std::int32_t pickBlockSize(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
        case 0:
            return 0;
        case 1:
            return -in.ConsumeIntegralInRange<std::int32_t>(1, 1 << 20);
        case 2:
            return in.ConsumeIntegralInRange<std::int32_t>(0, 8192);
        default:
            return in.ConsumeIntegralInRange<std::int32_t>(1, 160);
    }
}

// An event list drawn from the input, built by the shared builder: most
// events are MIDI with a status the instrument knows; an empty list may claim
// a negative count.
inline VstEvents* eventsFrom(FuzzedDataProvider& in, int maxEvents, EventList& list) {
    const int n = in.ConsumeIntegralInRange<int>(0, maxEvents);
    for (int i = 0; i < n; ++i) {
        VstMidiEvent& e = list.add();
        e.type = in.ConsumeIntegralInRange<int>(0, 7) == 0 ? in.ConsumeIntegral<std::int32_t>() : kVstMidiType;
        e.deltaFrames = pickDelta(in);
        static const unsigned char kStatus[] = {0x80, 0x90, 0x90, 0xB0, 0xB0, 0xE0};
        unsigned char status = in.ConsumeIntegralInRange<int>(0, 5) == 0
                                   ? in.ConsumeIntegral<unsigned char>()
                                   : static_cast<unsigned char>(kStatus[in.ConsumeIntegralInRange<int>(0, 5)] |
                                                                in.ConsumeIntegralInRange<int>(0, 15));
        e.midiData[0] = static_cast<char>(status);
        e.midiData[1] = static_cast<char>(in.ConsumeIntegral<unsigned char>());
        e.midiData[2] = static_cast<char>(in.ConsumeIntegral<unsigned char>());
        e.midiData[3] = static_cast<char>(in.ConsumeIntegral<unsigned char>());
    }
    if (n == 0) list.forceCount(-in.ConsumeIntegralInRange<std::int32_t>(0, 3));
    return list.get();
}

// After the recovery steps (parameters at their defaults, all notes off,
// wheel and bend at rest), a note-on of key 69 at velocity 100 and `n`
// samples: it starts its pulse on the first sample (at its own pitch, at
// 44100 Hz), its voice carries nothing that is not a number or out of all
// proportion, and the engine's phases are in range.
inline void checkNewNote(const Engine& engine, const float* left, int n, bool at44100) {
    const Voice& v = engine.voice(0);
    FUZZ_CHECK(v.note == 69);
    if (at44100) {
        FUZZ_CHECK(v.phaseIncrement == 0.0012471655f);
        FUZZ_CHECK(left[0] == 0.40000004f);
    }
    FUZZ_CHECK(v.phase >= 0.0f && v.phase < 1.0f);
    FUZZ_CHECK(v.pulseCounter > -1.0f && v.pulseCounter < 0x1p40f);
    FUZZ_CHECK(v.cutCounter == 0.0f);
    for (int i = 0; i < n; ++i) FUZZ_CHECK(std::isfinite(left[i]));
    const float lfo = engine.currentLfoPhase();
    FUZZ_CHECK(lfo >= 0.0f && static_cast<double>(lfo) < 6.283185307179586);
    for (int k = 0; k < kNumVoices; ++k) {
        const Voice& other = engine.voice(k);
        if (other.note >= 0) FUZZ_CHECK(other.phase >= 0.0f && other.phase < 1.0f);
    }
}

// One instrument behind its record, with what the host has stored in each
// parameter, so that every read can be checked bit for bit.
class Instance {
public:
    Instance() : record(createQuorvelEffect(hostCallback())) {
        FUZZ_CHECK(record != nullptr);
        for (std::int32_t i = 0; i < kParamCount; ++i) storedValues[i] = record->getParameter(record, i);
    }
    ~Instance() { FUZZ_CHECK(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f) == 1); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    AEffect* effect() { return record; }
    Quorvel& plugin() { return *static_cast<Quorvel*>(static_cast<AudioEffect*>(record->object)); }
    Engine& engine() { return plugin().engine(); }

    void setParameter(std::int32_t index, float value) {
        record->setParameter(record, index, value);
        if (static_cast<std::uint32_t>(index) < kParamCount) storedValues[index] = value;
    }

    // Every parameter reads back with the bits last stored; others read 0.
    void checkParameters(std::int32_t outsideIndex) {
        for (std::int32_t i = 0; i < kParamCount; ++i) {
            const float got = record->getParameter(record, i);
            FUZZ_CHECK(std::memcmp(&got, &storedValues[i], sizeof(got)) == 0);
        }
        if (static_cast<std::uint32_t>(outsideIndex) >= kParamCount)
            FUZZ_CHECK(record->getParameter(record, outsideIndex) == 0.0f);
    }

    void processEvents(VstEvents* list) {
        FUZZ_CHECK(record->dispatcher(record, effProcessEvents, 0, 0, list, 0.0f) == 1);
    }

    // One block into buffers of exactly the block's size; nothing but finite,
    // identical samples on both channels, and the engine's phases in range.
    void render(std::int32_t frames) {
        const std::size_t n = frames > 0 ? static_cast<std::size_t>(frames) : 0;
        std::unique_ptr<float[]> left(new float[n + 1]), right(new float[n + 1]);
        left[n] = right[n] = 12345.0f;  // must stay untouched
        float* outs[2] = {left.get(), right.get()};
        record->processReplacing(record, nullptr, outs, frames);
        for (std::size_t i = 0; i < n; ++i) {
            FUZZ_CHECK(std::isfinite(left[i]));
            FUZZ_CHECK(std::memcmp(&left[i], &right[i], sizeof(float)) == 0);
        }
        FUZZ_CHECK(left[n] == 12345.0f && right[n] == 12345.0f);
        FUZZ_CHECK(engine().queue().empty());
        checkEngine(frames > 0);
    }

    void checkEngine(bool rendered) {
        const float lfo = engine().currentLfoPhase();
        FUZZ_CHECK(lfo >= 0.0f && static_cast<double>(lfo) < 6.283185307179586);
        if (!rendered) return;
        for (int k = 0; k < kNumVoices; ++k) {
            const Voice& v = engine().voice(k);
            if (v.note >= 0) FUZZ_CHECK(v.phase >= 0.0f && v.phase < 1.0f);
        }
    }

    void midi(unsigned char status, unsigned char data1, unsigned char data2) {
        EventList list;
        list.midi(0, status, data1, data2);
        processEvents(list.get());
    }

    // Whatever came before, once the host is back in range a new note plays:
    // it starts its pulse on the first sample at its own pitch, and its
    // voice carries nothing that is not a number or out of all proportion.
    void checkRecovery() {
        const float defaults[kParamCount] = {kDefaultPulseWidth, kDefaultPhaseReset,     kDefaultDetune,
                                             kDefaultNoteCut,    kDefaultVelocityTarget, kDefaultModSpeed,
                                             kDefaultModDepth,   kDefaultOutputGain};
        for (std::int32_t i = 0; i < kParamCount; ++i) setParameter(i, defaults[i]);
        answers().sampleRate = 44100;
        midi(0xB0, 123, 0);
        midi(0xB0, 1, 0);
        midi(0xE0, 0x00, 0x40);
        render(1);
        midi(0x90, 69, 100);
        float left[64], right[64];
        float* outs[2] = {left, right};
        record->processReplacing(record, nullptr, outs, 64);
        checkNewNote(engine(), left, 64, true);
    }

private:
    AEffect* record;
    float storedValues[kParamCount];
};

}  // namespace fuzz

}  // namespace quorvel
