#include "processor/signal/Limiter.h"
#include "processor/common/BlockMath.h"
#include "processor/common/DbConversion.h"
#include "processor/common/LaneMath.h"

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

    // The window is known only at a loud sample (rarely): it is scanned then, so that the
    // samples in between cost no bookkeeping.
    float Limiter::windowPeak (uint32_t now) const noexcept
    {
        // The largest magnitude of the w + 1 newest samples, in eight running maxima.
        float lanes[8] {};
        const uint32_t count = (uint32_t) mWindow + 1u;
        uint32_t i = 0;
        for (; i + 8u <= count; i += 8u)
            for (uint32_t k = 0; k < 8u; ++k)
            {
                const float v = std::abs (mDelay[(now - i - k) & mRingMask]);
                lanes[k] = v > lanes[k] ? v : lanes[k];
            }
        for (; i < count; ++i)
            lanes[0] = std::max (lanes[0], std::abs (mDelay[(now - i) & mRingMask]));
        float peak = 0.0f;
        for (float v : lanes)
            peak = std::max (peak, v);
        return peak;
    }

    bool Limiter::newestCrossing (uint32_t now, uint32_t& first) const noexcept
    {
        // The newest sign change between neighbours of the window: its first sample's clock.
        const uint32_t w = (uint32_t) mWindow;
        for (uint32_t back = 1; back <= w; ++back)
        {
            const float a = mDelay[(now - back) & mRingMask], b = mDelay[(now - back + 1u) & mRingMask];
            if ((a > 0.0f && b < 0.0f) || (a < 0.0f && b > 0.0f))
            {
                first = now - back;
                return true;
            }
        }
        return false;
    }

    inline float Limiter::processSample (float v, int& hits, float& gainDb) noexcept
    {
        const uint32_t w = (uint32_t) mWindow;
        const int release = mReleaseSamples;
        const uint32_t now = ++mClock;

        mDelay[now & mRingMask] = v;
        const float delayed = mDelay[(now - w) & mRingMask];

        if (std::abs (v) > mCeiling)
        {
            const float peak = windowPeak (now);
            const float aT = (float) ((double) brisalto::dsp::toDb (mCeiling / peak) - 0.1);
            const float bT = (float) ((double) brisalto::dsp::toDb (mCeiling / std::abs (v)) - 0.1);

            float& atLoud = mHead[(now + w) & mRingMask];
            const float g = atLoud;
            const float t = bT - (bT - aT) * g / aT;
            if (g > t)
                atLoud = t;

            if (w > 0 && mHead[(now + w - 1u) & mRingMask] > atLoud)
            {
                // Ramp the reduction in from the newest zero crossing up to the loud sample.
                uint32_t k = 0, crossing = 0;
                if (newestCrossing (now, crossing))
                    k = w - (now - crossing);
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
                x[i] = processSample (brisalto::dsp::finiteOrZero (x[i]), hits, gainsDb[i]);
            brisalto::dsp::block::dbToGains (gainsDb, gainsDb, count);
            for (int i = 0; i < count; ++i)
                x[i] *= gainsDb[i];
        }
        mHits = hits;
    }

    bool Limiter::sameShapeAs (const Limiter& other) const noexcept
    {
        return mWindow == other.mWindow && mReleaseSamples == other.mReleaseSamples && mCeiling == other.mCeiling;
    }

    // Steps without a loud sample: the delay line and the gain queue move on by one each, the
    // queue taking in the tail's next value (given, one every `stride` floats).
    void Limiter::quietSteps (const float* in, const float* tailValues, int stride, float* out, float* gainsDb,
                              int steps) noexcept
    {
        const uint32_t w = (uint32_t) mWindow;
        uint32_t now = mClock;
        for (int j = 0; j < steps; ++j)
        {
            ++now;
            mDelay[now & mRingMask] = in[(size_t) j * (size_t) stride];
            out[j] = mDelay[(now - w) & mRingMask];
            gainsDb[j] = mHead[now & mRingMask];
            mHead[(now + 1u + w) & mRingMask] = tailValues[(size_t) j * (size_t) stride];
        }
        mClock = now;
        if (mTailOffset < mTailEnd)
            mTailOffset = std::min (mTailOffset + (uint32_t) steps, mTailEnd);
    }

    void Limiter::processLanes (Limiter* const* limiters, float* const* samples, int count, int n) noexcept
    {
        const int width = brisalto::dsp::lanes::laneWidth();
        for (int first = 0; first < count;)
        {
            int group = 1;
            while (first + group < count && group < width && group < maxLanes
                   && limiters[first + group]->sameShapeAs (*limiters[first]))
                ++group;
            if (group < 2 || width > maxLanes)
                limiters[first]->process (samples[first], n);
            else
                processGroup (limiters + first, samples + first, group, n, width);
            first += group;
        }
    }

    // Tiles of steps: the inputs up to the first loud sample of any lane go through
    // quietSteps, with the release ramps' values computed for all lanes at once; the loud
    // step goes through processSample in every lane.
    void Limiter::processGroup (Limiter* const* limiters, float* const* samples, int count, int n, int width) noexcept
    {
        constexpr int chunk = 256, tile = 32, denseRun = 8;
        alignas (64) float inputs[tile * maxLanes], tails[tile * maxLanes];
        float gainsDb[maxLanes][chunk];
        int32_t offsets[maxLanes] {}, ends[maxLanes] {}, releases[maxLanes], hits[maxLanes] {};
        float rampDb[maxLanes] {};
        std::fill (releases, releases + maxLanes, 1);
        const float ceiling = limiters[0]->mCeiling;

        for (int start = 0; start < n; start += chunk)
        {
            const int length = std::min (chunk, n - start);
            for (int t = 0; t < length;)
            {
                const int steps = std::min (tile, length - t);
                int quiet = steps;
                for (int k = 0; k < count; ++k)
                    for (int j = 0; j < quiet; ++j)
                    {
                        const float v = brisalto::dsp::finiteOrZero (samples[k][start + t + j]);
                        if (std::abs (v) > ceiling)
                            quiet = j;
                        else
                            inputs[j * width + k] = v;
                    }

                if (quiet < steps && quiet < denseRun)
                {
                    // Loud samples close together: every lane step by step through the tile.
                    for (int k = 0; k < count; ++k)
                        for (int j = 0; j < steps; ++j)
                        {
                            float& x = samples[k][start + t + j];
                            x = limiters[k]->processSample (brisalto::dsp::finiteOrZero (x), hits[k], gainsDb[k][t + j]);
                        }
                    t += steps;
                    continue;
                }
                if (quiet > 0)
                {
                    for (int k = 0; k < count; ++k)
                    {
                        const auto& l = *limiters[k];
                        offsets[k] = (int32_t) l.mTailOffset;
                        ends[k] = (int32_t) l.mTailEnd;
                        releases[k] = (int32_t) l.mRampRelease;
                        rampDb[k] = l.mTailIsRamp ? l.mRampDb : 0.0f;
                    }
                    brisalto::dsp::lanes::rampValues (offsets, ends, releases, rampDb, tails, quiet);
                    for (int k = 0; k < count; ++k)
                    {
                        auto& l = *limiters[k];
                        if (! l.mTailIsRamp)
                            for (int j = 0; j < quiet; ++j)
                                tails[j * width + k] = l.tailValue ((uint32_t) j);
                        l.quietSteps (inputs + k, tails + k, width, samples[k] + start + t, gainsDb[k] + t, quiet);
                    }
                }
                if (quiet < steps)
                {
                    const int i = start + t + quiet;
                    for (int k = 0; k < count; ++k)
                        samples[k][i] = limiters[k]->processSample (brisalto::dsp::finiteOrZero (samples[k][i]), hits[k],
                                                                    gainsDb[k][t + quiet]);
                    t += quiet + 1;
                }
                else
                {
                    t += steps;
                }
            }

            for (int k = 0; k < count; ++k)
            {
                brisalto::dsp::block::dbToGains (gainsDb[k], gainsDb[k], length);
                float* x = samples[k] + start;
                for (int i = 0; i < length; ++i)
                    x[i] *= gainsDb[k][i];
            }
        }
        for (int k = 0; k < count; ++k)
            limiters[k]->mHits = hits[k];
    }
}
