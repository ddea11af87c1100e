// When each queued event falls due: the block's due events put in firing
// order once per block (voice_allocation.cpp applies them sample by sample).
#include <cstring>

#include "synth/engine.h"

namespace quorvel {

void Engine::reserveEventOrder() {
    if (eventOrder.size() < 2 * eventQueue.capacity()) eventOrder.resize(2 * eventQueue.capacity());
}

// An event with delta d falls due at sample d of the block; a negative delta,
// or one at or beyond the block's end, never does. The due events are put in
// firing order once per block: by sample, in arrival order within a sample.
// The first half of eventOrder takes them, the second half serves the sort.
void Engine::scheduleEvents(std::int32_t frames) {
    const SynthEvent* events = eventQueue.data();
    const std::uint32_t size = static_cast<std::uint32_t>(eventQueue.size());
    std::uint32_t* order = eventOrder.data();
    std::uint32_t count = 0;
    std::int32_t last = 0;
    bool sorted = true;
    for (std::uint32_t i = 0; i < size; ++i) {
        const std::int32_t delta = events[i].delta;
        if (delta < 0 || delta >= frames) continue;
        sorted = sorted && delta >= last;
        last = delta;
        order[count++] = i;
    }
    dueEvents = count;
    nextDue = 0;
    if (sorted) return;

    // Hosts send each list in time order, so this is rare: a bottom-up merge
    // sort, stable, in the storage reserved beside the queue.
    std::uint32_t* from = order;
    std::uint32_t* to = order + size;
    for (std::uint32_t width = 1; width < count; width *= 2) {
        for (std::uint32_t lo = 0; lo < count; lo += 2 * width) {
            const std::uint32_t mid = lo + width < count ? lo + width : count;
            const std::uint32_t hi = mid + width < count ? mid + width : count;
            std::uint32_t a = lo, b = mid, out = lo;
            while (a < mid && b < hi) to[out++] = events[from[b]].delta < events[from[a]].delta ? from[b++] : from[a++];
            while (a < mid) to[out++] = from[a++];
            while (b < hi) to[out++] = from[b++];
        }
        std::uint32_t* t = from;
        from = to;
        to = t;
    }
    if (from != order) std::memcpy(order, from, count * sizeof(std::uint32_t));
}

// The sample at which the next event not applied yet falls due, or -1.
std::int32_t Engine::nextEventSample() const {
    return nextDue < dueEvents ? eventQueue[eventOrder[nextDue]].delta : -1;
}

}  // namespace quorvel
