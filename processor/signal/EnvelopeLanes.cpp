// Compiled once per instruction set: Highway's foreach_target includes this file again for
// each one, and HWY_DYNAMIC_DISPATCH calls the best at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "processor/signal/EnvelopeLanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>
#include <hwy/contrib/math/math-inl.h>

#include "processor/signal/EnvelopeLanes.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#ifndef BRISALTO_ENVELOPE_LANES_LIMITS
#define BRISALTO_ENVELOPE_LANES_LIMITS
namespace EnvelopeLanes::limits
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
namespace EnvelopeLanes::HWY_NAMESPACE
{
    namespace hn = hwy::HWY_NAMESPACE;

    using D = hn::ScalableTag<float>;
    using DI = hn::RebindToSigned<D>;
    using DD = hn::ScalableTag<double>;
    using DF = hn::Rebind<float, DD>;  // as many floats as a double vector holds
    using V = hn::Vec<D>;
    using VI = hn::Vec<DI>;

    constexpr int maxLanes = HWY_MAX_BYTES / sizeof (float);
    constexpr int tileLength = 32;
    constexpr double dbPerNeper = 8.685889638065035;  // 20 / ln(10)

    // 20 log10 of each lane as dsp::toDb takes it: in double, rounded to float once; -144 at or
    // below 6.4e-8 and for NaN.
    HWY_INLINE V toDb (D d, V v)
    {
        HWY_ALIGN float a[maxLanes];
        hn::Store (v, d, a);
        const DD dd;
        const DF df;
        const int lanes = (int) hn::Lanes (d), half = (int) hn::Lanes (dd);
        for (int j = 0; j < lanes; j += half)
        {
            const auto x = hn::PromoteTo (dd, hn::LoadU (df, a + j));
            const auto isLevel = x > hn::Set (dd, 6.4e-8);
            auto db = hn::Mul (hn::Log (dd, hn::IfThenElse (isLevel, x, hn::Set (dd, 1.0))), hn::Set (dd, dbPerNeper));
            db = hn::IfThenElse (hn::IsInf (x), x, db);
            db = hn::IfThenElse (isLevel, db, hn::Set (dd, -144.0));
            hn::StoreU (hn::DemoteTo (df, db), df, a + j);
        }
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

    // One group of up to Lanes(d) channels through the block.
    class Group
    {
    public:
        Group (Channel* channels, int used, const Shape& shape) noexcept
            : ch (channels), used (used), shape (shape)
        {
            HWY_ALIGN float f[8][maxLanes] = {};
            HWY_ALIGN int32_t i[3][maxLanes] = {};
            for (int k = 0; k < used; ++k)
            {
                const auto& m = ch[k].motion;
                f[0][k] = m.gr; f[1][k] = m.releaseStep; f[2][k] = m.releaseStart; f[3][k] = m.attackTarget;
                f[4][k] = m.attackStep; f[5][k] = m.attackSum; f[6][k] = ch[k].thresholdDb;
                i[0][k] = m.countdown; i[1][k] = m.attackLength; i[2][k] = m.attackCount;
            }
            gr = hn::Load (d, f[0]); releaseStep = hn::Load (d, f[1]); releaseStart = hn::Load (d, f[2]);
            attackTarget = hn::Load (d, f[3]); attackStep = hn::Load (d, f[4]); attackSum = hn::Load (d, f[5]);
            threshold = hn::Load (d, f[6]); blockMax = hn::Zero (d);
            countdown = hn::Load (di, i[0]); attackLength = hn::Load (di, i[1]); attackCount = hn::Load (di, i[2]);

            const VI one = hn::Set (di, 1);
            releaseCount = shape.release.count < 1 ? hn::Max (attackLength, one) : hn::Set (di, shape.release.count);
            withAttack = hn::RebindMask (d, attackLength > hn::Zero (di));
            curveOn = limits::lastCurveCountdown (shape.release.lengthSamples, lastCurveCountdown);
        }

        void run (int n) noexcept
        {
            const int lanes = (int) hn::Lanes (d);
            for (int start = 0; start < n; start += tileLength)
            {
                const int steps = std::min (tileLength, n - start);
                for (int k = 0; k < used; ++k)
                    for (int t = 0; t < steps; ++t)
                    {
                        const int at = t * lanes + k, s = start + t;
                        tile.squares[at] = ch[k].squares[s];
                        tile.levels[at] = ch[k].levels[s];
                        tile.wanted[at] = ch[k].wantedForLevel[s];
                        tile.over[at] = ch[k].overThreshold[s];
                        if (shape.softLimiter)
                            tile.soft[at] = ch[k].peakPlusMakeup[s];
                    }
                for (int t = 0; t < steps; ++t)
                    step (t * lanes);
                for (int k = 0; k < used; ++k)
                    for (int t = 0; t < steps; ++t)
                        ch[k].grOut[start + t] = tile.gr[t * lanes + k];
            }
        }

        void store() noexcept
        {
            HWY_ALIGN float f[7][maxLanes] = {};
            HWY_ALIGN int32_t i[2][maxLanes] = {};
            hn::Store (gr, d, f[0]); hn::Store (releaseStep, d, f[1]); hn::Store (releaseStart, d, f[2]);
            hn::Store (attackTarget, d, f[3]); hn::Store (attackStep, d, f[4]); hn::Store (attackSum, d, f[5]);
            hn::Store (blockMax, d, f[6]);
            hn::Store (countdown, di, i[0]); hn::Store (attackCount, di, i[1]);
            for (int k = 0; k < used; ++k)
            {
                auto& m = ch[k].motion;
                m.gr = f[0][k]; m.releaseStep = f[1][k]; m.releaseStart = f[2][k]; m.attackTarget = f[3][k];
                m.attackStep = f[4][k]; m.attackSum = f[5][k]; ch[k].blockMax = f[6][k];
                m.countdown = i[0][k]; m.attackCount = i[1][k];
            }
        }

    private:
        V curve (V level) const noexcept
        {
            const auto over = hn::Sub (level, threshold);
            return hn::Sub (over, hn::Div (over, hn::Set (d, shape.ratio)));
        }

        void step (int at) noexcept
        {
            const V squares = hn::Load (d, tile.squares + at);
            const V level = hn::Load (d, tile.levels + at);
            V probe = level;

            const auto inAttack = attackStep > hn::Zero (d);
            const auto running = gr >= hn::Set (d, grRunning);
            if (! hn::AllFalse (d, inAttack))
                probe = attack (inAttack, squares, level, hn::Load (d, tile.wanted + at));
            const auto inRelease = hn::AndNot (inAttack, running);
            if (! hn::AllFalse (d, inRelease))
                release (inRelease);
            const auto atRest = hn::AndNot (inAttack, hn::Not (running));
            gr = hn::IfThenZeroElse (atRest, gr);
            releaseStep = hn::IfThenZeroElse (atRest, releaseStep);
            countdown = hn::IfThenZeroElse (hn::RebindMask (di, atRest), countdown);

            // -inf (wanting nothing) at or under the threshold.
            const V want = hn::IfThenElse (probe == level, hn::Load (d, tile.over + at),
                                           hn::IfThenElse (probe > threshold, curve (probe), hn::Set (d, -INFINITY)));
            follow (want, squares);
            if (shape.softLimiter)
            {
                const V peak = hn::Load (d, tile.soft + at);
                const auto up = peak > gr;
                gr = hn::IfThenElse (up, peak, gr);
                releaseStep = hn::IfThenZeroElse (up, releaseStep);
            }

            hn::Store (gr, d, tile.gr + at);
            blockMax = hn::IfThenElse (blockMax < gr, gr, blockMax);
        }

        // A running attack; returns the level each lane is judged by.
        V attack (hn::Mask<D> lanes, V squares, V level, V wantedForLevel) noexcept
        {
            const V g = hn::Add (gr, attackStep);
            const auto reached = hn::And (lanes, g >= attackTarget);
            gr = hn::IfThenElse (lanes, hn::IfThenElse (reached, attackTarget, g), gr);
            attackStep = hn::IfThenZeroElse (reached, attackStep);

            // While the target lies above what the sample wants: re-aim at the running RMS.
            const auto rms = hn::AndNot (reached, hn::And (lanes, attackTarget > wantedForLevel));
            if (hn::AllFalse (d, rms))
                return level;
            const auto rmsI = hn::RebindMask (di, rms);
            const VI one = hn::Set (di, 1);
            attackSum = hn::IfThenElse (rms, hn::Add (attackSum, squares), attackSum);
            attackCount = hn::IfThenElse (hn::And (rmsI, attackCount < hn::Set (di, INT32_MAX)),
                                          hn::Add (attackCount, one), attackCount);
            const V rmsDb = toDb (d, hn::Sqrt (hn::Div (attackSum, hn::ConvertTo (d, attackCount))));
            const V w = curve (rmsDb);
            const auto aim = hn::And (rms, w > g);
            attackTarget = hn::IfThenElse (aim, w, attackTarget);
            releaseStep = hn::IfThenZeroElse (aim, releaseStep);
            const VI remaining = hn::IfThenElse (attackLength < attackCount, one,
                                                 hn::Sub (hn::Add (attackLength, one), attackCount));
            attackStep = hn::IfThenElse (aim, hn::Div (w, hn::ConvertTo (d, hn::Max (remaining, one))), attackStep);
            return hn::IfThenElse (rms, rmsDb, level);
        }

        void release (hn::Mask<D> lanes) noexcept
        {
            const V stepRunning = hn::Set (d, releaseStepRunning);
            const auto lanesI = hn::RebindMask (di, lanes);
            const VI one = hn::Set (di, 1);

            const auto start = hn::And (lanes, releaseStep < stepRunning);
            if (! hn::AllFalse (d, start))
            {
                releaseStart = hn::IfThenElse (start, gr, releaseStart);
                V s = hn::Div (gr, hn::ConvertTo (d, releaseCount));
                // A very long release would otherwise fall below the "running" mark.
                if (shape.release.nonLinear)
                    s = hn::IfThenElse (s < stepRunning, hn::Set (d, 2.0e-7f), s);
                releaseStep = hn::IfThenElse (start, s, releaseStep);
                countdown = hn::IfThenElse (hn::RebindMask (di, start), releaseCount, countdown);
            }

            if (shape.release.nonLinear)
            {
                V g = releaseStart;
                if (curveOn)
                {
                    const auto onCurve = hn::AndNot (hn::RebindMask (d, countdown > hn::Set (di, lastCurveCountdown)), lanes);
                    if (! hn::AllFalse (d, onCurve))
                    {
                        const V length = hn::Set (d, shape.release.lengthSamples);
                        const V base = hn::Div (hn::Sub (length, hn::ConvertTo (d, countdown)), length);
                        const V p = power (d, hn::IfThenElse (onCurve, base, hn::Set (d, 1.0f)), shape.release.exponent);
                        g = hn::IfThenElse (onCurve, hn::Mul (releaseStart, hn::Sub (hn::Set (d, 1.0f), p)), g);
                    }
                }
                gr = hn::IfThenElse (lanes, g, gr);
                attackTarget = hn::IfThenElse (lanes, g, attackTarget);
                const auto last = hn::And (lanesI, countdown < hn::Set (di, 2));
                countdown = hn::IfThenElse (lanesI, hn::Sub (countdown, one), countdown);
                gr = hn::IfThenZeroElse (hn::RebindMask (d, last), gr);
                countdown = hn::IfThenZeroElse (last, countdown);
            }
            else
            {
                gr = hn::IfThenElse (lanes, hn::Sub (gr, releaseStep), gr);
                attackTarget = hn::IfThenElse (lanes, hn::Sub (attackTarget, releaseStep), attackTarget);
            }

            const auto down = hn::And (lanes, gr <= hn::Zero (d));
            gr = hn::IfThenZeroElse (down, gr);
            countdown = hn::IfThenZeroElse (hn::RebindMask (di, down), countdown);
        }

        // A sample that wants more than the envelope gives: a new attack towards it (or,
        // without an attack time, the reduction at once).
        void follow (V want, V squares) noexcept
        {
            const auto aim = hn::And (withAttack, want > attackTarget);
            attackTarget = hn::IfThenElse (aim, want, attackTarget);
            releaseStep = hn::IfThenZeroElse (aim, releaseStep);
            attackStep = hn::IfThenElse (aim, hn::Div (want, hn::ConvertTo (d, attackLength)), attackStep);
            attackSum = hn::IfThenElse (aim, squares, attackSum);
            attackCount = hn::IfThenElse (hn::RebindMask (di, aim), hn::Set (di, 1), attackCount);

            const auto jump = hn::AndNot (withAttack, want > gr);
            gr = hn::IfThenElse (jump, want, gr);
            releaseStep = hn::IfThenZeroElse (jump, releaseStep);
        }

        const D d;
        const DI di;
        Channel* ch;
        int used;
        const Shape& shape;

        V gr, releaseStep, releaseStart, attackTarget, attackStep, attackSum, threshold, blockMax;
        VI countdown, attackLength, attackCount, releaseCount;
        hn::Mask<D> withAttack;
        bool curveOn = false;
        int32_t lastCurveCountdown = 0;
        // (double) gr > 0.01 and (double) releaseStep <= 1e-7 as float comparisons.
        const float grRunning = limits::firstFloatAbove (0.01);
        const float releaseStepRunning = limits::firstFloatAbove (1e-7);

        // The block's samples a tile at a time, one step's channels side by side; the lanes of
        // absent channels hold zeros.
        struct Tile
        {
            HWY_ALIGN float squares[tileLength * maxLanes] = {};
            HWY_ALIGN float levels[tileLength * maxLanes] = {};
            HWY_ALIGN float wanted[tileLength * maxLanes] = {};
            HWY_ALIGN float over[tileLength * maxLanes] = {};
            HWY_ALIGN float soft[tileLength * maxLanes] = {};
            HWY_ALIGN float gr[tileLength * maxLanes] = {};
        } tile;
    };

    void Run (Channel* channels, int count, int n, const Shape& shape)
    {
        const D d;
        const int lanes = (int) hn::Lanes (d);
        for (int first = 0; first < count; first += lanes)
        {
            Group group (channels + first, std::min (lanes, count - first), shape);
            group.run (n);
            group.store();
        }
    }
}
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace EnvelopeLanes
{
    HWY_EXPORT (Run);

    void run (Channel* channels, int count, int n, const Shape& shape) noexcept
    {
        if (count > 0 && n > 0)
            HWY_DYNAMIC_DISPATCH (Run) (channels, count, n, shape);
    }
}
#endif
