// Compiled once per instruction set: Highway's foreach_target includes this file again for
// each one, and HWY_DYNAMIC_DISPATCH calls the best at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "processor/signal/LevelHistoryLanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "processor/signal/LevelHistoryLanes.h"

#include <algorithm>
#include <cmath>

HWY_BEFORE_NAMESPACE();
namespace brisalto::LevelHistoryLanes::HWY_NAMESPACE
{
    namespace hn = hwy::HWY_NAMESPACE;

    void SumRecent (const HistoryRing* const* histories, const int* windows, int count, float* sums, int* counts)
    {
        const hn::ScalableTag<float> d;
        const hn::RebindToSigned<decltype (d)> di;
        const int lanes = (int) hn::Lanes (d);
        constexpr int maxLanes = HWY_MAX_BYTES / sizeof (float);
        constexpr int tileLength = 32;

        // (double) level > 1e-6 as a float comparison; adding 0 for the others leaves the sum
        // as skipping them does.
        float counted = (float) 1e-6;
        if ((double) counted <= 1e-6)
            counted = std::nextafter (counted, INFINITY);

        for (int first = 0; first < count; first += lanes)
        {
            const int used = std::min (lanes, count - first);
            int reach[maxLanes] = {};
            int longest = 0;
            for (int k = 0; k < used; ++k)
            {
                reach[k] = std::max (0, std::min (windows[first + k], histories[first + k]->size()));
                longest = std::max (longest, reach[k]);
            }

            auto sum = hn::Zero (d);
            auto n = hn::Zero (di);
            HWY_ALIGN float tile[tileLength * maxLanes] = {};
            for (int start = 0; start < longest; start += tileLength)
            {
                const int steps = std::min (tileLength, longest - start);
                for (int k = 0; k < used; ++k)
                    for (int t = 0; t < steps; ++t)
                        tile[t * lanes + k] = start + t < reach[k] ? histories[first + k]->newest (start + t) : 0.0f;
                for (int t = 0; t < steps; ++t)
                {
                    const auto level = hn::Load (d, tile + t * lanes);
                    const auto counts = level >= hn::Set (d, counted);
                    sum = hn::Add (sum, hn::IfThenElseZero (counts, level));
                    n = hn::Add (n, hn::IfThenElseZero (hn::RebindMask (di, counts), hn::Set (di, 1)));
                }
            }

            HWY_ALIGN float s[maxLanes] = {};
            HWY_ALIGN int32_t c[maxLanes] = {};
            hn::Store (sum, d, s);
            hn::Store (n, di, c);
            for (int k = 0; k < used; ++k)
            {
                sums[first + k] = s[k];
                counts[first + k] = c[k];
            }
        }
    }
}
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace brisalto::LevelHistoryLanes
{
    HWY_EXPORT (SumRecent);

    void sumRecent (const HistoryRing* const* histories, const int* windows, int count, float* sums, int* counts) noexcept
    {
        if (count > 0)
            HWY_DYNAMIC_DISPATCH (SumRecent) (histories, windows, count, sums, counts);
    }
}
#endif
