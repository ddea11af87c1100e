// When each queued event falls due: the block's due events put in firing
// order once per block (voice_allocation.h applies them sample by sample).
#include <algorithm>
#include <cstring>

#include "synth/engine.h"

namespace quorvel {

void Engine::reserveEventOrder() {
    if (sortSpace.size() < 2 * eventQueue.capacity()) sortSpace.resize(2 * eventQueue.capacity());
}

// An event with delta d falls due at sample d of the block; a negative delta,
// or one at or beyond the block's end, never does. The due events fire by
// sample, in arrival order within a sample. Hosts send each list in time
// order, so the queue is usually in that order already: its due events are
// then the stretch between those not due yet and those due too late, found
// by halving. Otherwise (several lists queued, or a list out of order) they
// are sorted by frame, which is linear in their number.
void Engine::scheduleEvents(std::int32_t frames) {
    nextDue = 0;
    if (queueInOrder) {
        const SynthEvent* begin = eventQueue.data();
        const SynthEvent* end = begin + eventQueue.size();
        const auto before = [](const SynthEvent& e, std::int32_t d) { return e.delta < d; };
        const SynthEvent* first = std::lower_bound(begin, end, 0, before);
        const SynthEvent* last = std::lower_bound(first, end, frames, before);
        dueEvents = first;
        dueCount = static_cast<std::uint32_t>(last - first);
        return;
    }
    sortDueEvents(frames);
}

// A stable counting sort of the due events by frame, a digit of
// kFrameDigitBits bits at a time from the lowest (one pass for a block of up
// to 1024 frames, two up to a million), between the two halves of sortSpace.
void Engine::sortDueEvents(std::int32_t frames) {
    constexpr std::uint32_t kDigits = 1u << kFrameDigitBits;
    const std::uint32_t size = static_cast<std::uint32_t>(eventQueue.size());
    const std::uint32_t highest = static_cast<std::uint32_t>(frames - 1);
    SynthEvent* from = sortSpace.data();
    SynthEvent* to = from + size;

    // The due events, in arrival order, into the first half.
    std::uint32_t count = 0;
    for (const SynthEvent& e : eventQueue)
        if (e.delta >= 0 && e.delta < frames) from[count++] = e;

    for (unsigned shift = 0; shift == 0 || (shift < 32 && (highest >> shift) != 0); shift += kFrameDigitBits) {
        const std::uint32_t digits = std::min(kDigits, (highest >> shift) + 1);
        std::memset(sortCounts, 0, digits * sizeof(std::uint32_t));
        for (std::uint32_t i = 0; i < count; ++i)
            ++sortCounts[(static_cast<std::uint32_t>(from[i].delta) >> shift) & (kDigits - 1)];
        std::uint32_t start = 0;
        for (std::uint32_t d = 0; d < digits; ++d) {
            const std::uint32_t n = sortCounts[d];
            sortCounts[d] = start;
            start += n;
        }
        for (std::uint32_t i = 0; i < count; ++i)
            to[sortCounts[(static_cast<std::uint32_t>(from[i].delta) >> shift) & (kDigits - 1)]++] = from[i];
        std::swap(from, to);
    }
    dueEvents = from;
    dueCount = count;
}

}  // namespace quorvel
