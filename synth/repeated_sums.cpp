#include "synth/repeated_sums.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace quorvel {

namespace {

// Below 2^-125 floats lie 2^-149 apart throughout, zero and subnormals included.
constexpr double kEvenlySpacedTop = 0x1p-125;
constexpr double kSmallestSpacing = 0x1p-149;

bool oddSignificand(float x) {
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return (bits & 1u) != 0;
}

// From a finite x, the sums x_{j+1} = x_j + a (a finite, not zero), each
// rounded to float. Sets d = x_1 - x_0 and returns how many of the first
// `most` additions add exactly d.
//
// Where the floats around x are u apart and an exact sum x_j + a stays inside
// the interval in which they stay u apart (and below the point where rounding
// goes to the next, coarser spacing), x_j is a multiple of u and the sum
// rounds to x_j plus a rounded to a multiple of u: the same d every time.
// The exception is an a lying halfway between two multiples of u, whose
// rounding follows the parity of x_j / u; after one such addition x_j is an
// even multiple of u and d an even one, so from there on it repeats too.
std::uint64_t sameAdditions(float x, float a, std::uint64_t most, double& d) {
    const float first = x + a;
    d = static_cast<double>(first) - static_cast<double>(x);  // exact: both floats, close together
    if (d == 0.0) return most;                                // x + a rounds to x, again and again
    if (most == 1 || !std::isfinite(first)) return 1;

    const double xd = x;
    double u, low, high;  // exact sums strictly between low and high round onto multiples of u
    if (std::fabs(xd) < kEvenlySpacedTop) {
        u = kSmallestSpacing;
        high = kEvenlySpacedTop - u / 2;
        low = -high;
    } else {
        int e = 0;
        std::frexp(xd, &e);
        u = std::ldexp(1.0, e - 24);
        const double top = std::ldexp(1.0, e), bottom = top / 2;
        if (xd > 0.0) {
            low = bottom;
            high = top - u / 2;
        } else {
            low = -(top - u / 2);
            high = -bottom;
        }
    }
    const double ad = a;
    if (std::fabs(ad - d) == u / 2 && oddSignificand(x)) return 1;

    // Addition j (from x_j = x + j d) repeats d while its exact sum lies
    // between low and high. The sum is taken in double precision, which may
    // round it; testing the rounded sum strictly against the bounds keeps the
    // answer on the safe side (an addition counted alone is always right).
    // j d stays a multiple of u below 2^25 u wherever this is asked near the
    // interval, so x + j d is exact.
    auto fits = [&](std::uint64_t j) {
        const double sum = (xd + static_cast<double>(j) * d) + ad;
        return sum > low && sum < high;
    };
    if (!fits(0)) return 1;
    const double room = d > 0.0 ? (high - ad - xd) / d : (low - ad - xd) / d;
    std::uint64_t n = room < static_cast<double>(most) ? static_cast<std::uint64_t>(std::fmax(room, 1.0)) : most;
    while (n > 1 && !fits(n - 1)) --n;
    while (n < most && fits(n)) ++n;
    return n;
}

}  // namespace

float addRepeatedly(float x, float a, std::uint64_t n) {
    if (n == 0) return x;
    if (a == 0.0f || !std::isfinite(a)) {
        // The first sum settles it: x + 0 stays (a -0 becoming +0 once), an
        // infinite or NaN addend leaves an infinity or NaN that further
        // additions of it do not change.
        return x + a;
    }
    while (n > 0) {
        if (!std::isfinite(x)) return x + a;  // an infinity stays, NaN stays
        double d = 0.0;
        const std::uint64_t c = sameAdditions(x, a, n, d);
        x = c == 1 ? x + a : static_cast<float>(static_cast<double>(x) + static_cast<double>(c) * d);
        n -= c;
    }
    return x;
}

bool addWhileAtLeast(float& x, float a, double limit, std::uint64_t& additions) {
    float v = x;
    std::uint64_t count = 0;
    while (static_cast<double>(v) >= limit) {
        if (!std::isfinite(v)) return false;
        double d = 0.0;
        const std::uint64_t c = sameAdditions(v, a, UINT64_MAX, d);
        if (d == 0.0) return false;  // v + a rounds back to v, which is not below the limit
        // The first of the c additions that takes v below the limit, if any:
        // v + j d < limit for the smallest such j (d is negative).
        const double vd = v;
        auto below = [&](std::uint64_t j) { return vd + static_cast<double>(j) * d < limit; };
        const double need = (limit - vd) / d;
        std::uint64_t j = need < static_cast<double>(c) ? static_cast<std::uint64_t>(std::fmax(need, 1.0)) : c;
        while (j > 1 && below(j - 1)) --j;
        while (j < c && !below(j)) ++j;
        v = j == 1 ? v + a : static_cast<float>(vd + static_cast<double>(j) * d);
        count += j;
    }
    x = v;
    additions = count;
    return true;
}

}  // namespace quorvel
