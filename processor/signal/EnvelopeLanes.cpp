// Compiled once per instruction set: Highway's foreach_target includes this file again for
// each one, and HWY_DYNAMIC_DISPATCH calls the best at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "processor/signal/EnvelopeLanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>
#include <hwy/contrib/math/math-inl.h>
#include "processor/common/DbLanes-inl.h"

#include "processor/common/DbConversion.h"
#include "processor/signal/EnvelopeLanes.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#ifndef BRISALTO_ENVELOPE_LANES_LIMITS
    #define BRISALTO_ENVELOPE_LANES_LIMITS
namespace brisalto::EnvelopeLanes::limits
{
    // The one-channel loop compares floats with doubles; as float comparisons these need the
    // first float above the double.
    inline float firstFloatAbove (double v) noexcept
    {
        float f = (float) v;
        if ((double) f <= v)
            f = std::nextafter (f, INFINITY);
        return f;
    }

    // The largest countdown c for which the release curve is computed, (double) R > c + 0.001;
    // false when there is none.
    inline bool lastCurveCountdown (float releaseLength, int32_t& last) noexcept
    {
        const double r = releaseLength;
        const auto onCurve = [r] (int64_t c) { return r > (double) c + 0.001; };
        if (! onCurve (INT32_MIN))  // NaN too
            return false;
        const double below = std::floor (r - 0.001);
        if (below >= (double) INT32_MAX)
        {
            last = INT32_MAX;
            return true;
        }
        int64_t c = std::max ((int64_t) INT32_MIN, (int64_t) below);
        while (c < INT32_MAX && onCurve (c + 1))
            ++c;
        while (! onCurve (c))
            --c;
        last = (int32_t) c;
        return true;
    }
}
#endif

HWY_BEFORE_NAMESPACE();
namespace brisalto::EnvelopeLanes::HWY_NAMESPACE
{
    namespace hn = hwy::HWY_NAMESPACE;

    using D = hn::ScalableTag<float>;
    using DI = hn::RebindToSigned<D>;
    using DD = hn::ScalableTag<double>;
    using DF = hn::Rebind<float, DD>;  // as many floats as a double vector holds
    using V = hn::Vec<D>;
    using VI = hn::Vec<DI>;

    constexpr int maxLanes = HWY_MAX_BYTES / sizeof (float);
    constexpr int tileLength = 16;

    // brisalto::dsp::toDb of the lanes in `lanes` (in double, as the one-channel loop takes it), one lane
    // at a time: few lanes need it at once.
    HWY_INLINE V toDb (D d, V v, hn::Mask<D> lanes)
    {
        HWY_ALIGN float a[maxLanes], on[maxLanes];
        hn::Store (v, d, a);
        hn::Store (hn::VecFromMask (d, lanes), d, on);
        const int count = (int) hn::Lanes (d);
        for (int k = 0; k < count; ++k)
            if (on[k] != 0.0f)
                a[k] = brisalto::dsp::toDb (a[k]);
        return hn::Load (d, a);
    }

    // base^exponent in each lane, as the C library's powf gives it for base > 0: in double,
    // rounded to float once. Any other base is left to the C library.
    HWY_INLINE V power (D d, V base, float exponent)
    {
        HWY_ALIGN float a[maxLanes], b[maxLanes];
        hn::Store (base, d, b);
        const DD dd;
        const DF df;
        const int lanes = (int) hn::Lanes (d), half = (int) hn::Lanes (dd);
        for (int j = 0; j < lanes; j += half)
        {
            const auto x = hn::PromoteTo (dd, hn::LoadU (df, b + j));
            const auto safe = hn::IfThenElse (x > hn::Zero (dd), x, hn::Set (dd, 1.0));
            const auto r = hn::Exp (dd, hn::Mul (hn::Log (dd, safe), hn::Set (dd, (double) exponent)));
            hn::StoreU (hn::DemoteTo (df, r), df, a + j);
        }
        for (int k = 0; k < lanes; ++k)
            if (! (b[k] > 0.0f && b[k] <= 3.0e38f))
                a[k] = std::pow (b[k], exponent);
        return hn::Load (d, a);
    }

