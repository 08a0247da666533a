#include "processor/signal/Envelope.h"
#include "processor/signal/EnvelopeLanes.h"

#include "processor/common/BlockMath.h"
#include "processor/common/DbConversion.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace
{
    constexpr float minRunningReleaseStep = 2.0e-7f;  // above the "release running" mark
    constexpr float maxReleaseSamples = 1.0e9f;
    constexpr float minusInfinity = -std::numeric_limits<float>::infinity();

    // The reduction the static curve wants for a level.
    struct Curve
    {
        float threshold, ratio;
        float operator() (float level) const noexcept { return (level - threshold) - (level - threshold) / ratio; }
    };

    using Motion = EnvelopeMotion;

    // One step of a running attack. While the target lies above what the sample wants, the
    // attack re-aims at the running RMS since it began; returns the level the sample is judged
    // by (that RMS, or the sample's own level).
    inline float attackStep (Motion& m, float x, float level, float wantedForLevel, const Curve& wanted) noexcept
    {
        const float g = m.gr + m.attackStep;
        m.gr = g;
        if (g >= m.attackTarget)
        {
            m.gr = m.attackTarget;
            m.attackStep = 0.0f;
            return level;
        }
        if (! (m.attackTarget > wantedForLevel))
            return level;

        m.attackSum += x * x;
        if (m.attackCount < INT_MAX)
            ++m.attackCount;
        const float rmsDb = brisalto::dsp::toDb (std::sqrt (m.attackSum / (float) m.attackCount));
        if (wanted (rmsDb) > g)
        {
            m.attackTarget = wanted (rmsDb);
            m.releaseStep = 0.0f;
            const int remaining = m.attackLength >= m.attackCount ? m.attackLength + 1 - m.attackCount : 1;
            m.attackStep = wanted (rmsDb) / (float) std::max (1, remaining);
        }
        return rmsDb;
    }

    // Starts a release at the current reduction: its step and the samples it takes.
    inline void startRelease (Motion& m, const ReleaseShape& r) noexcept
    {
        m.releaseStart = m.gr;
        int count = r.count;
        if (count < 1)
            count = std::max (1, m.attackLength);
        m.releaseStep = m.gr / (float) count;
        m.countdown = count;
        // A very long release would otherwise fall below the "running" mark and restart on
        // every sample, holding the curve at its start.
        if (r.nonLinear && (double) m.releaseStep <= 1e-7)
            m.releaseStep = minRunningReleaseStep;
    }

    // One step of the release: the curve from its start down to 0, or a straight line.
    inline void releaseStep (Motion& m, const ReleaseShape& r) noexcept
    {
        if ((double) m.releaseStep <= 1e-7)
            startRelease (m, r);

        if (r.nonLinear)
        {
            const float R = r.lengthSamples;
            float g = m.releaseStart;
            if ((double) R > (double) m.countdown + 0.001)
                g = m.releaseStart * (1.0f - std::pow ((R - (float) m.countdown) / R, r.exponent));
            m.gr = g;
            m.attackTarget = g;
            const bool wasLast = m.countdown < 2;
            --m.countdown;
            if (wasLast)
            {
                m.gr = 0.0f;
                m.countdown = 0;
            }
        }
        else
        {
            m.gr -= m.releaseStep;
            m.attackTarget -= m.releaseStep;
        }

        if (m.gr <= 0.0f)
        {
            m.gr = 0.0f;
            m.countdown = 0;
        }
    }

    inline void rest (Motion& m) noexcept
    {
        m.gr = 0.0f;
        m.releaseStep = 0.0f;
        m.countdown = 0;
    }

    // A sample that wants more than the envelope gives: a new attack towards it (or, without
    // an attack time, the reduction at once).
    inline void follow (Motion& m, float want, float x) noexcept
    {
        if (m.attackLength > 0)
        {
            if (want > m.attackTarget)
            {
                m.attackTarget = want;
                m.releaseStep = 0.0f;
                m.attackStep = want / (float) m.attackLength;
                m.attackSum = x * x;
                m.attackCount = 1;
            }
        }
        else if (want > m.gr)
        {
            m.gr = want;
            m.releaseStep = 0.0f;
        }
    }

    // The soft limiter: the reduction never lets the peak level plus makeup above 0 dB.
    inline void softLimit (Motion& m, float peakPlusMakeupDb) noexcept
    {
        if (peakPlusMakeupDb > m.gr)
        {
            m.gr = peakPlusMakeupDb;
            m.releaseStep = 0.0f;
        }
    }

    // The block's inputs and outputs, per sample.
    struct EnvelopeBlock
    {
        const float* detector;
        const float* levels;
        const float* softLevels;
        const float* wantedForLevel;
        const float* overThreshold;
        const float* makeupDb;
        float* grOut;
        int n;
    };

    // The envelope sample by sample (the soft limiter decided at compile time, so that the loop
    // tests nothing it does not need); returns the block's largest reduction.
    template <bool softLimiter>
    float envelopeLoop (Motion& motion, const EnvelopeBlock& b, const Curve& wanted, const ReleaseShape& release) noexcept
    {
        Motion m = motion;
        const float threshold = wanted.threshold;
        float blockMax = 0.0f;
        for (int i = 0; i < b.n; ++i)
        {
            const float x = b.detector[i];
            const float level = b.levels[i];
            float probe = level;

            if (m.attackStep > 0.0f)
                probe = attackStep (m, x, level, b.wantedForLevel[i], wanted);
            else if ((double) m.gr > 0.01)
                releaseStep (m, release);
            else
                rest (m);

            // -inf (wanting nothing) at or under the threshold.
            const float want = probe == level ? b.overThreshold[i] : (probe > threshold ? wanted (probe) : minusInfinity);
            follow (m, want, x);
            if (softLimiter)
                softLimit (m, b.softLevels[i] + b.makeupDb[i]);

            b.grOut[i] = m.gr;
            blockMax = std::max (blockMax, m.gr);
        }
        motion = m;
        return blockMax;
    }

    // The levels of the block, independent of the envelope: each sample's level in dB, what
    // the curve wants for it, that want where the level is over the threshold (else -inf), and
    // the soft limiter's peak levels. Returns the peak levels (the sample levels without a
    // peak signal).
    const float* blockLevels (channelComprStateT& state, const Envelope::Input& in, bool softLimiter,
                              const Curve& wanted) noexcept
    {
        const int n = in.n;
        const float threshold = in.thresholdDb;  // a local: the stores below could alias `in`
        float* levels = state.mLevelScratch.data();
        float* softLevels = levels + n;
        float* wantedForLevel = levels + 2 * n;
        float* overThreshold = levels + 3 * n;
        brisalto::dsp::block::magnitudesToDb (in.detector, levels, n);
        for (int i = 0; i < n; ++i)
        {
            wantedForLevel[i] = wanted (levels[i]);
            overThreshold[i] = levels[i] > threshold ? wantedForLevel[i] : minusInfinity;
        }
        if (softLimiter && in.peakSquares != nullptr)
        {
            brisalto::dsp::block::powersToDb (in.peakSquares, softLevels, n);
            return softLevels;
        }
        return levels;
    }

    // The makeup of each sample in dB, into out: the smoothed manual makeup (plus the auto
    // gain) or a constant, depending on the makeup variant.
    void blockMakeup (channelComprStateT& state, const DetectorSettings& s, float relative, float autoGainDb, float* out,
                      int n) noexcept
    {
        float shift = s.makeupDb + relative;
        bool followsSmoother = false;
        if (s.adaptive)
        {
            if (s.maxMakeup)
                shift = std::min (25.0f, s.autoMakeupDb * 0.5f) + (s.autoGain ? 0.0f : relative);
            else if (s.autoGain)
                shift = autoGainDb + s.makeupDb;
        }
        else
        {
            followsSmoother = s.autoGain || ! s.maxMakeup;
            shift = s.autoGain ? autoGainDb : (s.maxMakeup ? s.autoMakeupDb : 0.0f);
        }
        auto& smoother = state.mMakeupSmoother;
        int i = 0;
        for (; i < n && smoother.isSmoothing(); ++i)
        {
            const float mk = smoother.getNextValue();
            out[i] = followsSmoother ? mk + shift : shift;
        }
        // At rest the smoother gives its target on every sample.
        const float steady = followsSmoother ? smoother.getTargetValue() + shift : shift;
        std::fill (out + i, out + n, steady);
    }
}

