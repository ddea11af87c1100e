// Renders blocks of the instrument into fresh buffers and checks that both
// channels carry the same signal.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "abi/aeffect.h"

namespace quorvel {

// Renders `frames` samples through the record's processReplacing entry (as a
// host does) and returns channel 0. The buffers start out at a value the
// instrument never writes, so an unwritten sample shows.
inline std::vector<float> renderBlock(AEffect* effect, std::int32_t frames) {
    const std::size_t n = frames > 0 ? static_cast<std::size_t>(frames) : 0;
    std::vector<float> left(n, -1.0f), right(n, -1.0f);
    float* outs[2] = {left.data(), right.data()};
    effect->processReplacing(effect, nullptr, outs, frames);
    for (std::size_t i = 0; i < n; ++i)
        if (left[i] != right[i]) {
            ADD_FAILURE() << "channels differ at sample " << i << ": " << left[i] << " vs " << right[i];
            break;
        }
    return left;
}

// Index of the first sample at or after `from` that is not zero, or -1.
inline int firstNonZero(const std::vector<float>& samples, std::size_t from = 0) {
    for (std::size_t i = from; i < samples.size(); ++i)
        if (samples[i] != 0.0f) return static_cast<int>(i);
    return -1;
}

// Samples at which the signal rises from exactly zero to above zero: the
// starts of pulses in a single voice's output.
inline std::vector<int> risingEdges(const std::vector<float>& samples) {
    std::vector<int> edges;
    for (std::size_t i = 1; i < samples.size(); ++i)
        if (samples[i - 1] == 0.0f && samples[i] > 0.0f) edges.push_back(static_cast<int>(i));
    return edges;
}

}  // namespace quorvel