    // The envelope's running values of one group of channels, a lane each.
    struct Motion
    {
        V gr, releaseStep, releaseStart, attackTarget, attackStep, attackSum;
        VI countdown, attackCount;
    };

    // What a group's channels keep through the block.
    struct Fixed
    {
        V threshold, ratio;
        VI attackLength, releaseCount;
        hn::Mask<D> withAttack;
        float releaseLength = 0.0f, exponent = 1.0f;
        bool nonLinear = false, curveOn = false;
        int32_t lastCurveCountdown = 0;
        // (double) gr > 0.01 and (double) releaseStep <= 1e-7 as float comparisons.
        float grRunning = 0.0f, releaseStepRunning = 0.0f;
    };

    HWY_INLINE V curve (const Fixed& f, V level)
    {
        const auto over = hn::Sub (level, f.threshold);
        return hn::Sub (over, hn::Div (over, f.ratio));
    }

    // A running attack; returns the level each lane is judged by.
    HWY_INLINE V attack (Motion& m, const Fixed& f, hn::Mask<D> lanes, V squares, V level, V wantedForLevel)
    {
        const D d;
        const DI di;
        const V g = hn::Add (m.gr, m.attackStep);
        const auto reached = hn::And (lanes, g >= m.attackTarget);
        m.gr = hn::IfThenElse (lanes, hn::IfThenElse (reached, m.attackTarget, g), m.gr);
        m.attackStep = hn::IfThenZeroElse (reached, m.attackStep);

        // While the target lies above what the sample wants: re-aim at the running RMS.
        const auto rms = hn::AndNot (reached, hn::And (lanes, m.attackTarget > wantedForLevel));
        if (hn::AllFalse (d, rms))
            return level;
        const auto rmsI = hn::RebindMask (di, rms);
        const VI one = hn::Set (di, 1);
        m.attackSum = hn::IfThenElse (rms, hn::Add (m.attackSum, squares), m.attackSum);
        m.attackCount =
            hn::IfThenElse (hn::And (rmsI, m.attackCount < hn::Set (di, INT32_MAX)), hn::Add (m.attackCount, one), m.attackCount);
        const V rmsDb = toDb (d, hn::Sqrt (hn::Div (m.attackSum, hn::ConvertTo (d, m.attackCount))), rms);
        const V w = curve (f, rmsDb);
        const auto aim = hn::And (rms, w > g);
        m.attackTarget = hn::IfThenElse (aim, w, m.attackTarget);
        m.releaseStep = hn::IfThenZeroElse (aim, m.releaseStep);
        const VI remaining =
            hn::IfThenElse (f.attackLength < m.attackCount, one, hn::Sub (hn::Add (f.attackLength, one), m.attackCount));
        m.attackStep = hn::IfThenElse (aim, hn::Div (w, hn::ConvertTo (d, hn::Max (remaining, one))), m.attackStep);
        return hn::IfThenElse (rms, rmsDb, level);
    }

