// The LV2 instrument through its descriptor under awkward input: any sample
// rate at instantiation, control ports of any bits (NaN, infinities, huge),
// atom sequences of any events (sizes, types, frames out of order or out of
// range, events cut short by the sequence's end, times in beats, buffers
// that are no sequence, more events than the queue holds), runs of 0 to 8192
// frames, activate() at any time, ports connected and disconnected. Every run
// must write exactly its frames, finite and alike on both channels, leave the
// queue empty and the phases in range; at the end a new note must play once
// the host is back in range, as in the VST 2.4 targets.
#include <cfloat>

#include "fuzz/fuzz_host.h"
#include "support/lv2_instance.h"

using namespace quorvel;

namespace {

double pickRate(FuzzedDataProvider& in) {
    static const double kRates[] = {44100.0,  48000.0, 96000.0,  8000.0, 1.0,   0.0,
                                    -44100.0, NAN,     INFINITY, 1e300,  1e-50, 768000.0};
    return kRates[in.ConsumeIntegralInRange<int>(0, 11)];
}

// The rate the engine runs at is 44100 Hz (its own fallback for a rate that
// is no usable float) or another one.
bool runsAt44100(double rate) {
    return !(rate > 0.0 && rate <= FLT_MAX && static_cast<float>(rate) > 0.0f) || static_cast<float>(rate) == 44100.0f;
}

std::int64_t pickFrame(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
            return -1;
        case 1:
            return std::numeric_limits<std::int64_t>::min();
        case 2:
            return std::numeric_limits<std::int64_t>::max();
        case 3:
            return in.ConsumeIntegral<std::int64_t>();
        case 4:
            return in.ConsumeIntegralInRange<std::int64_t>(0, 8192);
        default:
            return in.ConsumeIntegralInRange<std::int64_t>(0, 64);
    }
}

// A sequence drawn from the input: mostly MIDI events of the kinds the
// instrument knows, now and then other types and sizes, a last event that
// claims more bytes than follow, a burst beyond the queue's room, times in
// beats or a buffer of another type.
void writeSequence(FuzzedDataProvider& in, Lv2Instance& synth) {
    AtomSequence& s = synth.input;
    const int n = in.ConsumeIntegralInRange<int>(0, 48);
    for (int i = 0; i < n; ++i) {
        static const std::uint8_t kStatus[] = {0x80, 0x90, 0x90, 0xB0, 0xB0, 0xE0};
        std::uint8_t bytes[6];
        bytes[0] = in.ConsumeIntegralInRange<int>(0, 5) == 0
                       ? in.ConsumeIntegral<std::uint8_t>()
                       : static_cast<std::uint8_t>(kStatus[in.ConsumeIntegralInRange<int>(0, 5)] |
                                                   in.ConsumeIntegralInRange<int>(0, 15));
        for (int b = 1; b < 6; ++b) bytes[b] = in.ConsumeIntegral<std::uint8_t>();
        const LV2_URID type =
            in.ConsumeIntegralInRange<int>(0, 9) == 0 ? in.ConsumeIntegral<LV2_URID>() : s.midiEventType();
        const std::uint32_t size = in.ConsumeIntegralInRange<int>(0, 7) == 0 ? in.ConsumeIntegralInRange<int>(0, 6) : 3;
        s.event(pickFrame(in), type, bytes, size);
    }
    switch (in.ConsumeIntegralInRange<int>(0, 15)) {
        case 0: {
            const std::uint8_t note[3] = {0x90, 60, 100};
            s.event(0, s.midiEventType(), note, 3, in.ConsumeIntegral<std::uint32_t>());
            break;
        }
        case 1: {
            // More events than the queue holds, in groups at rising frames.
            if (s.events() > 4 * lv2::kEventCapacity) break;
            const int groups = in.ConsumeIntegralInRange<int>(1, 64);
            const int step = in.ConsumeIntegralInRange<int>(0, 200);
            const int total = lv2::kEventCapacity + in.ConsumeIntegralInRange<int>(1, 600);
            for (int i = 0; i < total; ++i)
                s.midi(static_cast<std::int64_t>(i * groups / total) * step, i % 3 ? 0x90 : 0x80, 40 + i % 50,
                       1 + i % 127);
            break;
        }
        case 2:
            s.setUnit(synth.map.map(LV2_UNITS__beat));
            break;
        case 3:
            s.setType(in.ConsumeIntegral<LV2_URID>());
            break;
        default:
            break;
    }
}

// One run into buffers of exactly its length.
void run(Lv2Instance& synth, std::uint32_t frames, bool connectMidi) {
    std::unique_ptr<float[]> left(new float[frames + 1]), right(new float[frames + 1]);
    left[frames] = right[frames] = 12345.0f;  // must stay untouched
    if (connectMidi)
        synth.run(frames, left.get(), right.get());
    else
        synth.run(frames, left.get(), right.get(), nullptr);
    synth.input.clear();
    for (std::uint32_t i = 0; i < frames; ++i) {
        FUZZ_CHECK(std::isfinite(left[i]));
        FUZZ_CHECK(std::memcmp(&left[i], &right[i], sizeof(float)) == 0);
    }
    FUZZ_CHECK(left[frames] == 12345.0f && right[frames] == 12345.0f);
    const Engine* engine = lv2::engineOf(synth.handle);
    FUZZ_CHECK(engine && engine->queue().empty());
    FUZZ_CHECK(engine->queue().capacity() >= static_cast<std::size_t>(lv2::kEventCapacity));
    const float lfo = engine->currentLfoPhase();
    FUZZ_CHECK(lfo >= 0.0f && static_cast<double>(lfo) < 6.283185307179586);
}

void checkRecovery(Lv2Instance& synth, bool at44100) {
    run(synth, 64, true);  // the host plays what it wrote, then comes back in range
    for (std::int32_t i = 0; i < kParamCount; ++i) {
        synth.controls[i] = kParamDefaults[i];
        synth.descriptor->connect_port(synth.handle, lv2::parameterPort(i), &synth.controls[i]);
    }
    synth.input.midi(0, 0xB0, 123, 0).midi(0, 0xB0, 1, 0).midi(0, 0xE0, 0x00, 0x40);
    run(synth, 1, true);
    synth.input.midi(0, 0x90, 69, 100);
    float left[64], right[64];
    synth.run(64, left, right);
    fuzz::checkNewNote(*lv2::engineOf(synth.handle), left, 64, at44100);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const double rate = pickRate(in);
    Lv2Instance synth(rate);
    FUZZ_CHECK(static_cast<bool>(synth));
    int steps = 0;
    while (in.remaining_bytes() > 0 && ++steps < 200) {
        switch (in.ConsumeIntegralInRange<int>(0, 7)) {
            case 0:
            case 1:
                synth.controls[in.ConsumeIntegralInRange<int>(0, kParamCount - 1)] = fuzz::pickFloat(in);
                break;
            case 2:
                writeSequence(in, synth);
                break;
            case 3:
            case 4: {
                const std::int32_t frames = fuzz::pickBlockSize(in);
                run(synth, frames > 0 ? static_cast<std::uint32_t>(frames) : 0, in.ConsumeBool());
                break;
            }
            case 5:
                synth.activate();
                break;
            default: {
                // A control port disconnected (its last value stays) or connected again.
                const std::int32_t i = in.ConsumeIntegralInRange<int>(0, kParamCount - 1);
                synth.descriptor->connect_port(synth.handle, lv2::parameterPort(i),
                                               in.ConsumeBool() ? nullptr : &synth.controls[i]);
                break;
            }
        }
    }
    checkRecovery(synth, runsAt44100(rate));
    return 0;
}
