// Number-to-text helpers for parameter displays.
//
// Every helper writes into a caller's buffer of maxLen + 1 bytes: a text of at
// most maxLen characters, zeros from the end of the text through position
// maxLen, and nothing beyond. A negative limit counts as 0 (an empty text).
// Nothing here allocates; digits are built in a small scratch on the stack.
//
// Inputs the fixed eight-character form cannot show get a defined text instead
// of digits:
// - a NaN shows "NaN" (infinities are covered by the overflow rule: "Huge!",
//   or "-oo" for a gain of minus infinity);
// - float2string: a number whose integer digits do not fit the eight
//   characters together with the point (and the sign) shows "Huge!", like a
//   number beyond the overflow bound, rather than losing its leading digit;
//   the first such values are 10,000,000 and -1,000,000;
// - int2string: -1,000,000,000 and below (the most negative value included)
//   show "Huge!", like 100,000,000 and above.
#include <cfloat>
#include <cmath>

#include "plugin/audio_effect.h"

namespace quorvel {

namespace {

constexpr char kHuge[] = "Huge!";
constexpr char kMinusInfinity[] = "-oo";
constexpr char kNotANumber[] = "NaN";

// Copies at most maxLen characters of source and zeros the rest of the
// buffer through position maxLen.
void boundedCopy(char* text, const char* source, std::int32_t maxLen) {
    std::int32_t n = 0;
    for (; n < maxLen && source[n] != 0; ++n) text[n] = source[n];
    for (; n <= maxLen; ++n) text[n] = 0;
}

// Appends as much of source as fits within maxLen characters in all and
// terminates the text.
void boundedAppend(char* text, const char* source, std::int32_t maxLen) {
    std::int32_t n = 0;
    while (n < maxLen && text[n] != 0) ++n;
    for (; n < maxLen && *source != 0; ++n, ++source) text[n] = *source;
    text[n] = 0;
}

std::int32_t clampLimit(std::int32_t maxLen) { return maxLen < 0 ? 0 : maxLen; }

// A single-precision result of a double computation; values beyond the float
// range become infinities explicitly instead of by an out-of-range conversion.
float toFloat(double d) {
    if (d > FLT_MAX) return INFINITY;
    if (d < -FLT_MAX) return -INFINITY;
    return static_cast<float>(d);
}

}  // namespace

void AudioEffect::dB2string(float value, char* text, std::int32_t maxLen) {
    if (!text) return;
    maxLen = clampLimit(maxLen);
    if (value <= 0.0f) {
        boundedCopy(text, kMinusInfinity, maxLen);
        return;
    }
    // NaN is not <= 0 and reaches float2string, which shows it as such.
    float2string(static_cast<float>(20.0 * std::log10(static_cast<double>(value))), text, maxLen);
}

void AudioEffect::Hz2string(float samples, char* text, std::int32_t maxLen) {
    if (!text) return;
    maxLen = clampLimit(maxLen);
    const float rate = getSampleRate();
    if (samples == 0.0f)
        float2string(0.0f, text, maxLen);
    else
        float2string(rate / samples, text, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, std::int32_t maxLen) {
    if (!text) return;
    maxLen = clampLimit(maxLen);
    const float rate = getSampleRate();
    float2string(toFloat(static_cast<double>(samples) * 1000.0 / static_cast<double>(rate)), text, maxLen);
}

void AudioEffect::float2string(float value, char* text, std::int32_t maxLen) {
    if (!text) return;
    maxLen = clampLimit(maxLen);
    constexpr std::int32_t kWidth = 8;  // sign, integer digits, point and fraction digits

    double v = value;
    if (std::isnan(v)) {
        boundedCopy(text, kNotANumber, maxLen);
        return;
    }
    const bool negative = v < 0.0;
    if (negative) v = -v;
    if ((negative && v > 9999999.0) || (!negative && v > 99999999.0)) {
        boundedCopy(text, kHuge, maxLen);
        return;
    }

    // Integer part, right to left: "-", digits, "." in the tail of the scratch.
    char scratch[32];
    std::int32_t pos = sizeof(scratch) - 1;
    scratch[pos] = 0;
    scratch[--pos] = '.';
    std::int32_t count = negative ? 2 : 1;
    double i = std::floor(v);
    scratch[--pos] = static_cast<char>('0' + static_cast<int>(std::fmod(i, 10.0)));
    i = i / 10.0;
    ++count;
    while (i >= 1.0 && count < kWidth) {
        scratch[--pos] = static_cast<char>('0' + static_cast<int>(std::fmod(i, 10.0)));
        i = i / 10.0;
        ++count;
    }
    if (i >= 1.0) {
        // Digits left over: the number does not fit the eight characters.
        boundedCopy(text, kHuge, maxLen);
        return;
    }
    if (negative) scratch[--pos] = '-';
    boundedCopy(text, scratch + pos, maxLen);
    if (count >= kWidth) return;

    // Fraction digits, cut and not rounded, again right to left.
    const std::int32_t n = kWidth - count;
    double m = std::fmod(v, 1.0) * std::pow(10.0, n);
    pos = sizeof(scratch) - 1;
    for (std::int32_t k = 0; k < n; ++k) {
        if (m <= 0.0) {
            scratch[--pos] = '0';
        } else {
            scratch[--pos] = static_cast<char>('0' + static_cast<int>(std::fmod(m, 10.0)));
            m = m / 10.0;
        }
    }
    boundedAppend(text, scratch + pos, maxLen);
}

void AudioEffect::int2string(std::int32_t value, char* text, std::int32_t maxLen) {
    if (!text) return;
    maxLen = clampLimit(maxLen);
    // Ten-digit magnitudes do not fit the digit loop, and the most negative
    // value has no positive counterpart: both overflow.
    if (value >= 100000000 || value <= -1000000000) {
        boundedCopy(text, kHuge, maxLen);
        return;
    }
    if (value < 0) {
        boundedCopy(text, "-", maxLen);
        value = -value;
    } else {
        boundedCopy(text, "", maxLen);
    }
    bool started = false;
    for (std::int32_t divisor = 100000000; divisor >= 1; divisor /= 10) {
        const std::int32_t digit = value / divisor;
        value -= digit * divisor;
        if (started || digit > 0 || divisor == 1) {
            const char c[2] = {static_cast<char>('0' + digit), 0};
            boundedAppend(text, c, maxLen);
            started = true;
        }
    }
}

}  // namespace quorvel
