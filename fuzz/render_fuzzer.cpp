// The engine under awkward input: parameter values of any bits, sample rates
// the host sets or answers (zero, negative, NaN, one, huge), MIDI of any
// bytes and offsets, blocks of 0 to 8192 samples. Every block must finish,
// write only finite samples and leave the phases in range, and at the end a
// new note must play once the host is back in range.
#include "fuzz/fuzz_host.h"

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::answers() = fuzz::HostAnswers{};
    fuzz::answers().sampleRate = fuzz::pickRateAnswer(in);
    {
        fuzz::Instance synth;
        AEffect* e = synth.effect();
        int steps = 0;
        while (in.remaining_bytes() > 0 && ++steps < 300) {
            switch (in.ConsumeIntegralInRange<int>(0, 7)) {
                case 0:
                case 1:
                    synth.setParameter(in.ConsumeIntegralInRange<std::int32_t>(0, 7), fuzz::pickFloat(in));
                    break;
                case 2: {
                    EventList list;
                    synth.processEvents(fuzz::eventsFrom(in, 64, list));
                    break;
                }
                case 3:
                case 4:
                    synth.render(fuzz::pickBlockSize(in));
                    break;
                case 5:
                    fuzz::answers().sampleRate = fuzz::pickRateAnswer(in);
                    break;
                case 6:
                    // The host sets the rate itself (and may then answer 0, so
                    // that the stored rate stays in force).
                    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, fuzz::pickFloat(in));
                    break;
                default:
                    synth.checkParameters(in.ConsumeIntegral<std::int32_t>());
                    break;
            }
        }
        synth.checkParameters(-1);
        synth.checkRecovery();
    }
    return 0;
}
