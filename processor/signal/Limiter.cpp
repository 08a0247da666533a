#include "processor/signal/Limiter.h"
#include "processor/common/BlockMath.h"
#include "processor/common/DbConversion.h"

#include <algorithm>
#include <cmath>

namespace zolt_tools
{
    namespace
    {
        uint32_t ringSizeFor (int window)
        {
            uint32_t size = 4;
            while (size < (uint32_t) window + 2u)
                size <<= 1;
            return size;
        }
    }

    Limiter::Limiter()
    {
        ensureCapacity (mReleaseSamples, mWindow);
        clear();
    }

    void Limiter::ensureCapacity (int releaseSamples, int window)
    {
        const auto ringSize = ringSizeFor (window);
        if (mDelay.size() < ringSize)
        {
            mDelay.assign (ringSize, 0.0f);
            mHead.assign (ringSize, 0.0f);
            mMaxQueue.assign (ringSize, 0u);
            mMaxMagnitude.assign (ringSize, 0.0f);
            mRingMask = ringSize - 1;
        }
        if ((int) mTailStore.size() < releaseSamples)
            mTailStore.resize ((size_t) releaseSamples, 0.0f);
    }

    void Limiter::reserveForRelease (int maxRelease, int maxWindow)
    {
        const int release = std::clamp (maxRelease, 0, maxReleaseSamples);
        const int window = std::clamp (maxWindow, 0, release);
        // Keep what is there: a resize to the present lengths moves everything into the
        // larger storage.
        const int currentRelease = mReleaseSamples, currentWindow = mWindow;
        mScratch.reserve ((size_t) (std::max (release, currentRelease) + 2 * std::max (window, currentWindow) + 2));
        if (mDelay.size() < ringSizeFor (window) || (int) mTailStore.size() < release)
        {
            resize (std::max (release, currentRelease), std::max (window, currentWindow));
            resize (currentRelease, currentWindow);
        }
    }

    void Limiter::resize (int releaseSamples, int window)
    {
        const int release = std::clamp (releaseSamples, 0, maxReleaseSamples);
        const int newWindow = std::clamp (window, 0, release);
        const int oldQueue = gainQueueSize();

        if (newWindow == mWindow)
        {
            ensureCapacity (release, newWindow);
            // The delay line and the look-ahead part stay; the tail only gets a new end:
            // entries past the shorter of the two lengths read as 0 from now on.
            const uint32_t kept = (uint32_t) std::min (mReleaseSamples, release);
            mTailEnd = std::min (mTailEnd, mTailOffset + kept);
            mReleaseSamples = release;
            return;
        }

        // The window moves the boundary between the look-ahead part and the tail: copy what
        // both lengths hold (the window is at most the look-ahead, so this stays short).
        const int newQueue = release + newWindow + 1;
        const int keptQueue = std::min (oldQueue, newQueue);
        const int keptDelay = std::min (mWindow, newWindow);
        mScratch.resize ((size_t) (keptQueue + keptDelay));
        for (int i = 0; i < keptQueue; ++i)
            mScratch[(size_t) i] = gainQueueAt (i);
        for (int i = 0; i < keptDelay; ++i)
            mScratch[(size_t) (keptQueue + i)] = delayLineAt (i);

        ensureCapacity (release, newWindow);
        mReleaseSamples = release;
        mWindow = newWindow;

        const uint32_t w = (uint32_t) newWindow;
        const auto queueEntry = [&] (int i) { return i < keptQueue ? mScratch[(size_t) i] : 0.0f; };

        for (int i = 0; i < newWindow; ++i)
            mDelay[(mClock - w + 1u + (uint32_t) i) & mRingMask] = i < keptDelay ? mScratch[(size_t) (keptQueue + i)] : 0.0f;
        for (int j = 0; j <= newWindow; ++j)
            mHead[(mClock + 1u + (uint32_t) j) & mRingMask] = queueEntry (j);
        const int storedTail = std::max (0, keptQueue - newWindow - 1);
        for (int p = 0; p < storedTail; ++p)
            mTailStore[(size_t) p] = mScratch[(size_t) (newWindow + 1 + p)];

        mTailIsRamp = false;
        mTailOffset = 0;
        mTailEnd = (uint32_t) storedTail;
        rebuildWindowTracking();
    }

    void Limiter::clear() noexcept
    {
        std::fill (mDelay.begin(), mDelay.end(), 0.0f);
        std::fill (mHead.begin(), mHead.end(), 0.0f);
        // An empty tail: every entry reads as 0 without touching the stored part.
        mTailIsRamp = true;
        mRampDb = 0.0f;
        mTailOffset = 0;
        mTailEnd = 0;
        rebuildWindowTracking();
    }

    float Limiter::delayLineAt (int index) const noexcept
    {
        if (index < 0 || index >= mWindow)
            return 0.0f;
        return mDelay[(mClock - (uint32_t) mWindow + 1u + (uint32_t) index) & mRingMask];
    }

