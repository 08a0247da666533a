#include "ReferenceLimiter.h"
#include "processor/signal/Limiter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace
{
    // Noise with bursts well above the ceiling, sign changes at random distances and quiet
    // stretches, so that windows with and without zero crossings both occur.
    std::vector<float> hotSignal (int length, unsigned seed)
    {
        std::mt19937 rng (seed);
        std::uniform_real_distribution<float> uni (-1.0f, 1.0f);
        std::vector<float> x ((size_t) length);
        float level = 0.5f;
        double phase = 0.0;
        for (int i = 0; i < length; ++i)
        {
            if (i % 700 == 0)
                level = 0.2f + 1.6f * std::abs (uni (rng));
            phase += 0.002 + 0.05 * std::abs (uni (rng));
            const float tone = (float) std::sin (phase);
            x[(size_t) i] = level * (i % 3000 < 1500 ? tone : uni (rng));
        }
        return x;
    }

    void expectSameAsReference (zolt_tools::Limiter& limiter, ReferenceLimiter& reference, std::vector<float> signal,
                                int blockSize)
    {
        auto expected = signal;
        for (size_t start = 0; start < signal.size(); start += (size_t) blockSize)
        {
            const int n = (int) std::min ((size_t) blockSize, signal.size() - start);
            limiter.process (signal.data() + start, n);
            reference.process (expected.data() + start, n);
            ASSERT_EQ (limiter.mHits, reference.hits) << "block at " << start;
            for (int i = 0; i < n; ++i)
            {
                // The gains go to linear in vector passes: within 1e-6 of full scale.
                const float e = expected[start + (size_t) i];
                ASSERT_NEAR (signal[start + (size_t) i], e, 1.0e-6f * std::max (1.0f, std::abs (e)))
                    << "sample " << start + (size_t) i;
            }
        }
        for (int i = 0; i < (int) reference.gainQueue.size(); ++i)
            ASSERT_EQ (limiter.gainQueueAt (i), reference.gainQueue[(size_t) i]) << "queue entry " << i;
        for (int i = 0; i < (int) reference.delayLine.size(); ++i)
            ASSERT_EQ (limiter.delayLineAt (i), reference.delayLine[(size_t) i]) << "delay entry " << i;
    }
}

TEST (HardLimiter, MatchesReferenceAtSeveralReleases)
{
    // window = min(release, 100), as the parameter model sets it
    for (int release : { 0, 1, 2, 37, 99, 100, 480, 9600 })
    {
        SCOPED_TRACE (release);
        zolt_tools::Limiter limiter;
        ReferenceLimiter reference;
        limiter.resize (release, std::min (release, 100));
        reference.resize (release, std::min (release, 100));
        expectSameAsReference (limiter, reference, hotSignal (48000, (unsigned) release + 7), 512);
    }
}

TEST (HardLimiter, MatchesReferenceAcrossResizes)
{
    zolt_tools::Limiter limiter;
    limiter.reserveForRelease (9600, 100);
    ReferenceLimiter reference;
    unsigned seed = 1;
    for (int release : { 480, 9600, 50, 0, 120, 3, 480, 2000, 100 })
    {
        SCOPED_TRACE (release);
        limiter.resize (release, std::min (release, 100));
        reference.resize (release, std::min (release, 100));
        ASSERT_EQ (limiter.gainQueueSize(), (int) reference.gainQueue.size());
        ASSERT_EQ (limiter.delayLineSize(), (int) reference.delayLine.size());
        expectSameAsReference (limiter, reference, hotSignal (7000, seed++), 333);
    }
}

TEST (HardLimiter, MatchesReferenceWhenTheReleaseIsAutomatedEveryBlock)
{
    // New lengths at every block of 64, growing, shrinking and crossing the window, while
    // release ramps run.
    zolt_tools::Limiter limiter;
    limiter.reserveForRelease (9600, 100);
    ReferenceLimiter reference;
    auto signal = hotSignal (64 * 300, 11u);
    auto expected = signal;
    const int releases[] = { 9600, 4000, 9599, 150, 9600, 60, 7, 0, 2000, 100, 101, 5000 };
    for (int block = 0; block < 300; ++block)
    {
        const int release = releases[block % 12];
        limiter.resize (release, std::min (release, 100));
        reference.resize (release, std::min (release, 100));
        float* x = signal.data() + block * 64;
        float* e = expected.data() + block * 64;
        limiter.process (x, 64);
        reference.process (e, 64);
        for (int i = 0; i < 64; ++i)
            ASSERT_NEAR (x[i], e[i], 1.0e-6f * std::max (1.0f, std::abs (e[i]))) << "block " << block << " sample " << i;
        for (int i = 0; i < (int) reference.gainQueue.size(); ++i)
            ASSERT_EQ (limiter.gainQueueAt (i), reference.gainQueue[(size_t) i]) << "block " << block << " queue entry " << i;
    }
}