ReleaseShape Envelope::releaseShape (const DetectorSettings& s) noexcept
{
    const float fsms = s.sampleRate / 1000.0f;
    float samples = s.releaseMs * fsms;
    if (! (samples >= 0.0f))
        samples = 0.0f;
    return { s.releaseMs * fsms, (int) std::min (samples, maxReleaseSamples), s.nonLinearRelease, s.releaseExponent };
}

namespace
{
    // The adaptive threshold's makeup for a quiet programme.
    float relativeMakeup (const DetectorSettings& s, float adaptiveLevel) noexcept
    {
        return adaptiveLevel < -10.0f ? s.adaptiveRelativeGain * 18.0f * ((-10.0f - std::max (-60.0f, adaptiveLevel)) / 20.0f)
                                      : 0.0f;
    }
}

void Envelope::run (channelComprStateT& state, const Input& in, const DetectorSettings& s, float autoGainDb) noexcept
{
    const int n = in.n;
    const Curve wanted { in.thresholdDb, s.ratio };
    const ReleaseShape release = releaseShape (s);

    float* grOut = state.mGrPerSampleDb.data();
    float* gainOut = state.mGainPerSample.data();  // holds the makeup in dB until the last pass
    const float* softLevels = blockLevels (state, in, s.softLimiter, wanted);
    const float* levels = state.mLevelScratch.data();
    const float* wantedForLevel = levels + 2 * n;
    const float* overThreshold = levels + 3 * n;
    blockMakeup (state, s, relativeMakeup (s, in.adaptiveLevelDb), autoGainDb, gainOut, n);

    Motion m = Motion::of (state);
    const EnvelopeBlock block { in.detector, levels, softLevels, wantedForLevel, overThreshold, gainOut, grOut, n };
    const float blockMax =
        s.softLimiter ? envelopeLoop<true> (m, block, wanted, release) : envelopeLoop<false> (m, block, wanted, release);
    finishBlock (state, m, blockMax, n);
}