    float Limiter::gainQueueAt (int index) const noexcept
    {
        if (index < 0 || index >= gainQueueSize())
            return 0.0f;
        if (index <= mWindow)
            return mHead[(mClock + 1u + (uint32_t) index) & mRingMask];
        return tailValue ((uint32_t) (index - mWindow - 1));
    }

    float Limiter::tailValue (uint32_t position) const noexcept
    {
        const uint32_t q = position + mTailOffset;
        if (q >= mTailEnd)
            return 0.0f;
        if (mTailIsRamp)
            return (float) (mRampRelease - 1u - q) * mRampDb / (float) mRampRelease;
        return mTailStore[q];
    }

    void Limiter::rebuildWindowTracking() noexcept
    {
        mMaxFront = 0;
        mMaxCount = 0;
        mHasCrossing = false;
        const uint32_t w = (uint32_t) mWindow;
        const uint32_t now = mClock;
        for (uint32_t i = 0; i < w; ++i)
        {
            mClock = now - w + 1u + i;
            pushTracking (mDelay[mClock & mRingMask]);
        }
        mClock = now;
    }

    // Window bookkeeping for the sample just written at mClock: the descending magnitudes for
    // the window peak and the newest sign change.
    inline void Limiter::pushTracking (float v) noexcept
    {
        const uint32_t now = mClock;
        const uint32_t w = (uint32_t) mWindow;
        const float magnitude = std::abs (v);

        while (mMaxCount > 0 && mMaxMagnitude[(mMaxFront + mMaxCount - 1u) & mRingMask] <= magnitude)
            --mMaxCount;
        mMaxQueue[(mMaxFront + mMaxCount) & mRingMask] = now;
        mMaxMagnitude[(mMaxFront + mMaxCount) & mRingMask] = magnitude;
        ++mMaxCount;
        while (now - mMaxQueue[mMaxFront & mRingMask] > w)
        {
            ++mMaxFront;
            --mMaxCount;
        }

        if (w > 0)
        {
            const float previous = mDelay[(now - 1u) & mRingMask];
            if ((previous > 0.0f && v < 0.0f) || (previous < 0.0f && v > 0.0f))
            {
                mLastCrossing = now - 1u;
                mHasCrossing = true;
            }
        }
        if (mHasCrossing && now - mLastCrossing > w)
            mHasCrossing = false;
    }

    inline float Limiter::processSample (float v, int& hits, float& gainDb) noexcept
    {
        const uint32_t w = (uint32_t) mWindow;
        const int release = mReleaseSamples;
        const uint32_t now = ++mClock;

        mDelay[now & mRingMask] = v;
        pushTracking (v);
        const float delayed = mDelay[(now - w) & mRingMask];

        if (std::abs (v) > mCeiling)
        {
            const float peak = mMaxMagnitude[mMaxFront & mRingMask];
            const float aT = (float) ((double) dsp::toDb (mCeiling / peak) - 0.1);
            const float bT = (float) ((double) dsp::toDb (mCeiling / std::abs (v)) - 0.1);

            float& atLoud = mHead[(now + w) & mRingMask];
            const float g = atLoud;
            const float t = bT - (bT - aT) * g / aT;
            if (g > t)
                atLoud = t;

            if (w > 0 && mHead[(now + w - 1u) & mRingMask] > atLoud)
            {
                // Ramp the reduction in from the newest zero crossing up to the loud sample.
                uint32_t k = 0;
                if (mHasCrossing)
                    k = w - (now - mLastCrossing);
                const float step = -1.0f / (float) release;
                for (uint32_t j = k; j < w; ++j)
                {
                    const float q = (float) (w - j) * step + 1.0f;
                    float& slot = mHead[(now + j) & mRingMask];
                    slot = std::min (slot, q * t);
                }
            }

            ++hits;

            if (release > 0 && (w == 0 || (double) mHead[(now + w - 1u) & mRingMask] + 1.0 > (double) atLoud))
            {
                // Linear release from t back to 0 dB over the samples after the loud one.
                mTailIsRamp = true;
                mRampDb = t;
                mRampRelease = (uint32_t) release;
                mTailOffset = 0;
                mTailEnd = (uint32_t) release;
            }
        }

        gainDb = mHead[now & mRingMask];

        // The first tail entry moves into the look-ahead part of the queue.
        mHead[(now + 1u + w) & mRingMask] = tailValue (0);
        if (mTailOffset < mTailEnd)
            ++mTailOffset;

        return delayed;
    }

    void Limiter::process (float* samples, int n) noexcept
    {
        // The queue work first, then the gains converted to linear in one vector pass.
        constexpr int chunk = 256;
        float gainsDb[chunk];
        int hits = 0;
        for (int start = 0; start < n; start += chunk)
        {
            const int count = std::min (chunk, n - start);
            float* x = samples + start;
            for (int i = 0; i < count; ++i)
                x[i] = processSample (dsp::finiteOrZero (x[i]), hits, gainsDb[i]);
            dsp::block::dbToGains (gainsDb, gainsDb, count);
            for (int i = 0; i < count; ++i)
                x[i] *= gainsDb[i];
        }
        mHits = hits;
    }
}
