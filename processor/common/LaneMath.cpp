// Compiled once per instruction set (see BlockMath.cpp). Built without contraction of a
// multiplication and an addition into one step, so that each lane rounds as the scalar code.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "processor/common/LaneMath.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace dsp::lanes::HWY_NAMESPACE
{
    namespace hn = hwy::HWY_NAMESPACE;

    int LaneWidth()
    {
        const hn::ScalableTag<float> d;
        return (int) hn::Lanes (d);
    }

    void RemoveRunningMean (const float* x, const float* dropped, float* y, float* sums, int steps, float length)
    {
        const hn::ScalableTag<float> d;
        const size_t w = hn::Lanes (d);
        const auto scale = hn::Set (d, 1.0f / length);
        const auto len = hn::Set (d, length);
        auto sum = hn::LoadU (d, sums);
        int j = 0;
        for (; j + 4 <= steps; j += 4)
        {
            const size_t at = (size_t) j * w;
            const auto x0 = hn::LoadU (d, x + at), x1 = hn::LoadU (d, x + at + w);
            const auto x2 = hn::LoadU (d, x + at + 2 * w), x3 = hn::LoadU (d, x + at + 3 * w);
            const auto d0 = hn::Sub (x0, hn::LoadU (d, dropped + at));
            const auto d1 = hn::Sub (x1, hn::LoadU (d, dropped + at + w));
            const auto d2 = hn::Sub (x2, hn::LoadU (d, dropped + at + 2 * w));
            const auto d3 = hn::Sub (x3, hn::LoadU (d, dropped + at + 3 * w));
            const auto p1 = hn::Add (d0, d1), p2 = hn::Add (p1, d2), p3 = hn::Add (p2, d3);
            hn::StoreU (hn::Sub (x0, hn::Mul (hn::Add (sum, d0), scale)), d, y + at);
            hn::StoreU (hn::Sub (x1, hn::Mul (hn::Add (sum, p1), scale)), d, y + at + w);
            hn::StoreU (hn::Sub (x2, hn::Mul (hn::Add (sum, p2), scale)), d, y + at + 2 * w);
            sum = hn::Add (sum, p3);
            hn::StoreU (hn::Sub (x3, hn::Mul (sum, scale)), d, y + at + 3 * w);
        }
        for (; j < steps; ++j)
        {
            const size_t at = (size_t) j * w;
            const auto xj = hn::LoadU (d, x + at);
            sum = hn::Add (sum, hn::Sub (xj, hn::LoadU (d, dropped + at)));
            hn::StoreU (hn::Sub (xj, hn::Div (sum, len)), d, y + at);
        }
        hn::StoreU (sum, d, sums);
    }

    void RampValues (const int32_t* offsets, const int32_t* ends, const int32_t* releases, const float* rampDb,
                     float* values, int steps)
    {
        const hn::ScalableTag<float> d;
        const hn::RebindToSigned<decltype (d)> di;
        const size_t w = hn::Lanes (d);
        const auto offset = hn::LoadU (di, offsets), end = hn::LoadU (di, ends);
        const auto last = hn::Sub (hn::LoadU (di, releases), hn::Set (di, 1));
        const auto release = hn::ConvertTo (d, hn::LoadU (di, releases));
        const auto db = hn::LoadU (d, rampDb);
        for (int j = 0; j < steps; ++j)
        {
            const auto q = hn::Min (hn::Add (offset, hn::Set (di, j)), end);
            const auto value = hn::Div (hn::Mul (hn::ConvertTo (d, hn::Sub (last, q)), db), release);
            hn::StoreU (hn::IfThenElseZero (hn::RebindMask (d, hn::Lt (q, end)), value), d, values + (size_t) j * w);
        }
    }
}
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "processor/common/LaneMath.h"

namespace dsp::lanes
{
    HWY_EXPORT (LaneWidth);
    HWY_EXPORT (RemoveRunningMean);
    HWY_EXPORT (RampValues);

    int laneWidth() noexcept { return HWY_DYNAMIC_DISPATCH (LaneWidth)(); }

    void removeRunningMean (const float* x, const float* dropped, float* y, float* sums, int steps, float length) noexcept
    {
        HWY_DYNAMIC_DISPATCH (RemoveRunningMean) (x, dropped, y, sums, steps, length);
    }

    void rampValues (const int32_t* offsets, const int32_t* ends, const int32_t* releases, const float* rampDb,
                     float* values, int steps) noexcept
    {
        HWY_DYNAMIC_DISPATCH (RampValues) (offsets, ends, releases, rampDb, values, steps);
    }
}
#endif
