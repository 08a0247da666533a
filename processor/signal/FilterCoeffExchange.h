#pragma once

#include <atomic>
#include <cstdint>

// Hands a set of five biquad coefficients from whichever thread computes them to the render
// thread. A reader never sees half of one set and half of another: writers serialise on a
// tiny spin flag (held for five stores), readers retry on the sequence number.
//
// The ordering is carried by acquire and release operations on the atomics themselves, not by
// standalone fences, so that ThreadSanitizer (which does not model atomic_thread_fence) sees
// it: the writer stores each value with release after making the sequence odd, so a reader
// whose acquire load of a value sees a new store also sees the odd (or a later) sequence on
// its second read and retries.
class FilterCoeffExchange
{
public:
    static constexpr int numCoeffs = 5;

    FilterCoeffExchange() noexcept
    {
        for (auto& v : values)
            v.store (0.0f, std::memory_order_relaxed);
    }

    // Stores a new set and counts it as pending.
    void publish (const float (&coeffs)[numCoeffs]) noexcept
    {
        while (writerBusy.exchange (true, std::memory_order_acquire)) {}

        const auto s = sequence.load (std::memory_order_relaxed);
        sequence.store (s + 1, std::memory_order_relaxed);
        for (int k = 0; k < numCoeffs; ++k)
            values[k].store (coeffs[k], std::memory_order_release);
        sequence.store (s + 2, std::memory_order_release);
        pending.fetch_add (1, std::memory_order_relaxed);

        writerBusy.store (false, std::memory_order_release);
    }

    // The newest set, whole. Returns the number of sets published since the last take()
    // (0 when nothing new arrived); the count is cleared when `clearPending` is set.
    int32_t read (float (&out)[numCoeffs], bool clearPending) noexcept
    {
        const auto count =
            clearPending ? pending.exchange (0, std::memory_order_relaxed) : pending.load (std::memory_order_relaxed);
        for (;;)
        {
            const auto before = sequence.load (std::memory_order_acquire);
            if ((before & 1u) != 0)
                continue;
            for (int k = 0; k < numCoeffs; ++k)
                out[k] = values[k].load (std::memory_order_acquire);
            if (sequence.load (std::memory_order_relaxed) == before)
                return count;
        }
    }

    int32_t pendingCount() const noexcept { return pending.load (std::memory_order_relaxed); }

private:
    std::atomic<bool> writerBusy { false };
    std::atomic<uint32_t> sequence { 0 };
    std::atomic<float> values[numCoeffs];
    std::atomic<int32_t> pending { 0 };
};
