#include "processor/exchange/StoppedClock.h"

#include <atomic>
#include <chrono>
#include <cmath>

namespace brisalto::exchange
{
    namespace
    {
        // A cycle in one word: valid flag, start (43 bits), length (20 bits).
        constexpr int lengthBits = 20;
        constexpr uint64_t lengthMask = (uint64_t { 1 } << lengthBits) - 1;
        constexpr int64_t startLimit = int64_t { 1 } << 43;
        constexpr uint64_t validBit = uint64_t { 1 } << 63;

        constexpr int clockCount = 8;  // sample rates sharing clocks in one process
        constexpr int casAttempts = 16;

        struct Clock
        {
            std::atomic<uint32_t> rate { 0 };  // whole Hz; 0 = not yet taken
            std::atomic<uint64_t> cycle { 0 };
            std::atomic<uint64_t> openedNs { 0 };
        };

        Clock clocks[clockCount];

        uint64_t pack (int64_t start, int n) noexcept
        {
            return validBit | ((uint64_t) start << lengthBits) | (uint64_t) n;
        }

        int64_t startOf (uint64_t cycle) noexcept
        {
            return (int64_t) ((cycle & ~validBit) >> lengthBits);
        }
        int lengthOf (uint64_t cycle) noexcept
        {
            return (int) (cycle & lengthMask);
        }

        Clock* clockFor (double sampleRate) noexcept
        {
            if (! (sampleRate >= 1.0 && sampleRate < 4.0e9))
                return nullptr;
            const auto key = (uint32_t) std::llround (sampleRate);
            for (auto& c : clocks)
            {
                uint32_t taken = c.rate.load (std::memory_order_acquire);
                if (taken == 0 && c.rate.compare_exchange_strong (taken, key, std::memory_order_acq_rel))
                    return &c;
                if (taken == key)
                    return &c;
            }
            return nullptr;
        }

        // The start a block of n samples takes when its instance cannot tell the cycle from its own
        // last block: the open cycle when it has this block's length and was opened less than half
        // a cycle ago (times of another clock, far apart either way, never count as the same cycle),
        // else a new cycle after it.
        int64_t joinedStart (uint64_t cycle, int n, double sampleRate, uint64_t nowNs, uint64_t openedNs, bool& open) noexcept
        {
            const int64_t start = startOf (cycle);
            const int length = lengthOf (cycle);
            const double periodNs = (double) length * 1.0e9 / sampleRate;
            const double elapsedNs = nowNs >= openedNs ? (double) (nowNs - openedNs) : (double) (openedNs - nowNs);
            open = length != n || 2.0 * elapsedNs >= periodNs;
            return open ? start + length : start;
        }

        int64_t ownClock (StoppedClock::Follower& f, int n) noexcept
        {
            const int64_t start = f.valid ? f.start + f.length : 0;
            f = { start < startLimit ? start : 0, n, true };
            return f.start;
        }
    }

    uint64_t StoppedClock::monotonicNowNs() noexcept
    {
        return (uint64_t) std::chrono::duration_cast<std::chrono::nanoseconds> (
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    int64_t StoppedClock::blockStart (Follower& f, double sampleRate, int n, uint64_t nowNs) noexcept
    {
        Clock* clock = clockFor (sampleRate);
        if (clock == nullptr || n <= 0 || (uint64_t) n > lengthMask)
            return ownClock (f, n);

        uint64_t cycle = clock->cycle.load (std::memory_order_acquire);
        for (int attempt = 0; attempt < casAttempts; ++attempt)
        {
            int64_t start = 0;
            bool open = true;
            if ((cycle & validBit) != 0)
            {
                const int64_t openStart = startOf (cycle);
                const int64_t ownEnd = f.valid ? f.start + f.length : -1;
                if (ownEnd == openStart)
                {
                    start = openStart;  // another instance opened this cycle
                    open = false;
                }
                else if (f.valid && f.start == openStart && f.length == lengthOf (cycle))
                {
                    start = ownEnd;  // this instance rendered the open cycle: a new one begins
                }
                else
                {
                    start = joinedStart (cycle, n, sampleRate, nowNs, clock->openedNs.load (std::memory_order_acquire), open);
                }
            }
            if (start + n >= startLimit)
            {
                start = 0;
                open = true;
            }

            if (! open)
            {
                f = { start, n, true };
                return start;
            }
            if (clock->cycle.compare_exchange_weak (cycle, pack (start, n), std::memory_order_acq_rel, std::memory_order_acquire))
            {
                clock->openedNs.store (nowNs, std::memory_order_release);
                f = { start, n, true };
                return start;
            }
            // Another instance moved the clock meanwhile: decide again on its value.
        }
        return ownClock (f, n);
    }
}
