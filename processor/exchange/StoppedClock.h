#pragma once

#include <cstdint>

// The exchange timestamps of instances whose transport stands.
//
// While playing, every instance stamps its blocks with the host's sample position, so sender
// and receivers in one process line up. While stopped there is no such position, so the
// instances of one process share one clock per sample rate instead: a host cycle renders the
// same block in every instance, and each cycle's block start is taken by the first instance
// that renders it (it "opens" the cycle); the others of the cycle find it open and take the
// same start.
//
// An instance that rendered the previous cycle knows by its own last block which case it is in:
// its block ended where the open cycle starts (someone opened this one: take it), or its block
// is the open cycle (it is the first of a new one: open it at its block's end). Only an instance
// that joins (first stopped block, or back after a pause of its own) cannot tell from the
// order of calls whether the others already rendered this cycle; it compares the time of its
// call with the time the open cycle was opened: the same block length and less than half a
// cycle apart is the same cycle. The time is the host's callback time when the play head
// reports one (the same for every instance of a cycle), else the monotonic clock at the call.
//
// Limits: instances must render the same blocks (one host, one graph); two hosts in one
// process with their own cycles, instances fed different block splits, or a joining instance
// without host time in a host rendering faster than real time can land one block apart. A
// block of 2^20 samples or more, and instances at a ninth sample rate in one process, run on
// the instance's own clock. The clock restarts at 0 after 2^43 samples (about 1.4 years at
// 192 kHz): receivers see that as a jump back.
//
// Lock-free: one atomic word per clock, advanced by compare-and-swap.
namespace brisalto::exchange
{
    class StoppedClock
    {
    public:
        // What one instance remembers of its own last stopped block.
        struct Follower
        {
            int64_t start = 0;
            int32_t length = 0;
            bool valid = false;
        };

        // The timestamp of a stopped block of n > 0 samples rendered at `nowNs`.
        static int64_t blockStart (Follower&, double sampleRate, int n, uint64_t nowNs) noexcept;

        // The time of a call when the host reports none.
        static uint64_t monotonicNowNs() noexcept;
    };
}