brisalto::EnvelopeLanes::Channel Envelope::prepareLane (channelComprStateT& state, const Input& in, const DetectorSettings& s,
                                                        bool makeupFirst, float autoGainDb) noexcept
{
    brisalto::EnvelopeLanes::Channel lane;
    lane.detector = in.detector;
    lane.grOut = state.mGrPerSampleDb.data();
    lane.thresholdDb = in.thresholdDb;
    lane.motion = Motion::of (state);
    if (makeupFirst)
    {
        float* makeup = state.mGainPerSample.data();  // holds the makeup in dB until the last pass
        blockMakeup (state, s, relativeMakeup (s, in.adaptiveLevelDb), autoGainDb, makeup, in.n);
        lane.makeupDb = makeup;
    }
    return lane;
}

void Envelope::finishLane (channelComprStateT& state, const brisalto::EnvelopeLanes::Channel& lane, const Input& in,
                           const DetectorSettings& s, bool makeupDone, float autoGainDb) noexcept
{
    if (! makeupDone)
        blockMakeup (state, s, relativeMakeup (s, in.adaptiveLevelDb), autoGainDb, state.mGainPerSample.data(), in.n);
    Motion m = lane.motion;
    finishBlock (state, m, lane.blockMax, in.n);
}

void Envelope::finishBlock (channelComprStateT& state, EnvelopeMotion& m, float blockMax, int n) noexcept
{
    float* grOut = state.mGrPerSampleDb.data();
    float* gainOut = state.mGainPerSample.data();

    // Linear gains, reduction and makeup together, a block at a time.
    for (int i = 0; i < n; ++i)
        gainOut[i] -= grOut[i];
    brisalto::dsp::block::dbToGains (gainOut, gainOut, n);

    // Nothing non-finite may stay in the envelope: a bad block starts over at rest.
    if (! m.isFinite())
    {
        m.restart();
        std::fill (grOut, grOut + n, 0.0f);
        std::fill (gainOut, gainOut + n, 1.0f);
        blockMax = 0.0f;
    }

    m.storeTo (state);
    state.mBlockMaxGrDb = blockMax;
}
