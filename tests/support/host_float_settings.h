// Floating-point settings a host may leave on the thread that calls a
// plug-in, and a record wrapper that calls the plug-in under them: before
// every call it puts the host's settings in place, after it checks that the
// plug-in gave them back and returns to the default ones, so that the test
// itself (and a reference engine beside it) computes as usual.
#pragma once

#include <cfenv>
#include <cstdint>
#include <string>
#include <vector>

#include "abi/aeffect.h"

namespace quorvel {

enum class HostFloatSettings { FlushToZero, Downward, Upward, TowardZero, X87Single, X87Double };

inline const char* settingsName(HostFloatSettings s) {
    switch (s) {
        case HostFloatSettings::FlushToZero:
            return "flush-to-zero and denormals-are-zero";
        case HostFloatSettings::Downward:
            return "rounding downward";
        case HostFloatSettings::Upward:
            return "rounding upward";
        case HostFloatSettings::TowardZero:
            return "rounding toward zero";
        case HostFloatSettings::X87Single:
            return "x87 at 24-bit precision";
        case HostFloatSettings::X87Double:
            return "x87 at 53-bit precision";
    }
    return "?";
}

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define QUORVEL_TEST_X86 1
#endif

// The settings this target has.
inline std::vector<HostFloatSettings> hostFloatSettings() {
    std::vector<HostFloatSettings> all{HostFloatSettings::Downward, HostFloatSettings::Upward,
                                       HostFloatSettings::TowardZero};
#if QUORVEL_TEST_X86
    all.insert(all.begin(), HostFloatSettings::FlushToZero);
    all.push_back(HostFloatSettings::X87Single);
    all.push_back(HostFloatSettings::X87Double);
#endif
    return all;
}

// What the thread's settings are now, as text (status flags left out).
inline std::string currentFloatSettings() {
    std::string text = "rounding " + std::to_string(std::fegetround());
#if QUORVEL_TEST_X86
    std::uint32_t csr;
    std::uint16_t cw;
    __asm__ __volatile__("stmxcsr %0" : "=m"(csr));
    __asm__ __volatile__("fnstcw %0" : "=m"(cw));
    text += ", mxcsr " + std::to_string(csr & ~0x3Fu) + ", x87 " + std::to_string(cw);
#endif
    return text;
}

inline void applyFloatSettings(HostFloatSettings s) {
    switch (s) {
        case HostFloatSettings::Downward:
            std::fesetround(FE_DOWNWARD);
            break;
        case HostFloatSettings::Upward:
            std::fesetround(FE_UPWARD);
            break;
        case HostFloatSettings::TowardZero:
            std::fesetround(FE_TOWARDZERO);
            break;
#if QUORVEL_TEST_X86
        case HostFloatSettings::FlushToZero: {
            std::uint32_t csr;
            __asm__ __volatile__("stmxcsr %0" : "=m"(csr));
            csr |= 0x8040u;  // flush-to-zero, denormals-are-zero
            __asm__ __volatile__("ldmxcsr %0" : : "m"(csr) : "memory");
            break;
        }
        case HostFloatSettings::X87Single:
        case HostFloatSettings::X87Double: {
            const std::uint16_t cw = s == HostFloatSettings::X87Single ? 0x007F : 0x027F;
            __asm__ __volatile__("fldcw %0" : : "m"(cw) : "memory");
            break;
        }
#endif
        default:
            break;
    }
}

inline void restoreDefaultFloatSettings() {
#if QUORVEL_TEST_X86
    const std::uint32_t csr = 0x1F80;
    const std::uint16_t cw = 0x037F;
    __asm__ __volatile__("ldmxcsr %0" : : "m"(csr) : "memory");
    __asm__ __volatile__("fldcw %0" : : "m"(cw) : "memory");
#endif
    std::fesetround(FE_TONEAREST);
}

// A copy of a plug-in's record whose six functions call the plug-in's own
// under `settings`. Calls that do not give the settings back are counted in
// `unrestored` and described in `lastUnrestored`. One wrapper at a time.
class HostSettingsRecord {
    static HostSettingsRecord*& active() {
        static HostSettingsRecord* current = nullptr;
        return current;
    }
    template <class Call>
    auto call(Call c) {
        applyFloatSettings(chosen);
        const std::string before = currentFloatSettings();
        auto result = c(plugin);
        const std::string after = currentFloatSettings();
        restoreDefaultFloatSettings();
        if (after != before) {
            ++unrestored;
            lastUnrestored = "set " + before + ", got back " + after;
        }
        return result;
    }

public:
    HostSettingsRecord(AEffect* real, HostFloatSettings settings) : record(*real) {
        active() = this;
        plugin = real;
        chosen = settings;
        record.dispatcher = [](AEffect*, std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                               float opt) -> std::intptr_t {
            return active()->call([&](AEffect* e) { return e->dispatcher(e, opcode, index, value, ptr, opt); });
        };
        record.process = [](AEffect*, float** in, float** out, std::int32_t n) {
            active()->call([&](AEffect* e) { return (e->process(e, in, out, n), 0); });
        };
        record.processReplacing = [](AEffect*, float** in, float** out, std::int32_t n) {
            active()->call([&](AEffect* e) { return (e->processReplacing(e, in, out, n), 0); });
        };
        record.processDoubleReplacing = [](AEffect*, double** in, double** out, std::int32_t n) {
            active()->call([&](AEffect* e) { return (e->processDoubleReplacing(e, in, out, n), 0); });
        };
        record.setParameter = [](AEffect*, std::int32_t index, float value) {
            active()->call([&](AEffect* e) { return (e->setParameter(e, index, value), 0); });
        };
        record.getParameter = [](AEffect*, std::int32_t index) -> float {
            return active()->call([&](AEffect* e) { return e->getParameter(e, index); });
        };
    }
    ~HostSettingsRecord() { active() = nullptr; }
    HostSettingsRecord(const HostSettingsRecord&) = delete;
    HostSettingsRecord& operator=(const HostSettingsRecord&) = delete;

    AEffect* effect() { return &record; }
    int unrestored = 0;
    std::string lastUnrestored;

private:
    AEffect record;
    AEffect* plugin = nullptr;
    HostFloatSettings chosen = HostFloatSettings::Downward;
};

}  // namespace quorvel
