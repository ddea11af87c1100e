// A whole host session from one input: dispatcher requests with any opcode,
// index, value and opt (every pointer a valid buffer of the size the request
// needs), parameter changes with any bits, event lists, blocks of any size,
// and the host's answers changing in between. effClose comes only at the end.
#include "fuzz/fuzz_host.h"

using namespace quorvel;

namespace {

using fuzz::Instance;

// Opcodes worth trying most: the ones the frame knows, and a few outside.
std::int32_t pickOpcode(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
        case 0:
            return in.ConsumeIntegral<std::int32_t>();
        case 1:
            return in.ConsumeIntegralInRange<std::int32_t>(-4, 100);
        default:
            return in.ConsumeIntegralInRange<std::int32_t>(0, effGetNumMidiOutputChannels);
    }
}

std::int32_t pickIndex(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
        case 0:
            return in.ConsumeIntegral<std::int32_t>();
        case 1:
            return -in.ConsumeIntegralInRange<std::int32_t>(1, 9);
        default:
            return in.ConsumeIntegralInRange<std::int32_t>(0, 9);
    }
}

// A heap buffer of exactly the size given, so that a write past it is caught.
std::unique_ptr<char[]> buffer(std::size_t size, char fill = 0x55) {
    std::unique_ptr<char[]> b(new char[size]);
    std::memset(b.get(), fill, size);
    return b;
}

// A zero-terminated text from the input, of any length.
std::unique_ptr<char[]> text(FuzzedDataProvider& in) {
    const std::string s = in.ConsumeRandomLengthString(80);
    std::unique_ptr<char[]> t(new char[s.size() + 1]);
    std::memcpy(t.get(), s.c_str(), s.size() + 1);
    return t;
}

void dispatch(Instance& synth, FuzzedDataProvider& in) {
    AEffect* e = synth.effect();
    const std::int32_t opcode = pickOpcode(in);
    const std::int32_t index = pickIndex(in);
    std::intptr_t value = in.ConsumeIntegral<std::intptr_t>();
    const float opt = fuzz::pickFloat(in);
    if (opcode == effClose) return;  // only at the end of the session

    switch (opcode) {
        case effSetProgramName:
        case effString2Parameter:
        case effCanDo: {
            auto t = text(in);
            const std::intptr_t answer = e->dispatcher(e, opcode, index, value, t.get(), opt);
            if (opcode == effCanDo) FUZZ_CHECK(answer == 1 || answer == -1);
            return;
        }
        case effGetProgramName: {
            auto b = buffer(32);
            e->dispatcher(e, opcode, index, value, b.get(), opt);
            FUZZ_CHECK(std::memchr(b.get(), 0, 32) != nullptr);
            return;
        }
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName: {
            // The sizes a host must provide: 9 for a label, 12 for a display,
            // 17 for a name.
            const std::size_t size = opcode == effGetParamLabel ? 9 : opcode == effGetParamDisplay ? 12 : 17;
            auto b = buffer(size);
            FUZZ_CHECK(e->dispatcher(e, opcode, index, value, b.get(), opt) == 0);
            FUZZ_CHECK(std::memchr(b.get(), 0, size) != nullptr);
            return;
        }
        case effGetEffectName:
        case effGetVendorString:
        case effGetProductString:
        case effGetProgramNameIndexed:
        case effShellGetNextPlugin: {
            auto b = buffer(64);
            e->dispatcher(e, opcode, index, value, b.get(), opt);
            return;
        }
        case effProcessEvents: {
            if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
                synth.processEvents(nullptr);
                return;
            }
            EventList list;
            synth.processEvents(fuzz::eventsFrom(in, 48, list));
            return;
        }
        case effGetChunk: {
            void* data = nullptr;
            e->dispatcher(e, opcode, index, value, &data, opt);
            return;
        }
        case effSetChunk: {
            auto b = buffer(64);
            e->dispatcher(e, opcode, index, 64, b.get(), opt);
            return;
        }
        case effSetSpeakerArrangement: {
            VstSpeakerArrangement input{}, output{};
            input.numChannels = 0;
            output.numChannels = 2;
            e->dispatcher(e, opcode, index, reinterpret_cast<std::intptr_t>(&input), &output, opt);
            return;
        }
        case effGetSpeakerArrangement: {
            VstSpeakerArrangement dummy{};
            VstSpeakerArrangement* input = &dummy;
            VstSpeakerArrangement* output = &dummy;
            FUZZ_CHECK(e->dispatcher(e, opcode, index, reinterpret_cast<std::intptr_t>(&input), &output, opt) == 0);
            FUZZ_CHECK(input == nullptr && output == nullptr);
            return;
        }
        case effSetSampleRate:
        case effSetBlockSize:
        case effMainsChanged:
        case effSetProgram:
            e->dispatcher(e, opcode, index, value, nullptr, opt);
            return;
        default: {
            // Requests with opaque records (pin, parameter, MIDI program and
            // key properties, offline tasks, chunk infos) and everything
            // unknown: a zeroed buffer larger than any of those records.
            auto b = buffer(1024, 0);
            e->dispatcher(e, opcode, index, value, b.get(), opt);
            return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::answers() = fuzz::HostAnswers{};
    fuzz::answers().sampleRate = fuzz::pickRateAnswer(in);
    fuzz::answers().other = in.ConsumeIntegral<std::intptr_t>();
    {
        Instance synth;
        int steps = 0;
        while (in.remaining_bytes() > 0 && ++steps < 400) {
            switch (in.ConsumeIntegralInRange<int>(0, 11)) {
                case 0:
                case 1:
                case 2:
                    dispatch(synth, in);
                    break;
                case 3:
                case 4: {
                    const std::int32_t index =
                        in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int32_t>(0, 7) : pickIndex(in);
                    synth.setParameter(index, fuzz::pickFloat(in));
                    break;
                }
                case 5:
                    synth.checkParameters(pickIndex(in));
                    break;
                case 6: {
                    EventList list;
                    synth.processEvents(fuzz::eventsFrom(in, 24, list));
                    break;
                }
                case 7:
                case 8:
                    synth.render(fuzz::pickBlockSize(in));
                    break;
                case 9:
                    fuzz::answers().sampleRate = fuzz::pickRateAnswer(in);
                    break;
                case 10: {
                    // The entries that must do nothing.
                    float buf[4] = {1, 2, 3, 4};
                    float* outs[2] = {buf, buf + 2};
                    synth.effect()->process(synth.effect(), nullptr, outs, 2);
                    double dbuf[4] = {1, 2, 3, 4};
                    double* douts[2] = {dbuf, dbuf + 2};
                    synth.effect()->processDoubleReplacing(synth.effect(), nullptr, douts, 2);
                    FUZZ_CHECK(buf[0] == 1 && buf[3] == 4 && dbuf[0] == 1 && dbuf[3] == 4);
                    break;
                }
                default:
                    fuzz::answers().other = in.ConsumeIntegral<std::intptr_t>();
                    break;
            }
        }
        synth.checkParameters(8);
        synth.checkRecovery();
    }
    return 0;
}
