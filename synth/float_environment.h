// The floating-point settings the engine's arithmetic is written for, held
// for the length of one call from the host.
//
// Every sum and product of the engine is rounded to nearest, subnormal
// numbers take part as themselves, and the maths library's power and sine
// run at the precision they were written for. Hosts often leave other
// settings on their audio threads: flush-to-zero and denormals-are-zero,
// now and then another rounding mode, and on 32-bit Windows an x87 precision
// of 53 or even 24 bits, which changes what the library's x87 code returns.
// Each entry point therefore holds one FloatEnvironment: it puts the working
// settings in place where they differ and gives the host its own back, bit
// for bit, when the call returns. Status flags are left to accumulate; they
// are not settings.
#pragma once

#include <cstdint>
#if !((defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))) && \
    !(defined(__aarch64__) && (defined(__GNUC__) || defined(__clang__)))
#include <cfenv>
#endif

namespace quorvel {

class FloatEnvironment {
public:
    FloatEnvironment() noexcept { enter(); }
    ~FloatEnvironment() noexcept { leave(); }
    FloatEnvironment(const FloatEnvironment&) = delete;
    FloatEnvironment& operator=(const FloatEnvironment&) = delete;

private:
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
    // SSE: all exceptions masked, round to nearest, no flush-to-zero (bit
    // 15), no denormals-are-zero (bit 6); the low six bits are status flags.
    static constexpr std::uint32_t kWorkingMxcsr = 0x1F80;
    static constexpr std::uint32_t kMxcsrFlags = 0x3F;
    // x87: all exceptions masked, 64-bit precision, round to nearest.
    static constexpr std::uint16_t kWorkingX87 = 0x037F;

    std::uint32_t hostMxcsr = 0;
    std::uint16_t hostX87 = 0;
    bool mxcsrSet = false;
    bool x87Set = false;

    void enter() noexcept {
        __asm__ __volatile__("stmxcsr %0" : "=m"(hostMxcsr));
        if ((hostMxcsr & ~kMxcsrFlags) != kWorkingMxcsr) {
            const std::uint32_t working = kWorkingMxcsr | (hostMxcsr & kMxcsrFlags);
            __asm__ __volatile__("ldmxcsr %0" : : "m"(working) : "memory");
            mxcsrSet = true;
        }
        __asm__ __volatile__("fnstcw %0" : "=m"(hostX87));
        if (hostX87 != kWorkingX87) {
            __asm__ __volatile__("fldcw %0" : : "m"(kWorkingX87) : "memory");
            x87Set = true;
        }
    }
    void leave() noexcept {
        if (mxcsrSet) {
            // The host's settings with the flags raised in the meantime.
            std::uint32_t now;
            __asm__ __volatile__("stmxcsr %0" : "=m"(now) : : "memory");
            const std::uint32_t back = (hostMxcsr & ~kMxcsrFlags) | ((hostMxcsr | now) & kMxcsrFlags);
            __asm__ __volatile__("ldmxcsr %0" : : "m"(back) : "memory");
        }
        if (x87Set) __asm__ __volatile__("fldcw %0" : : "m"(hostX87) : "memory");
    }
#elif defined(__aarch64__) && (defined(__GNUC__) || defined(__clang__))
    // FPCR: rounding mode (bits 22-23), flush-to-zero (24) and its
    // half-precision form (19) cleared; the rest is the host's.
    static constexpr std::uint64_t kNonWorking = (3ull << 22) | (1ull << 24) | (1ull << 19);
    std::uint64_t hostFpcr = 0;
    bool fpcrSet = false;

    void enter() noexcept {
        __asm__ __volatile__("mrs %0, fpcr" : "=r"(hostFpcr));
        if (hostFpcr & kNonWorking) {
            const std::uint64_t working = hostFpcr & ~kNonWorking;
            __asm__ __volatile__("msr fpcr, %0" : : "r"(working) : "memory");
            fpcrSet = true;
        }
    }
    void leave() noexcept {
        if (fpcrSet) __asm__ __volatile__("msr fpcr, %0" : : "r"(hostFpcr) : "memory");
    }
#else
    // Elsewhere the rounding mode, through the standard library.
    int hostRounding = FE_TONEAREST;
    bool roundingSet = false;

    void enter() noexcept {
        hostRounding = std::fegetround();
        if (hostRounding != FE_TONEAREST) roundingSet = std::fesetround(FE_TONEAREST) == 0;
    }
    void leave() noexcept {
        if (roundingSet) std::fesetround(hostRounding);
    }
#endif
};

}  // namespace quorvel
