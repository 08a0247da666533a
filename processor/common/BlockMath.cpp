// Compiled once per instruction set: Highway's foreach_target includes this file again for
// each one, and HWY_DYNAMIC_DISPATCH calls the best at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "processor/common/BlockMath.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>
#include <hwy/contrib/math/math-inl.h>
#include "processor/common/DbLanes-inl.h"

#include <algorithm>
#include <cmath>

HWY_BEFORE_NAMESPACE();
namespace brisalto::dsp::block::HWY_NAMESPACE
{
    namespace hn = hwy::HWY_NAMESPACE;

    // Runs op over whole vectors, then over the tail padded into a local vector.
    template <typename Op>
    HWY_INLINE void forEachVector (const float* x, float* y, int n, Op op)  // y may be x
    {
        const hn::ScalableTag<float> d;
        const int lanes = (int) hn::Lanes (d);
        int i = 0;
        for (; i + lanes <= n; i += lanes)
            hn::StoreU (op (d, hn::LoadU (d, x + i)), d, y + i);
        if (i < n)
        {
            HWY_ALIGN float tail[HWY_MAX_BYTES / sizeof (float)] = {};
            const int rest = n - i;
            for (int k = 0; k < rest; ++k)
                tail[k] = x[i + k];
            hn::Store (op (d, hn::Load (d, tail)), d, tail);
            for (int k = 0; k < rest; ++k)
                y[i + k] = tail[k];
        }
    }

    constexpr float dbPerNeper = 8.685889638065035f;  // 20 / ln(10)
    constexpr float smallestLevel = 6.4e-8f;

    void MagnitudesToDb (const float* x, float* db, int n)
    {
        forEachVector (x, db, n, [] (auto d, auto v) { return brisalto::dsp::lanes::HWY_NAMESPACE::magnitudesToDb (d, v); });
    }

    void PowersToDb (const float* p, float* db, int n)
    {
        forEachVector (p, db, n,
                       [] (auto d, auto v)
                       {
                           const auto isLevel = hn::And (v > hn::Set (d, smallestLevel), hn::IsFinite (v));
                           const auto safe = hn::IfThenElse (isLevel, v, hn::Set (d, 1.0f));
                           return hn::IfThenElse (isLevel, hn::Mul (hn::Log (d, safe), hn::Set (d, 0.5f * dbPerNeper)),
                                                  hn::Set (d, -72.0f));
                       });
    }

    void DbToGains (const float* db, float* gain, int n)
    {
        forEachVector (db, gain, n,
                       [] (auto d, auto v)
                       {
                           const auto g = hn::Exp (d, hn::Mul (v, hn::Set (d, 1.0f / dbPerNeper)));
                           return hn::IfThenElse (v == hn::Zero (d), hn::Set (d, 1.0f), g);
                       });
    }

    void TanhOf (const float* x, float* y, int n, float scale, float offset)
    {
        forEachVector (x, y, n,
                       [scale, offset] (auto d, auto v)
                       { return hn::Tanh (d, hn::MulAdd (v, hn::Set (d, scale), hn::Set (d, offset))); });
    }

    void PowerOf (const float* x, float* y, int n, float exponent)
    {
        forEachVector (x, y, n,
                       [exponent] (auto d, auto v)
                       {
                           const auto positive = v > hn::Zero (d);
                           const auto safe = hn::IfThenElse (positive, v, hn::Set (d, 1.0f));
                           const auto r = hn::Exp (d, hn::Mul (hn::Log (d, safe), hn::Set (d, exponent)));
                           return hn::IfThenElseZero (positive, r);
                       });
    }

