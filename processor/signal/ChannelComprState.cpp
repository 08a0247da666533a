#include "processor/signal/ChannelComprState.h"
#include "processor/common/BlockMath.h"

#include <cmath>

namespace
{
    // Keeps denormals and any non-finite value out of a filter's feedback path.
    float settled (float z) noexcept
    {
        return (! (z > 1e-8f || z < -1e-8f) || ! std::isfinite (z)) ? 0.0f : z;
    }
}

channelComprStateT::channelComprStateT()
    : mLevelHistory (mHistoryLength)
    , mGrHistory (mHistoryLength)
{
}

void channelComprStateT::reset() noexcept
{
    mGrDb = 0.0f;
    mReleaseStepDb = 0.0f;
    mReleaseCountdown = 0;
    mAttackStepDb = 0.0f;
    mLevelHistory.fill (0.0f);
    mGrHistory.fill (0.0f);
    mMakeupSmoother.reset (4800);
    mMixSmoother.reset (4800);
}

void channelComprStateT::ensureBlockSize (int n)
{
    if ((int) mGainPerSample.size() < n)
        mGainPerSample.resize ((size_t) n, 1.0f);
    if ((int) mGrPerSampleDb.size() < n)
        mGrPerSampleDb.resize ((size_t) n, 0.0f);
    if ((int) mMixPerSample.size() < n)
        mMixPerSample.resize ((size_t) n, 0.0f);
    if ((int) mFilteredDetector.size() < n)
        mFilteredDetector.resize ((size_t) n, 0.0f);
    if ((int) mLevelScratch.size() < 4 * n)
        mLevelScratch.resize ((size_t) (4 * n), 0.0f);
}

void channelComprStateT::handOverFilterCoeffs (const float (&target)[5]) noexcept
{
    for (float c : target)
        if (! std::isfinite (c))
            return;

    const juce::SpinLock::ScopedLockType lock (mFilterLock);

    for (int k = 0; k < 5; ++k)
        mFilterTarget[k] = target[k];

    if (! mFilterReady)
    {
        // Nothing to glide from: start on the new set.
        for (int k = 0; k < 5; ++k)
        {
            mFilterCoeffs[k] = target[k];
            mFilterCoeffSteps[k] = 0.0f;
        }
        mFilterRampRemaining = 0;
        mFilterReady = true;
        return;
    }

    for (int k = 0; k < 5; ++k)
        mFilterCoeffSteps[k] = (target[k] - mFilterCoeffs[k]) * (1.0f / 1024.0f);
    mFilterRampRemaining = filterRampLength;
}

void channelComprStateT::runFilter (float* samples, int n) noexcept
{
    const juce::SpinLock::ScopedLockType lock (mFilterLock);

    if (! mFilterReady || samples == nullptr || n <= 0)
        return;

    float b0 = mFilterCoeffs[0], b1 = mFilterCoeffs[1], b2 = mFilterCoeffs[2];
    float a1 = mFilterCoeffs[3], a2 = mFilterCoeffs[4];
    float z1 = mFilterState[0], z2 = mFilterState[1];

    int i = 0;
    if (mFilterRampRemaining > 0)
    {
        const int rampEnd = std::min (n, (int) mFilterRampRemaining);
        for (; i < rampEnd; ++i)
        {
            if (i + 1 == mFilterRampRemaining)
            {
                // Last step of the glide: land exactly on the target.
                b0 = mFilterTarget[0];
                b1 = mFilterTarget[1];
                b2 = mFilterTarget[2];
                a1 = mFilterTarget[3];
                a2 = mFilterTarget[4];
            }
            else
            {
                b0 += mFilterCoeffSteps[0];
                b1 += mFilterCoeffSteps[1];
                b2 += mFilterCoeffSteps[2];
                a1 += mFilterCoeffSteps[3];
                a2 += mFilterCoeffSteps[4];
            }
            const float x = samples[i];
            const float y = b0 * x + z1;
            z1 = b1 * x - a1 * y + z2;
            z2 = b2 * x - a2 * y;
            samples[i] = y;
        }
        mFilterRampRemaining = std::max (0, (int) mFilterRampRemaining - n);
        mFilterCoeffs[0] = b0;
        mFilterCoeffs[1] = b1;
        mFilterCoeffs[2] = b2;
        mFilterCoeffs[3] = a1;
        mFilterCoeffs[4] = a2;
    }

    for (; i < n; ++i)
    {
        const float x = samples[i];
        const float y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        samples[i] = y;
    }

    mFilterState[0] = settled (z1);
    mFilterState[1] = settled (z2);
}

void channelComprStateT::runFilters (channelComprStateT* const* states, float* const* blocks, int count, int n) noexcept
{
    constexpr int most = 32;
    float* still[most] {};
    channelComprStateT* owners[most] {};
    float coeffs[5 * most] {}, z[2 * most] {};
    int lanes = 0;

    for (int k = 0; k < count; ++k)
    {
        auto& s = *states[k];
        bool inLanes = false;
        {
            const juce::SpinLock::ScopedLockType lock (s.mFilterLock);
            if (s.mFilterReady && s.mFilterRampRemaining == 0 && lanes < most && n > 0)
            {
                for (int j = 0; j < 5; ++j)
                    coeffs[5 * lanes + j] = s.mFilterCoeffs[j];
                z[2 * lanes] = s.mFilterState[0];
                z[2 * lanes + 1] = s.mFilterState[1];
                still[lanes] = blocks[k];
                owners[lanes] = &s;
                ++lanes;
                inLanes = true;
            }
        }
        if (! inLanes)
            s.runFilter (blocks[k], n);
    }

    brisalto::dsp::block::biquads (still, lanes, n, coeffs, z);

    for (int k = 0; k < lanes; ++k)
    {
        auto& s = *owners[k];
        const juce::SpinLock::ScopedLockType lock (s.mFilterLock);
        s.mFilterState[0] = settled (z[2 * k]);
        s.mFilterState[1] = settled (z[2 * k + 1]);
    }
}
