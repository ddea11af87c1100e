// Timed events the render loop applies sample by sample, and their queue.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace quorvel {

enum class EventKind : std::int32_t {
    Note = 0,       // note on (velocity 1..127), note off (velocity 0), all notes off (note -1)
    PitchBend = 1,  // value: bend in semitones, already scaled by the bend range
    ModWheel = 2,   // value: controller value / 128
};

struct SynthEvent {
    EventKind kind;
    std::int32_t delta;  // samples from the start of the next block; negative once fired
    std::int32_t note;
    std::int32_t velocity;
    float value;
};

// Storage for the queue that leaves new events unwritten when the queue is
// resized (MIDI intake writes each in place), instead of zeroing them first.
template <class T>
struct UnwrittenAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UnwrittenAllocator<U>;
    };
    UnwrittenAllocator() = default;
    template <class U>
    UnwrittenAllocator(const UnwrittenAllocator<U>&) {}
    template <class U>
    void construct(U* p) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// Pending events in arrival order. Emptying keeps the storage, so once the
// queue has grown to its working size appending no longer allocates.
using EventQueue = std::vector<SynthEvent, UnwrittenAllocator<SynthEvent>>;

}  // namespace quorvel