    void Biquads (float* const* blocks, int count, int n, const float* coeffs, float* z)
    {
        const hn::ScalableTag<float> d;
        const int lanes = (int) hn::Lanes (d);
        constexpr int maxLanes = HWY_MAX_BYTES / sizeof (float);
        constexpr int tileLength = 32;
        for (int first = 0; first < count; first += lanes)
        {
            const int used = std::min (lanes, count - first);
            HWY_ALIGN float c[5][maxLanes] = {}, z1[maxLanes] = {}, z2[maxLanes] = {};
            HWY_ALIGN float tile[tileLength * maxLanes] = {};
            for (int k = 0; k < used; ++k)
            {
                for (int j = 0; j < 5; ++j)
                    c[j][k] = coeffs[5 * (first + k) + j];
                z1[k] = z[2 * (first + k)];
                z2[k] = z[2 * (first + k) + 1];
            }
            const auto b0 = hn::Load (d, c[0]), b1 = hn::Load (d, c[1]), b2 = hn::Load (d, c[2]);
            const auto a1 = hn::Load (d, c[3]), a2 = hn::Load (d, c[4]);
            auto s1 = hn::Load (d, z1), s2 = hn::Load (d, z2);
            float* const* block = blocks + first;

            // One sample of every channel per step: the channels' recursions run in parallel.
            // The samples go through a tile of `tileLength` steps, transposed on the way in and
            // out, so that no vector load waits for the stores that just filled it.
            for (int start = 0; start < n; start += tileLength)
            {
                const int steps = std::min (tileLength, n - start);
                for (int k = 0; k < used; ++k)
                    for (int t = 0; t < steps; ++t)
                        tile[t * lanes + k] = block[k][start + t];
                for (int t = 0; t < steps; ++t)
                {
                    const auto x = hn::Load (d, tile + t * lanes);
                    const auto y = hn::MulAdd (b0, x, s1);
                    s1 = hn::NegMulAdd (a1, y, hn::MulAdd (b1, x, s2));
                    s2 = hn::NegMulAdd (a2, y, hn::Mul (b2, x));
                    hn::Store (y, d, tile + t * lanes);
                }
                for (int k = 0; k < used; ++k)
                    for (int t = 0; t < steps; ++t)
                        block[k][start + t] = tile[t * lanes + k];
            }

            hn::Store (s1, d, z1);
            hn::Store (s2, d, z2);
            for (int k = 0; k < used; ++k)
            {
                z[2 * (first + k)] = z1[k];
                z[2 * (first + k) + 1] = z2[k];
            }
        }
    }
}
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
    #include "processor/common/BlockMath.h"

namespace brisalto::dsp::block
{
    HWY_EXPORT (MagnitudesToDb);
    HWY_EXPORT (PowersToDb);
    HWY_EXPORT (DbToGains);
    HWY_EXPORT (TanhOf);
    HWY_EXPORT (PowerOf);
    HWY_EXPORT (Biquads);

    void prepare() noexcept
    {
        float v = 1.0f;
        HWY_DYNAMIC_DISPATCH (DbToGains) (&v, &v, 1);
    }

    void magnitudesToDb (const float* x, float* db, int n) noexcept
    {
        HWY_DYNAMIC_DISPATCH (MagnitudesToDb) (x, db, n);
    }
    void powersToDb (const float* p, float* db, int n) noexcept
    {
        HWY_DYNAMIC_DISPATCH (PowersToDb) (p, db, n);
    }
    void dbToGains (const float* db, float* gain, int n) noexcept
    {
        HWY_DYNAMIC_DISPATCH (DbToGains) (db, gain, n);
    }
    void tanhOf (const float* x, float* y, int n, float scale, float offset) noexcept
    {
        HWY_DYNAMIC_DISPATCH (TanhOf) (x, y, n, scale, offset);
    }
    void powerOf (const float* x, float* y, int n, float exponent) noexcept
    {
        HWY_DYNAMIC_DISPATCH (PowerOf) (x, y, n, exponent);
    }
    void biquads (float* const* blocks, int count, int n, const float* coeffs, float* z) noexcept
    {
        HWY_DYNAMIC_DISPATCH (Biquads) (blocks, count, n, coeffs, z);
    }
}
#endif
