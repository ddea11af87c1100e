// A parameter value shared between the host's threads and the render loop.
// Relaxed atomic access: no ordering, no locks, and on every supported target
// the same plain 32-bit load and store as an ordinary float.
#pragma once

#include <atomic>

namespace quorvel {

class RelaxedFloat {
public:
    explicit RelaxedFloat(float v = 0.0f) : value(v) {}
    float load() const { return value.load(std::memory_order_relaxed); }
    void store(float v) { value.store(v, std::memory_order_relaxed); }
    operator float() const { return load(); }  // NOLINT: reads like the float it stands for

private:
    std::atomic<float> value;
    static_assert(std::atomic<float>::is_always_lock_free, "parameter access must not lock");
};

}  // namespace quorvel
