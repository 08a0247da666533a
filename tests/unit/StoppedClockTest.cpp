// The clock that instances of one process share while the transport stands: every instance
// that renders a host cycle gets the same block start, and the starts move on by the cycle's
// block, whichever instance renders first and however late one joins.

#include "processor/exchange/StoppedClock.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
    using brisalto::exchange::StoppedClock;

    struct Cycle
    {
        int n;
        std::vector<int> order;  // the instances that render this cycle, in call order
    };

    struct ClockCase
    {
        const char* name;
        std::vector<Cycle> cycles;
    };

    // Renders the cycles at `rate` with the host's callback time (cycle k at k block periods
    // from `epochNs`); checks one start per cycle, moving on by each cycle's block.
    void expectSharedStarts (const ClockCase& c, double rate, uint64_t epochNs)
    {
        std::vector<StoppedClock::Follower> followers (3);
        uint64_t timeNs = epochNs;
        bool havePrevious = false;
        int64_t expected = 0;
        for (size_t k = 0; k < c.cycles.size(); ++k)
        {
            const auto& cycle = c.cycles[k];
            std::vector<int64_t> starts;
            for (const int i : cycle.order)
                starts.push_back (StoppedClock::blockStart (followers[(size_t) i], rate, cycle.n, timeNs));
            for (const auto start : starts)
                EXPECT_EQ (start, starts.front()) << c.name << ", cycle " << k;
            if (havePrevious)
            {
                EXPECT_EQ (starts.front(), expected) << c.name << ", cycle " << k;
            }
            expected = starts.front() + cycle.n;
            havePrevious = true;
            timeNs += (uint64_t) ((double) cycle.n * 1.0e9 / rate);
        }
    }
}

TEST (StoppedClock, InstancesOfOneCycleShareItsStart)
{
    const ClockCase cases[] = {
        { "two instances, order flipping", { { 512, { 0, 1 } }, { 512, { 1, 0 } }, { 512, { 0, 1 } }, { 512, { 1, 0 } } } },
        { "varying blocks", { { 512, { 0, 1 } }, { 341, { 1, 0 } }, { 1, { 1, 0 } }, { 33, { 0, 1 } }, { 479, { 0, 1 } } } },
        { "late joiner first in its cycle",
          { { 256, { 0 } }, { 256, { 0 } }, { 256, { 1, 0 } }, { 256, { 1, 0 } }, { 256, { 0, 1 } } } },
        { "late joiner last in its cycle", { { 256, { 0 } }, { 256, { 0 } }, { 256, { 0, 1 } }, { 256, { 1, 0 } } } },
        { "three instances, one pausing",
          { { 64, { 0, 1, 2 } }, { 64, { 2, 0 } }, { 64, { 0, 2 } }, { 64, { 1, 2, 0 } }, { 64, { 2, 1, 0 } } } },
    };

    double rate = 44101.0;  // a rate of their own: the clocks are process-wide
    for (const auto& c : cases)
        expectSharedStarts (c, rate++, 1000000000ull);
}

TEST (StoppedClock, ClockLeftAtOtherBlocksRunsOnFasterThanRealTime)
{
    // Another instance left the clock at 256-sample blocks; a new one of 512-sample blocks,
    // called again and again at one moment (offline, no host time), must still move on.
    constexpr double rate = 44150.0;
    StoppedClock::Follower other, fresh;
    StoppedClock::blockStart (other, rate, 256, 5000);
    int64_t previous = StoppedClock::blockStart (fresh, rate, 512, 5000);
    for (int block = 0; block < 3; ++block)
    {
        const int64_t start = StoppedClock::blockStart (fresh, rate, 512, 5000);
        EXPECT_EQ (start, previous + 512) << block;
        previous = start;
    }
}
