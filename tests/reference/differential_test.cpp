// Random host sessions played to the plug-in (through its effect record, as a
// host would) and to the reference engine side by side; every output sample
// must have the same bits.
//
// The plug-in renders with each build of its voice kernel in turn (plain
// C++, SSE2, AVX2, as far as this build and processor have them); every one
// must match.
//
// QUORVEL_DIFF_SCENARIOS: number of sessions per kernel (default 10000).
// QUORVEL_DIFF_SEED: seed of the first session (default 1); session i uses
// seed + i. A failure prints the session's seed: rerun it alone with
// QUORVEL_DIFF_SEED=<seed> QUORVEL_DIFF_SCENARIOS=1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "abi/aeffect.h"
#include "abi/vst_events.h"
#include "plugin/audio_effect.h"
#include "plugin/quorvel.h"
#include "reference/reference_engine.h"
#include "reference/session_dice.h"
#include "support/event_list.h"
#include "support/host_float_settings.h"
#include "support/recording_host.h"

using namespace quorvel;

namespace quorvel {
void PrintTo(KernelPath path, std::ostream* os) { *os << kernelName(path); }  // found by argument lookup
}  // namespace quorvel

namespace {

std::string describeMismatch(std::uint64_t seed, int block, int channel, int sample, float product, float reference) {
    std::uint32_t pb, rb;
    std::memcpy(&pb, &product, 4);
    std::memcpy(&rb, &reference, 4);
    char text[320];
    std::snprintf(text, sizeof text,
                  "session seed %" PRIu64 " (rerun: QUORVEL_DIFF_SEED=%" PRIu64
                  " QUORVEL_DIFF_SCENARIOS=1): block %d, channel %d, sample %d: plug-in %.9g (0x%08x), "
                  "reference %.9g (0x%08x)",
                  seed, seed, block, channel, sample, product, pb, reference, rb);
    return text;
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Compares the engine state the plug-in exposes for tests with the reference's.
// Output bits alone can hide a drifting phase for a long time; the state shows
// it at the end of the block in which it starts.
std::string stateDifference(const Quorvel& product, const reference::Engine& ref) {
    std::string diff;
    auto check = [&diff](const char* what, int index, float p, float r) {
        if (!sameBits(p, r)) {
            char text[160];
            std::snprintf(text, sizeof text, "%s%s[%d]: plug-in %.9g, reference %.9g", diff.empty() ? "" : "; ", what,
                          index, p, r);
            diff += text;
        }
    };
    check("lfoPhase", 0, product.engine().currentLfoPhase(), ref.currentLfoPhase());
    check("wheelDepth", 0, product.engine().currentWheelDepth(), ref.currentWheelDepth());
    check("bendSemitones", 0, product.engine().currentBendSemitones(), ref.currentBendSemitones());
    check("bendRange", 0, product.engine().currentBendRange(), ref.currentBendRange());
    check("noteVolume", 0, product.engine().currentNoteVolume(), ref.currentNoteVolume());
    check("outputBit", 0, static_cast<float>(product.engine().currentOutputBit()),
          static_cast<float>(ref.currentOutputBit()));
    for (int v = 0; v < reference::Engine::kVoiceCount; ++v) {
        const Voice& p = product.engine().voice(v);
        const reference::Engine::VoiceState& r = ref.voice(v);
        check("note", v, static_cast<float>(p.note), static_cast<float>(r.note));
        check("pitch", v, p.pitch, r.pitch);
        check("phase", v, p.phase, r.phase);
        check("phaseIncrement", v, p.phaseIncrement, r.phaseIncrement);
        check("pulseCounter", v, p.pulseCounter, r.pulseCounter);
        check("pulseLength", v, p.pulseLength, r.pulseLength);
        check("cutCounter", v, p.cutCounter, r.cutCounter);
    }
    for (int k = 0; k < 128; ++k)
        check("heldKeys", k, product.engine().keyHeld(k) ? 1.0f : 0.0f, ref.keyHeld(k) ? 1.0f : 0.0f);
    return diff;
}

struct Totals {
    std::uint64_t samples = 0;
    std::uint64_t audibleSessions = 0;
    reference::Engine::Counts counts;
    void add(const reference::Engine::Counts& c) {
        counts.notesDropped += c.notesDropped;
        counts.notesCut += c.notesCut;
        counts.allNotesOff += c.allNotesOff;
        counts.bendRangeSet += c.bendRangeSet;
        counts.periodsDoubled += c.periodsDoubled;
        counts.periodsFar += c.periodsFar;
        counts.eventsUnfired += c.eventsUnfired;
        counts.detunedVoices += c.detunedVoices;
        counts.vibratoWraps += c.vibratoWraps;
    }
};

// Plays one session; returns false (after reporting) at the first difference.
// With `settings`, every call to the plug-in is made under those host
// floating-point settings (the reference still computes under the default ones).
bool playSession(std::uint64_t seed, KernelPath path, Totals& totals, const HostFloatSettings* settings = nullptr) {
    SessionDice dice(seed);
    dice.newKeyPool();

    // A few long sessions let the vibrato oscillator wrap around its cycle.
    const bool longSession = dice.chance(1);
    // Some sessions start in the far corner of the in-range settings.
    const bool corner = !longSession && dice.chance(10);
    std::intptr_t rateAnswer = longSession ? kRates[dice.below(4)] : dice.anyRate();
    RecordingHost host([&rateAnswer](const HostCall& call) -> std::intptr_t {
        switch (call.opcode) {
            case audioMasterVersion:
                return 2400;
            case audioMasterGetSampleRate:
                return rateAnswer;
            default:
                return 0;
        }
    });
    AEffect* effect = createQuorvelEffect(RecordingHost::callback);
    if (!effect) {
        ADD_FAILURE() << "no effect record, seed " << seed;
        return false;
    }
    Quorvel* product = dynamic_cast<Quorvel*>(effectOf(effect));
    if (!product) {
        ADD_FAILURE() << "the record's object is not the instrument, seed " << seed;
        return false;
    }
    if (!product->engine().useKernel(path)) {
        ADD_FAILURE() << "kernel " << kernelName(path) << " refused, seed " << seed;
        return false;
    }
    reference::Engine ref;
    std::unique_ptr<HostSettingsRecord> wrapper;
    if (settings) {
        wrapper = std::make_unique<HostSettingsRecord>(effect, *settings);
        effect = wrapper->effect();
    }

    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    auto setRate = [&](float rate) {
        effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, rate);
        ref.setStoredSampleRate(rate);
    };
    auto setParameter = [&](std::int32_t index, float value) {
        effect->setParameter(effect, index, value);
        ref.setParameter(index, value);
    };
    if (dice.chance(50)) setRate(static_cast<float>(dice.anyRate()));
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    EventList events;
    std::vector<float> outLeft, outRight, refLeft, refRight;
    const int blocks = longSession ? dice.between(3, 6) : dice.between(1, 6);
    bool same = true, audible = false;
    for (int b = 0; b < blocks && same; ++b) {
        // Parameter changes between blocks.
        if (b == 0 || dice.chance(40)) {
            const int changes = dice.between(1, b == 0 ? 8 : 3);
            for (int c = 0; c < changes; ++c) {
                const int index = dice.below(8);
                setParameter(index, dice.parameterValue(index));
            }
            if (longSession && b == 0) setParameter(5, 0.5f + 0.5f * dice.unit());
        }
        if (dice.chance(3)) setRate(static_cast<float>(dice.anyRate()));
        if (dice.chance(10)) dice.newKeyPool();

        rateAnswer = dice.rateAnswer(rateAnswer);
        const float blockRate = rateAnswer > 0 ? static_cast<float>(rateAnswer) : ref.currentSampleRate();
        const std::int32_t frames = std::min(dice.blockSize(longSession), framesAllowedAt(blockRate));
        int lists = dice.chance(20) ? 0 : dice.between(1, dice.chance(85) ? 1 : 4);
        if (corner && b == 0) lists = std::max(lists, 1);
        for (int l = 0; l < lists; ++l) {
            events.clear();
            if (corner && b == 0 && l == 0) {
                reachExtremeCorner(dice, setParameter, [&events](std::int32_t delta, int status, int d1, int d2) {
                    VstMidiEvent& e = events.add();
                    e.deltaFrames = delta;
                    e.midiData[0] = static_cast<char>(status);
                    e.midiData[1] = static_cast<char>(d1);
                    e.midiData[2] = static_cast<char>(d2);
                });
            }
            const int count = dice.eventCount();
            for (int i = 0; i < count; ++i) dice.fill(events.add(), frames);
            VstEvents* list = events.get();
            const std::intptr_t answer = effect->dispatcher(effect, effProcessEvents, 0, 0, list, 0.0f);
            if (answer != 1) {
                ADD_FAILURE() << "effProcessEvents answered " << answer << ", seed " << seed;
                same = false;
            }
            ref.takeEvents(list);
        }

        // Guard samples after the block catch writes past sampleFrames.
        const std::size_t guard = 4;
        outLeft.assign(frames + guard, -7.0f);
        outRight.assign(frames + guard, -7.0f);
        refLeft.assign(frames + guard, -7.0f);
        refRight.assign(frames + guard, -7.0f);
        float* outputs[2] = {outLeft.data(), outRight.data()};
        float* inputs[2] = {nullptr, nullptr};
        host.calls.clear();
        effect->processReplacing(effect, inputs, outputs, frames);
        ref.render(rateAnswer, refLeft.data(), refRight.data(), frames);

        if (host.callsWith(audioMasterGetSampleRate).size() != 1) {
            ADD_FAILURE() << "block " << b << " asked the sample rate "
                          << host.callsWith(audioMasterGetSampleRate).size() << " times, seed " << seed;
            same = false;
        }
        const std::vector<float>* pairs[2][2] = {{&outLeft, &refLeft}, {&outRight, &refRight}};
        for (int ch = 0; ch < 2 && same; ++ch) {
            const std::vector<float>& p = *pairs[ch][0];
            const std::vector<float>& r = *pairs[ch][1];
            if (std::memcmp(p.data(), r.data(), (frames + guard) * sizeof(float)) != 0) {
                for (std::size_t i = 0; i < frames + guard; ++i) {
                    if (std::memcmp(&p[i], &r[i], sizeof(float)) != 0) {
                        ADD_FAILURE() << describeMismatch(seed, b, ch, static_cast<int>(i), p[i], r[i]);
                        break;
                    }
                }
                same = false;
            }
        }
        if (same) {
            const std::string diff = stateDifference(*product, ref);
            if (!diff.empty()) {
                ADD_FAILURE() << "session seed " << seed << " (rerun: QUORVEL_DIFF_SEED=" << seed
                              << " QUORVEL_DIFF_SCENARIOS=1): state after block " << b << ": " << diff;
                same = false;
            }
        }
        for (std::int32_t i = 0; i < frames && !audible; ++i) audible = refLeft[i] != 0.0f;
        totals.samples += static_cast<std::uint64_t>(frames);
    }

    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    if (wrapper && wrapper->unrestored != 0) {
        ADD_FAILURE() << wrapper->unrestored << " calls did not give back " << settingsName(*settings) << " ("
                      << wrapper->lastUnrestored << "), seed " << seed;
        same = false;
    }
    totals.add(ref.counts());
    if (audible) ++totals.audibleSessions;
    return same;
}

class Differential : public ::testing::TestWithParam<KernelPath> {};

TEST_P(Differential, RandomSessionsMatchTheReferenceBitForBit) {
    const KernelPath path = GetParam();
    if (!kernelAvailable(path)) GTEST_SKIP() << kernelName(path) << " is not available here";
    const std::uint64_t sessions = envNumber("QUORVEL_DIFF_SCENARIOS", 10000);
    const std::uint64_t firstSeed = envNumber("QUORVEL_DIFF_SEED", 1);
    Totals totals;
    std::uint64_t failures = 0;
    for (std::uint64_t i = 0; i < sessions; ++i) {
        if (!playSession(firstSeed + i, path, totals) && ++failures >= 5) {
            ADD_FAILURE() << "stopping after " << failures << " differing sessions";
            break;
        }
    }
    std::printf(
        "%s kernel: %" PRIu64 " sessions from seed %" PRIu64 ", %" PRIu64 " samples, %" PRIu64
        " audible; reference paths: %" PRIu64 " dropped notes, %" PRIu64 " cuts, %" PRIu64 " all-notes-off, %" PRIu64
        " bend ranges, %" PRIu64 " multi-period sub-steps (%" PRIu64 " of 16 or more), %" PRIu64
        " unfired events, %" PRIu64 " detuned pitch updates, %" PRIu64 " vibrato wraps\n",
        kernelName(path), sessions, firstSeed, totals.samples, totals.audibleSessions, totals.counts.notesDropped,
        totals.counts.notesCut, totals.counts.allNotesOff, totals.counts.bendRangeSet, totals.counts.periodsDoubled,
        totals.counts.periodsFar, totals.counts.eventsUnfired, totals.counts.detunedVoices, totals.counts.vibratoWraps);
    EXPECT_EQ(failures, 0u);

    // With enough sessions the generator must reach every rare path; if it
    // does not, the comparison above proves less than it seems to.
    if (sessions >= 2000) {
        EXPECT_GT(totals.audibleSessions, sessions / 4);
        EXPECT_GT(totals.counts.notesDropped, 0u);
        EXPECT_GT(totals.counts.notesCut, 0u);
        EXPECT_GT(totals.counts.allNotesOff, 0u);
        EXPECT_GT(totals.counts.bendRangeSet, 0u);
        EXPECT_GT(totals.counts.periodsDoubled, 0u);
        EXPECT_GT(totals.counts.periodsFar, 0u);
        EXPECT_GT(totals.counts.eventsUnfired, 0u);
        EXPECT_GT(totals.counts.detunedVoices, 0u);
        EXPECT_GT(totals.counts.vibratoWraps, 0u);
    }
}

// Hosts leave their own floating-point settings on the audio thread: the
// sound must not change with them, and each call must give them back.
TEST_P(Differential, HostFloatSettingsChangeNothing) {
    const KernelPath path = GetParam();
    if (!kernelAvailable(path)) GTEST_SKIP() << kernelName(path) << " is not available here";
    const std::uint64_t sessions = envNumber("QUORVEL_DIFF_SCENARIOS", 10000) / 20 + 1;
    for (const HostFloatSettings settings : hostFloatSettings()) {
        SCOPED_TRACE(settingsName(settings));
        Totals totals;
        int failures = 0;
        for (std::uint64_t seed = 1; seed <= sessions && failures < 3; ++seed)
            if (!playSession(seed, path, totals, &settings)) ++failures;
        EXPECT_EQ(failures, 0);
    }
}

// Every voice's pitch moving on every sample, as fast as in-range settings
// move it (the fastest, deepest vibrato at the lowest rate, with bends across
// a 24-semitone range twice a block) and as slowly (the highest rate): long
// stretches in which each power of two is worked out from the one before.
TEST_P(Differential, MovingPitchMatchesTheReference) {
    const KernelPath path = GetParam();
    if (!kernelAvailable(path)) GTEST_SKIP() << kernelName(path) << " is not available here";
    for (const std::intptr_t rate : {std::intptr_t{8000}, std::intptr_t{44100}, std::intptr_t{384000}}) {
        SCOPED_TRACE(rate);
        RecordingHost host([rate](const HostCall& call) -> std::intptr_t {
            return call.opcode == audioMasterVersion ? 2400 : call.opcode == audioMasterGetSampleRate ? rate : 0;
        });
        AEffect* effect = createQuorvelEffect(RecordingHost::callback);
        ASSERT_NE(effect, nullptr);
        Quorvel* product = dynamic_cast<Quorvel*>(effectOf(effect));
        ASSERT_NE(product, nullptr);
        ASSERT_TRUE(product->engine().useKernel(path));
        reference::Engine ref;
        const float params[][2] = {{0, 0.3f}, {2, 0.9f}, {5, 1.0f}, {6, 1.0f}};
        for (const auto& p : params) {
            effect->setParameter(effect, static_cast<std::int32_t>(p[0]), p[1]);
            ref.setParameter(static_cast<std::int32_t>(p[0]), p[1]);
        }

        EventList events;
        std::vector<float> left(2048), right(2048), refLeft(2048), refRight(2048);
        for (int b = 0; b < 12; ++b) {
            events.clear();
            auto add = [&events](std::int32_t delta, int status, int d1, int d2) {
                VstMidiEvent& e = events.add();
                e.deltaFrames = delta;
                e.midiData[0] = static_cast<char>(status);
                e.midiData[1] = static_cast<char>(d1);
                e.midiData[2] = static_cast<char>(d2);
            };
            if (b == 0) {
                add(0, 0xB0, 101, 0);
                add(0, 0xB0, 100, 0);
                add(0, 0xB0, 6, 48);
                add(0, 0xB0, 1, 127);
                for (int v = 0; v < 8; ++v) add(v, 0x90, 30 + 9 * v, 100);
            }
            for (std::int32_t delta : {0, 1000}) {
                const int bend = (b * 5741 + delta * 7) % 16384;
                add(delta, 0xE0, bend & 0x7F, bend >> 7);
            }
            VstEvents* list = events.get();
            effect->dispatcher(effect, effProcessEvents, 0, 0, list, 0.0f);
            ref.takeEvents(list);
            float* outputs[2] = {left.data(), right.data()};
            effect->processReplacing(effect, nullptr, outputs, 2048);
            ref.render(rate, refLeft.data(), refRight.data(), 2048);
            for (std::size_t i = 0; i < left.size(); ++i) {
                ASSERT_TRUE(sameBits(left[i], refLeft[i]) && sameBits(right[i], refRight[i]))
                    << "block " << b << ", sample " << i << ": plug-in " << left[i] << ", reference " << refLeft[i];
            }
            const std::string diff = stateDifference(*product, ref);
            ASSERT_TRUE(diff.empty()) << "after block " << b << ": " << diff;
        }
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
}

// With no voice playing the vibrato phase is counted on many samples at a
// time; it must land where the reference's sample-by-sample count does, for
// speeds from none to the fastest, increments lost in rounding, and
// increments lying exactly halfway between two floats of a binade the phase
// passes through (where the rounding alternates).
TEST(VibratoPhase, IdleBlocksEndWhereTheReferenceCountsTo) {
    std::vector<std::pair<float, std::intptr_t>> cases;
    for (const std::intptr_t rate :
         {std::intptr_t{8000}, std::intptr_t{44100}, std::intptr_t{96000}, std::intptr_t{384000}}) {
        for (float speed : {0.0f, 1e-30f, 1e-6f, 0.001f, 0.05f, 0.5f, 0.77f, 1.0f}) cases.push_back({speed, rate});
        // Speeds whose increment (worked out as the engine does) has its
        // lowest bit at 2^-23 .. 2^-26: half the spacing of the floats
        // in [0.5, 8), so that a phase crossing those binades meets ties.
        int found = 0;
        for (int i = 1; i <= 200000 && found < 3; ++i) {
            const float speed = static_cast<float>(i) / 200000.0f;
            float lfo = speed * 24.0f;
            lfo = lfo / static_cast<float>(rate);
            const float increment = lfo * 3.1415927f;
            int e = 0;
            const double mantissa = std::frexp(static_cast<double>(increment), &e);
            const double scaled = std::ldexp(mantissa, 24);  // the 24 significant bits as an integer
            int low = 0;
            while (low < 24 && std::fmod(scaled, std::ldexp(1.0, low + 1)) == 0.0) ++low;
            const int lowestBit = e - 24 + low;
            if (lowestBit >= -26 && lowestBit <= -23) {
                cases.push_back({speed, rate});
                ++found;
            }
        }
    }
    const std::int32_t blockSizes[] = {1, 7, 128, 129, 1000, 4099};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "speed " << c.first << ", rate " << c.second);
        const std::intptr_t rate = c.second;
        RecordingHost host([rate](const HostCall& call) -> std::intptr_t {
            return call.opcode == audioMasterVersion ? 2400 : call.opcode == audioMasterGetSampleRate ? rate : 0;
        });
        AEffect* effect = createQuorvelEffect(RecordingHost::callback);
        ASSERT_NE(effect, nullptr);
        const Quorvel* product = dynamic_cast<const Quorvel*>(effectOf(effect));
        ASSERT_NE(product, nullptr);
        reference::Engine ref;
        effect->setParameter(effect, 5, c.first);
        ref.setParameter(5, c.first);
        std::vector<float> left(4099), right(4099), refLeft(4099), refRight(4099);
        float* outputs[2] = {left.data(), right.data()};
        // Enough blocks for the slowest speeds here to wrap the phase.
        const int blocks = 40;
        for (int b = 0; b < blocks; ++b) {
            const std::int32_t frames = blockSizes[b % 6];
            effect->processReplacing(effect, nullptr, outputs, frames);
            ref.render(rate, refLeft.data(), refRight.data(), frames);
            ASSERT_TRUE(sameBits(product->engine().currentLfoPhase(), ref.currentLfoPhase()))
                << "block " << b << ": plug-in " << product->engine().currentLfoPhase() << ", reference "
                << ref.currentLfoPhase();
        }
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Kernel, Differential,
                         ::testing::Values(KernelPath::Scalar, KernelPath::Sse2, KernelPath::Avx2),
                         [](const ::testing::TestParamInfo<KernelPath>& info) {
                             return std::string(kernelName(info.param));
                         });

}  // namespace
