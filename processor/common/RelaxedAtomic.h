#pragma once

#include <atomic>

// A single value shared between the render thread, the message thread and host threads
// without a lock. Every access is a relaxed atomic load or store: no ordering between two
// such values is ever relied on, only that each one is never torn.
template <typename T>
class RelaxedAtomic
{
public:
    constexpr RelaxedAtomic (T initial = T {}) noexcept
        : value (initial)
    {
    }
    RelaxedAtomic (const RelaxedAtomic&) = delete;
    RelaxedAtomic& operator= (const RelaxedAtomic&) = delete;

    operator T() const noexcept { return value.load (std::memory_order_relaxed); }
    T load() const noexcept { return value.load (std::memory_order_relaxed); }
    void store (T v) noexcept { value.store (v, std::memory_order_relaxed); }
    RelaxedAtomic& operator= (T v) noexcept
    {
        store (v);
        return *this;
    }
    T exchange (T v) noexcept { return value.exchange (v, std::memory_order_relaxed); }

    // Read-modify-write helpers for the counters.
    T operator++ (int) noexcept { return value.fetch_add (1, std::memory_order_relaxed); }
    T operator++() noexcept { return value.fetch_add (1, std::memory_order_relaxed) + 1; }
    T operator-- (int) noexcept { return value.fetch_sub (1, std::memory_order_relaxed); }
    RelaxedAtomic& operator+= (T v) noexcept
    {
        value.fetch_add (v, std::memory_order_relaxed);
        return *this;
    }

private:
    std::atomic<T> value;
    static_assert (std::atomic<T>::is_always_lock_free, "shared values must be lock-free");
};