    HWY_INLINE void release (Motion& m, const Fixed& f, hn::Mask<D> lanes)
    {
        const D d;
        const DI di;
        const V stepRunning = hn::Set (d, f.releaseStepRunning);
        const auto lanesI = hn::RebindMask (di, lanes);
        const VI one = hn::Set (di, 1);

        const auto start = hn::And (lanes, m.releaseStep < stepRunning);
        if (! hn::AllFalse (d, start))
        {
            m.releaseStart = hn::IfThenElse (start, m.gr, m.releaseStart);
            V s = hn::Div (m.gr, hn::ConvertTo (d, f.releaseCount));
            // A very long release would otherwise fall below the "running" mark.
            if (f.nonLinear)
                s = hn::IfThenElse (s < stepRunning, hn::Set (d, 2.0e-7f), s);
            m.releaseStep = hn::IfThenElse (start, s, m.releaseStep);
            m.countdown = hn::IfThenElse (hn::RebindMask (di, start), f.releaseCount, m.countdown);
        }

        if (f.nonLinear)
        {
            V g = m.releaseStart;
            if (f.curveOn)
            {
                const auto onCurve = hn::AndNot (hn::RebindMask (d, m.countdown > hn::Set (di, f.lastCurveCountdown)), lanes);
                if (! hn::AllFalse (d, onCurve))
                {
                    const V length = hn::Set (d, f.releaseLength);
                    const V base = hn::Div (hn::Sub (length, hn::ConvertTo (d, m.countdown)), length);
                    const V p = power (d, hn::IfThenElse (onCurve, base, hn::Set (d, 1.0f)), f.exponent);
                    g = hn::IfThenElse (onCurve, hn::Mul (m.releaseStart, hn::Sub (hn::Set (d, 1.0f), p)), g);
                }
            }
            m.gr = hn::IfThenElse (lanes, g, m.gr);
            m.attackTarget = hn::IfThenElse (lanes, g, m.attackTarget);
            const auto last = hn::And (lanesI, m.countdown < hn::Set (di, 2));
            m.countdown = hn::IfThenElse (lanesI, hn::Sub (m.countdown, one), m.countdown);
            m.gr = hn::IfThenZeroElse (hn::RebindMask (d, last), m.gr);
            m.countdown = hn::IfThenZeroElse (last, m.countdown);
        }
        else
        {
            m.gr = hn::IfThenElse (lanes, hn::Sub (m.gr, m.releaseStep), m.gr);
            m.attackTarget = hn::IfThenElse (lanes, hn::Sub (m.attackTarget, m.releaseStep), m.attackTarget);
        }

        const auto down = hn::And (lanes, m.gr <= hn::Zero (d));
        m.gr = hn::IfThenZeroElse (down, m.gr);
        m.countdown = hn::IfThenZeroElse (hn::RebindMask (di, down), m.countdown);
    }

    // A sample that wants more than the envelope gives: a new attack towards it (or, without
    // an attack time, the reduction at once).
    HWY_INLINE void follow (Motion& m, const Fixed& f, V want, V squares)
    {
        const D d;
        const DI di;
        const auto aim = hn::And (f.withAttack, want > m.attackTarget);
        m.attackTarget = hn::IfThenElse (aim, want, m.attackTarget);
        m.releaseStep = hn::IfThenZeroElse (aim, m.releaseStep);
        m.attackStep = hn::IfThenElse (aim, hn::Div (want, hn::ConvertTo (d, f.attackLength)), m.attackStep);
        m.attackSum = hn::IfThenElse (aim, squares, m.attackSum);
        m.attackCount = hn::IfThenElse (hn::RebindMask (di, aim), hn::Set (di, 1), m.attackCount);

        const auto jump = hn::AndNot (f.withAttack, want > m.gr);
        m.gr = hn::IfThenElse (jump, want, m.gr);
        m.releaseStep = hn::IfThenZeroElse (jump, m.releaseStep);
    }

    // Up to this many groups of channels go through each step together: their recurrences
    // overlap.
    constexpr int groupsAtOnce = 2;

    // The block's samples a tile at a time, one step's channels side by side; the lanes of
    // absent channels hold zeros. The levels, wants and squares of a tile are worked out before
    // its steps, a vector at a time.
    struct Tile
    {
        static constexpr int size = tileLength * maxLanes * groupsAtOnce;
        HWY_ALIGN float detector[size];
        HWY_ALIGN float makeup[size];
        HWY_ALIGN float levels[size];
        HWY_ALIGN float wanted[size];
        HWY_ALIGN float over[size];
        HWY_ALIGN float squares[size];
        HWY_ALIGN float gr[size];
    };

