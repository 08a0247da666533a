// Compiled once per instruction set (see BlockMath.cpp). Built without contraction of a
// multiplication and an addition into one step, so that each lane rounds as the scalar code.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "processor/common/LaneMath.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace brisalto::dsp::lanes::HWY_NAMESPACE
{
    namespace hn = hwy::HWY_NAMESPACE;

    int LaneWidth()
    {
        const hn::ScalableTag<float> d;
        return (int) hn::Lanes (d);
    }

    void RampValues (const int32_t* offsets, const int32_t* ends, const int32_t* releases, const float* rampDb, float* values,
                     int steps)
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

namespace brisalto::dsp::lanes
{
    HWY_EXPORT (LaneWidth);
    HWY_EXPORT (RampValues);

    int laneWidth() noexcept
    {
        return HWY_DYNAMIC_DISPATCH (LaneWidth)();
    }

    void rampValues (const int32_t* offsets, const int32_t* ends, const int32_t* releases, const float* rampDb, float* values,
                     int steps) noexcept
    {
        HWY_DYNAMIC_DISPATCH (RampValues) (offsets, ends, releases, rampDb, values, steps);
    }
}
#endif
