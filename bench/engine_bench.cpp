// Rendering speed of the VST 2.4 plug-in (driven through its effect record, as
// a host drives it), of the LV2 instrument (through its descriptor) and of the
// reference engine, case by case in one run.
//
// Each case reports two counters: cpu_per_audio (seconds of CPU per second of
// audio produced) and x_realtime (seconds of audio per second of CPU). After
// the run a table sets the three side by side.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "abi/aeffect.h"
#include "abi/vst_events.h"
#include "plugin/quorvel.h"
#include "reference/reference_engine.h"
#include "support/event_list.h"
#include "support/lv2_instance.h"
#include "support/recording_host.h"

using namespace quorvel;

namespace {

constexpr std::int32_t kBlock = 512;

// Case names in the order they are registered, for the summary table.
std::vector<std::string> caseOrder;

// The sample rate the host answers; one benchmark runs at a time.
std::intptr_t hostRate = 44100;

// The host the plug-in side sees: it answers the version and hostRate, and
// records nothing.
std::intptr_t hostAnswer(const HostCall& call) {
    return call.opcode == audioMasterGetSampleRate ? hostRate : RecordingHost::defaultAnswer(call);
}

struct Case {
    std::intptr_t rate;
    int voices;          // notes held from the start
    bool vibrato;        // wheel fully up, and a bend that moves every block
    int eventsPerBlock;  // further events queued for every block
    bool notePairs;      // those events note-on/note-off pairs on random keys
};

// Dense note traffic as a host sends it: eventsPerBlock / 2 pairs, each a
// note-on on a random key with a random velocity and its note-off 0 to 16
// frames later, the whole list in frame order (a pair's note-on before its
// note-off on the same frame). At 4096 events four notes start on every
// frame and about 32 keys are down at a time, so voices are taken, refused
// and freed all the time. Four different lists, one per block in turn.
std::vector<EventList> notePairLists(int eventsPerBlock) {
    struct Timed {
        std::int32_t frame;
        std::uint8_t status, key, velocity;
    };
    std::vector<EventList> lists(4);
    std::mt19937 dice(17);
    for (EventList& list : lists) {
        std::vector<Timed> events;
        for (int i = 0; i < eventsPerBlock / 2; ++i) {
            const auto key = static_cast<std::uint8_t>(dice() % 128);
            const std::int32_t on = static_cast<std::int32_t>(dice() % kBlock);
            const std::int32_t off = std::min<std::int32_t>(on + static_cast<std::int32_t>(dice() % 17), kBlock - 1);
            events.push_back({on, 0x90, key, static_cast<std::uint8_t>(1 + dice() % 127)});
            events.push_back({off, 0x80, key, 64});
        }
        std::stable_sort(events.begin(), events.end(),
                         [](const Timed& a, const Timed& b) { return a.frame < b.frame; });
        for (const Timed& e : events) list.midi(e.frame, e.status, e.key, e.velocity);
    }
    return lists;
}

// The plug-in as a host sees it.
class PluginSide {
public:
    PluginSide() : effect(createQuorvelEffect(RecordingHost::callback)) {
        effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
        effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    }
    ~PluginSide() {
        effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
    void events(VstEvents* list) { effect->dispatcher(effect, effProcessEvents, 0, 0, list, 0.0f); }
    void render(float* left, float* right, std::int32_t frames) {
        float* outputs[2] = {left, right};
        effect->processReplacing(effect, nullptr, outputs, frames);
    }

private:
    AEffect* effect;
};

// The LV2 instrument as a host sees it. The event lists of a block become one
// atom sequence, written once per combination of lists (as a host writes its
// sequences outside the plug-in's time) and reused.
class Lv2Side {
public:
    Lv2Side() : synth(static_cast<double>(hostRate)) {}
    void events(VstEvents* list) { pending.push_back(list); }
    void render(float* left, float* right, std::int32_t frames) {
        synth.run(static_cast<std::uint32_t>(frames), left, right, sequenceFor(pending));
        pending.clear();
    }

private:
    const LV2_Atom_Sequence* sequenceFor(const std::vector<VstEvents*>& lists) {
        for (auto& [key, sequence] : written)
            if (key == lists) return sequence->get();
        auto sequence = std::make_unique<AtomSequence>(synth.map);
        for (VstEvents* list : lists) {
            VstEvent* const* slots = eventSlots(list);
            for (std::int32_t i = 0; i < list->numEvents; ++i) {
                const auto* midi = reinterpret_cast<const VstMidiEvent*>(slots[i]);
                sequence->midi(midi->deltaFrames, static_cast<std::uint8_t>(midi->midiData[0]),
                               static_cast<std::uint8_t>(midi->midiData[1]),
                               static_cast<std::uint8_t>(midi->midiData[2]));
            }
        }
        written.emplace_back(lists, std::move(sequence));
        return written.back().second->get();
    }

