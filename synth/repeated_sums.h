// Loops that add one single-precision value again and again, with every sum
// rounded to single precision, counted out without taking each addition.
//
// The engine has two: a voice's phase loses one period at a time while it is
// 1 or more, adding a pulse length to the pulse counter each time, and the
// vibrato's phase loses 2 pi at a time. At low sample rates one sub-step can
// take a voice through tens of thousands of periods; a host setting extreme
// values can ask for millions. Both helpers give the loop's own result bit for
// bit in a number of steps bounded by the number of binades crossed (a few
// hundred at most), never by the number of additions.
#pragma once

#include <cstdint>

namespace quorvel {

// x after n of x = x + a. Any x and a: infinities and NaN come out as the
// loop leaves them.
float addRepeatedly(float x, float a, std::uint64_t n);

// while (x >= limit) x = x + a, for a negative and finite, the comparison made
// in double precision. Returns true with x and the number of additions when
// the loop ends; false, with nothing changed, when it never would (x infinite
// or NaN-free but stuck: a too small against x's spacing to move it below the
// limit).
bool addWhileAtLeast(float& x, float a, double limit, std::uint64_t& additions);

}  // namespace quorvel
