// The number-to-text helpers with any value, any length limit and any sample
// rate, each writing into a buffer of exactly limit + 1 bytes: the text must
// be terminated inside it and hold at most limit characters.
#include "fuzz/fuzz_host.h"

using namespace quorvel;

namespace {

void checkText(const char* text, std::int32_t maxLen) {
    const std::size_t limit = maxLen > 0 ? static_cast<std::size_t>(maxLen) : 0;
    const void* end = std::memchr(text, 0, limit + 1);
    FUZZ_CHECK(end != nullptr);
    for (const char* c = text; c != end; ++c) FUZZ_CHECK(*c >= 0x20 && *c < 0x7F);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::answers() = fuzz::HostAnswers{};
    fuzz::Instance synth;
    AudioEffect& frame = synth.plugin();
    while (in.remaining_bytes() > 0) {
        const int which = in.ConsumeIntegralInRange<int>(0, 5);
        const std::int32_t maxLen = in.ConsumeIntegralInRange<int>(0, 7) == 0 ? in.ConsumeIntegral<std::int32_t>()
                                                                              : in.ConsumeIntegralInRange<int>(-2, 24);
        if (maxLen > 4096) continue;  // a host's buffers are short
        const std::size_t bytes = (maxLen > 0 ? static_cast<std::size_t>(maxLen) : 0) + 1;
        std::unique_ptr<char[]> text(new char[bytes]);
        std::memset(text.get(), 0x55, bytes);
        const float value = fuzz::pickFloat(in);
        switch (which) {
            case 0:
                frame.float2string(value, text.get(), maxLen);
                break;
            case 1:
                frame.dB2string(value, text.get(), maxLen);
                break;
            case 2:
                frame.Hz2string(value, text.get(), maxLen);
                break;
            case 3:
                frame.ms2string(value, text.get(), maxLen);
                break;
            case 4:
                frame.int2string(in.ConsumeIntegral<std::int32_t>(), text.get(), maxLen);
                break;
            default:
                frame.setSampleRate(value);  // what Hz2string and ms2string divide by
                continue;
        }
        checkText(text.get(), maxLen);
    }
    return 0;
}