    Lv2Instance synth;
    std::vector<VstEvents*> pending;
    std::vector<std::pair<std::vector<VstEvents*>, std::unique_ptr<AtomSequence>>> written;
};

class ReferenceSide {
public:
    void events(VstEvents* list) { engine.takeEvents(list); }
    void render(float* left, float* right, std::int32_t frames) { engine.render(hostRate, left, right, frames); }

private:
    reference::Engine engine;
};

template <class Side>
void renderCase(benchmark::State& state, Case c) {
    hostRate = c.rate;
    RecordingHost host(hostAnswer, RecordingHost::Recording::Off);
    Side side;
    std::vector<float> left(kBlock), right(kBlock);

    // Start the held notes in a block of their own, outside the measurement.
    EventList start;
    for (int v = 0; v < c.voices; ++v) start.midi(0, 0x90, static_cast<std::uint8_t>(48 + 5 * v), 100);
    if (c.vibrato) start.midi(0, 0xB0, 1, 127);
    if (!start.empty()) side.events(start.get());
    side.render(left.data(), right.data(), kBlock);

    // Bends sweeping the whole range, one list per block.
    std::vector<EventList> bends(c.vibrato ? 64 : 0);
    for (std::size_t i = 0; i < bends.size(); ++i) {
        const int b = static_cast<int>(i * 16383 / (bends.size() - 1));
        bends[i].midi(0, 0xE0, static_cast<std::uint8_t>(b & 0x7F), static_cast<std::uint8_t>(b >> 7));
    }
    std::vector<EventList> pairs = c.notePairs ? notePairLists(c.eventsPerBlock) : std::vector<EventList>{};
    std::vector<VstEvents*> pairLists;
    for (EventList& l : pairs) pairLists.push_back(l.get());

    // A dense block: bends, wheel moves and a ninth key going down and up,
    // spread over the block; none of it changes which voices sound.
    EventList dense;
    for (int i = 0; i < (c.notePairs ? 0 : c.eventsPerBlock); ++i) {
        const std::int32_t delta = static_cast<std::int32_t>(static_cast<std::int64_t>(i) * kBlock / c.eventsPerBlock);
        switch (i % 8) {
            case 0:
                dense.midi(delta, 0x90, 100, 64);
                break;
            case 4:
                dense.midi(delta, 0x80, 100, 0);
                break;
            case 2:
            case 6:
                dense.midi(delta, 0xB0, 1, static_cast<std::uint8_t>(i % 128));
                break;
            default:
                dense.midi(delta, 0xE0, static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(32 + i % 64));
        }
    }
    VstEvents* denseList = dense.empty() ? nullptr : dense.get();
    std::vector<VstEvents*> bendLists;
    for (EventList& l : bends) bendLists.push_back(l.get());

    std::size_t block = 0;
    for (auto _ : state) {
        if (!bendLists.empty()) side.events(bendLists[block % bendLists.size()]);
        if (denseList) side.events(denseList);
        if (!pairLists.empty()) side.events(pairLists[block % pairLists.size()]);
        side.render(left.data(), right.data(), kBlock);
        benchmark::DoNotOptimize(left.data());
        benchmark::ClobberMemory();
        ++block;
    }
    const double audioSeconds = static_cast<double>(state.iterations()) * kBlock / static_cast<double>(c.rate);
    state.counters["cpu_per_audio"] =
        benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["x_realtime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}

// Prints the usual console lines, then the plug-in and the reference of every
// case on one line with the reference's time over the plug-in's.
class SideBySideReporter : public benchmark::ConsoleReporter {
public:
    explicit SideBySideReporter(OutputOptions options) : ConsoleReporter(options) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            const std::string name = run.run_name.function_name;  // "<case>/plugin", "<case>/lv2" or "<case>/reference"
            const std::size_t slash = name.rfind('/');
            if (slash == std::string::npos) continue;
            const std::string caseName = name.substr(0, slash), side = name.substr(slash + 1);
            auto it = run.counters.find("cpu_per_audio");
            if (it == run.counters.end()) continue;
            results[caseName][side] = it->second.value;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::FILE* out = stdout;
        std::fprintf(out, "\n%-28s %11s %11s %11s %11s %11s %9s %9s\n", "case (CPU s per audio s)", "VST 2.4", "LV2",
                     "reference", "VST 2.4 xRT", "LV2 xRT", "ref/plug", "LV2/VST");
        const auto inverse = [](double x) { return x > 0 ? 1.0 / x : 0.0; };
        for (const std::string& c : caseOrder) {
            if (!results.count(c)) continue;  // filtered out
            const auto& r = results[c];
            const double p = r.count("plugin") ? r.at("plugin") : 0.0;
            const double l = r.count("lv2") ? r.at("lv2") : 0.0;
            const double f = r.count("reference") ? r.at("reference") : 0.0;
            std::fprintf(out, "%-28s %11.3e %11.3e %11.3e %11.1f %11.1f %9.2f %9.2f\n", c.c_str(), p, l, f, inverse(p),
                         inverse(l), p > 0 ? f / p : 0.0, p > 0 ? l / p : 0.0);
        }
    }

private:
    std::map<std::string, std::map<std::string, double>> results;
};

void registerCase(const char* name, Case c) {
    caseOrder.push_back(name);
    benchmark::RegisterBenchmark((std::string(name) + "/plugin").c_str(), renderCase<PluginSide>, c);
    benchmark::RegisterBenchmark((std::string(name) + "/lv2").c_str(), renderCase<Lv2Side>, c);
    benchmark::RegisterBenchmark((std::string(name) + "/reference").c_str(), renderCase<ReferenceSide>, c);
}

}  // namespace

int main(int argc, char** argv) {
    registerCase("idle", Case{44100, 0, false, 0, false});
    registerCase("1_voice", Case{44100, 1, false, 0, false});
    registerCase("8_voices", Case{44100, 8, false, 0, false});
    registerCase("8_voices_vibrato_bend", Case{44100, 8, true, 0, false});
    registerCase("8_voices_96k", Case{96000, 8, false, 0, false});
    registerCase("8_voices_16_events", Case{44100, 8, false, 16, false});
    registerCase("8_voices_256_events", Case{44100, 8, false, 256, false});
    registerCase("8_voices_4096_events", Case{44100, 8, false, 4096, false});
    registerCase("note_pairs_256_events", Case{44100, 0, false, 256, true});
    registerCase("note_pairs_1024_events", Case{44100, 0, false, 1024, true});
    registerCase("note_pairs_4096_events", Case{44100, 0, false, 4096, true});

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Colours only on a terminal, so that saved output stays plain text.
    SideBySideReporter reporter(isatty(fileno(stdout)) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                       : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