    // A group's running values and settings, from its `used` channels (the rest at rest).
    HWY_INLINE void loadGroup (const Channel* ch, int used, const Shape& shape, Motion& m, Fixed& f)
    {
        const D d;
        const DI di;
        HWY_ALIGN float a[7][maxLanes] = {};
        HWY_ALIGN int32_t i[3][maxLanes] = {};
        for (int k = 0; k < used; ++k)
        {
            const auto& s = ch[k].motion;
            a[0][k] = s.gr;
            a[1][k] = s.releaseStep;
            a[2][k] = s.releaseStart;
            a[3][k] = s.attackTarget;
            a[4][k] = s.attackStep;
            a[5][k] = s.attackSum;
            a[6][k] = ch[k].thresholdDb;
            i[0][k] = s.countdown;
            i[1][k] = s.attackLength;
            i[2][k] = s.attackCount;
        }
        m = { hn::Load (d, a[0]), hn::Load (d, a[1]), hn::Load (d, a[2]),  hn::Load (d, a[3]),
              hn::Load (d, a[4]), hn::Load (d, a[5]), hn::Load (di, i[0]), hn::Load (di, i[2]) };
        const VI attackLength = hn::Load (di, i[1]), one = hn::Set (di, 1);
        f.threshold = hn::Load (d, a[6]);
        f.ratio = hn::Set (d, shape.ratio);
        f.attackLength = attackLength;
        f.releaseCount = shape.release.count < 1 ? hn::Max (attackLength, one) : hn::Set (di, shape.release.count);
        f.withAttack = hn::RebindMask (d, attackLength > hn::Zero (di));
        f.releaseLength = shape.release.lengthSamples;
        f.exponent = shape.release.exponent;
        f.nonLinear = shape.release.nonLinear;
        f.curveOn = limits::lastCurveCountdown (shape.release.lengthSamples, f.lastCurveCountdown);
        f.grRunning = limits::firstFloatAbove (0.01);
        f.releaseStepRunning = limits::firstFloatAbove (1e-7);
    }

    HWY_INLINE void storeGroup (Channel* ch, int used, const Motion& m, V blockMax)
    {
        const D d;
        const DI di;
        HWY_ALIGN float a[7][maxLanes] = {};
        HWY_ALIGN int32_t i[2][maxLanes] = {};
        hn::Store (m.gr, d, a[0]);
        hn::Store (m.releaseStep, d, a[1]);
        hn::Store (m.releaseStart, d, a[2]);
        hn::Store (m.attackTarget, d, a[3]);
        hn::Store (m.attackStep, d, a[4]);
        hn::Store (m.attackSum, d, a[5]);
        hn::Store (blockMax, d, a[6]);
        hn::Store (m.countdown, di, i[0]);
        hn::Store (m.attackCount, di, i[1]);
        for (int k = 0; k < used; ++k)
        {
            auto& s = ch[k].motion;
            s.gr = a[0][k];
            s.releaseStep = a[1][k];
            s.releaseStart = a[2][k];
            s.attackTarget = a[3][k];
            s.attackStep = a[4][k];
            s.attackSum = a[5][k];
            ch[k].blockMax = a[6][k];
            s.countdown = i[0][k];
            s.attackCount = i[1][k];
        }
    }

    // One sample of a group: the tile's vectors at `at`.
    HWY_INLINE void step (Motion& m, const Fixed& f, V& blockMax, Tile& tile, int at, bool softLimiter)
    {
        const D d;
        const DI di;
        const V squares = hn::Load (d, tile.squares + at);
        const V level = hn::Load (d, tile.levels + at);
        V probe = level;

        const auto inAttack = m.attackStep > hn::Zero (d);
        const auto running = m.gr >= hn::Set (d, f.grRunning);
        if (! hn::AllFalse (d, inAttack))
            probe = attack (m, f, inAttack, squares, level, hn::Load (d, tile.wanted + at));
        const auto inRelease = hn::AndNot (inAttack, running);
        if (! hn::AllFalse (d, inRelease))
            release (m, f, inRelease);
        const auto atRest = hn::AndNot (inAttack, hn::Not (running));
        m.gr = hn::IfThenZeroElse (atRest, m.gr);
        m.releaseStep = hn::IfThenZeroElse (atRest, m.releaseStep);
        m.countdown = hn::IfThenZeroElse (hn::RebindMask (di, atRest), m.countdown);

        // -inf (wanting nothing) at or under the threshold.
        const V want = hn::IfThenElse (probe == level, hn::Load (d, tile.over + at),
                                       hn::IfThenElse (probe > f.threshold, curve (f, probe), hn::Set (d, -INFINITY)));
        follow (m, f, want, squares);
        if (softLimiter)
        {
            // The soft limiter: the level plus makeup never above 0 dB.
            const V peak = hn::Add (level, hn::Load (d, tile.makeup + at));
            const auto up = peak > m.gr;
            m.gr = hn::IfThenElse (up, peak, m.gr);
            m.releaseStep = hn::IfThenZeroElse (up, m.releaseStep);
        }

        hn::Store (m.gr, d, tile.gr + at);
        blockMax = hn::IfThenElse (blockMax < m.gr, m.gr, blockMax);
    }