TEST (HardLimiter, SingleLoudSampleInSilence)
{
    // w = 100, R = 480: the loud sample leaves 100 samples later at the ceiling minus 0.1 dB.
    zolt_tools::Limiter limiter;
    limiter.resize (480, 100);
    std::vector<float> x (1000, 0.0f);
    x[10] = 1.2f;
    limiter.process (x.data(), (int) x.size());
    EXPECT_EQ (limiter.mHits, 1);

    const float t = (float) (20.0 * std::log10 (0.985 / 1.2) - 0.1);
    EXPECT_NEAR (x[110], 0.985f * std::pow (10.0f, -0.1f / 20.0f), 1e-5f);
    EXPECT_NEAR (x[110], 0.9737f, 1e-4f);
    for (int i = 0; i < 1000; ++i)
        EXPECT_EQ (x[(size_t) i], i == 110 ? x[110] : 0.0f) << i;

    // Queue after the block: the release ramp, entry 0 is the gain 890 samples after the hit.
    // The hit's gain left at sample 110; sample 110 + 480 - c2 got c2 * t / 480.
    zolt_tools::Limiter probe;
    probe.resize (480, 100);
    std::vector<float> y (101, 0.0f);
    y[0] = 1.2f;
    probe.process (y.data(), (int) y.size());
    // Now the loud sample has just left: the next queue entry is one release step in.
    EXPECT_NEAR (probe.gainQueueAt (0), 479.0f * t / 480.0f, 1e-5f);
    EXPECT_NEAR (probe.gainQueueAt (239), 240.0f * t / 480.0f, 1e-5f);
    EXPECT_EQ (probe.gainQueueAt (479), 0.0f);
}

TEST (HardLimiter, RampBeforeLoudSampleWithoutZeroCrossing)
{
    // A steady positive level under the ceiling, then a loud sample: the 100 samples before it
    // get (1 - d/480) * t at distance d.
    zolt_tools::Limiter limiter;
    limiter.resize (480, 100);
    std::vector<float> x (400, 0.5f);
    x[200] = 1.2f;
    limiter.process (x.data(), (int) x.size());

    const float aT = (float) (20.0 * std::log10 (0.985 / 1.2) - 0.1);
    for (int d : { 1, 50, 99 })
    {
        const float gain = (1.0f - (float) d / 480.0f) * aT;
        EXPECT_NEAR (x[(size_t) (300 - d)], 0.5f * std::pow (10.0f, gain / 20.0f), 1e-5f) << d;
    }
    EXPECT_NEAR (x[300], 0.985f * std::pow (10.0f, -0.1f / 20.0f), 1e-5f);
    EXPECT_FLOAT_EQ (x[199], 0.5f);  // before the ramp (d = 101): untouched
}

TEST (HardLimiter, ReleaseZeroPassesThroughAndStaysInBounds)
{
    zolt_tools::Limiter limiter;
    limiter.resize (0, 0);
    EXPECT_EQ (limiter.gainQueueSize(), 1);
    EXPECT_EQ (limiter.delayLineSize(), 0);
    std::vector<float> x { 0.5f, 2.0f, -3.0f, 0.1f };
    limiter.process (x.data(), 4);
    EXPECT_EQ (limiter.mHits, 2);
    // No delay: a loud sample is reduced to the ceiling minus 0.1 dB at once.
    EXPECT_FLOAT_EQ (x[0], 0.5f);
    EXPECT_NEAR (x[1], 0.985f * std::pow (10.0f, -0.1f / 20.0f), 1e-5f);
    EXPECT_NEAR (x[2], -0.985f * std::pow (10.0f, -0.1f / 20.0f), 1e-5f);
    EXPECT_FLOAT_EQ (x[3], 0.1f);
}

TEST (HardLimiter, NonFiniteSamplesDoNotPoisonTheState)
{
    zolt_tools::Limiter limiter;
    limiter.resize (480, 100);
    std::vector<float> x (300, 0.3f);
    x[5] = std::numeric_limits<float>::quiet_NaN();
    x[6] = std::numeric_limits<float>::infinity();
    limiter.process (x.data(), (int) x.size());
    for (float v : x)
        EXPECT_TRUE (std::isfinite (v));
    std::vector<float> y (300, 0.3f);
    limiter.process (y.data(), (int) y.size());
    EXPECT_FLOAT_EQ (y.back(), 0.3f);
}

TEST (HardLimiter, ClearedLimiterBehavesLikeAFreshOne)
{
    zolt_tools::Limiter limiter;
    limiter.reserveForRelease (9600, 100);
    limiter.resize (9600, 100);
    auto warm = hotSignal (20000, 11);
    limiter.process (warm.data(), (int) warm.size());

    limiter.clear();
    ReferenceLimiter reference;
    reference.resize (9600, 100);
    expectSameAsReference (limiter, reference, hotSignal (30000, 12), 512);
}