    // `groups` groups of channels (used channels in all) through the block.
    template <int groups>
    void RunGroups (Channel* ch, int used, int n, const Shape& shape, Tile& tile)
    {
        const D d;
        const int lanes = (int) hn::Lanes (d), width = groups * lanes;
        const bool softLimiter = shape.softLimiter;

        Motion m[groups];
        Fixed f[groups];
        V blockMax[groups];
        for (int g = 0; g < groups; ++g)
        {
            loadGroup (ch + g * lanes, std::max (0, std::min (lanes, used - g * lanes)), shape, m[g], f[g]);
            blockMax[g] = hn::Zero (d);
        }

        for (int k = used; k < width; ++k)
            for (int t = 0; t < tileLength; ++t)
                tile.detector[t * width + k] = tile.makeup[t * width + k] = 0.0f;

        for (int start = 0; start < n; start += tileLength)
        {
            const int steps = std::min (tileLength, n - start);
            for (int k = 0; k < used; ++k)
            {
                for (int t = 0; t < steps; ++t)
                    tile.detector[t * width + k] = ch[k].detector[start + t];
                if (softLimiter)
                    for (int t = 0; t < steps; ++t)
                        tile.makeup[t * width + k] = ch[k].makeupDb[start + t];
            }
            for (int t = 0; t < steps; ++t)
                for (int g = 0; g < groups; ++g)
                {
                    const int at = t * width + g * lanes;
                    const V x = hn::Load (d, tile.detector + at);
                    const V level = brisalto::dsp::lanes::HWY_NAMESPACE::magnitudesToDb (d, x);
                    const V w = curve (f[g], level);
                    hn::Store (level, d, tile.levels + at);
                    hn::Store (w, d, tile.wanted + at);
                    hn::Store (hn::IfThenElse (level > f[g].threshold, w, hn::Set (d, -INFINITY)), d, tile.over + at);
                    hn::Store (hn::Mul (x, x), d, tile.squares + at);
                }

            for (int t = 0; t < steps; ++t)
                for (int g = 0; g < groups; ++g)
                    step (m[g], f[g], blockMax[g], tile, t * width + g * lanes, softLimiter);

            for (int k = 0; k < used; ++k)
                for (int t = 0; t < steps; ++t)
                    ch[k].grOut[start + t] = tile.gr[t * width + k];
        }

        for (int g = 0; g < groups; ++g)
            storeGroup (ch + g * lanes, std::max (0, std::min (lanes, used - g * lanes)), m[g], blockMax[g]);
    }

    int Width()
    {
        return (int) hn::Lanes (D());
    }

    void Run (Channel* channels, int count, int n, const Shape& shape)
    {
        const D d;
        const int lanes = (int) hn::Lanes (d);
        Tile tile;
        for (int first = 0; first < count; first += groupsAtOnce * lanes)
        {
            const int used = std::min (groupsAtOnce * lanes, count - first);
            switch ((used + lanes - 1) / lanes)
            {
                case 1: RunGroups<1> (channels + first, used, n, shape, tile); break;
                case 2: RunGroups<2> (channels + first, used, n, shape, tile); break;
                case 3: RunGroups<3> (channels + first, used, n, shape, tile); break;
                default: RunGroups<4> (channels + first, used, n, shape, tile); break;
            }
        }
    }
}
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace brisalto::EnvelopeLanes
{
    HWY_EXPORT (Run);
    HWY_EXPORT (Width);

    int width() noexcept
    {
        return HWY_DYNAMIC_DISPATCH (Width)();
    }

    void run (Channel* channels, int count, int n, const Shape& shape) noexcept
    {
        if (count > 0 && n > 0)
            HWY_DYNAMIC_DISPATCH (Run) (channels, count, n, shape);
    }
}
#endif
