#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zolt_tools
{
    // Look-ahead hard limiter of one channel: holds every sample back by mWindow samples and
    // ramps the gain down before a sample that would exceed mCeiling, then releases linearly
    // over mReleaseSamples samples.
    //
    // Logically it keeps a delay line of mWindow samples and a gain queue of
    // mReleaseSamples + mWindow + 1 entries in dB (front = next sample out). The first
    // mWindow + 1 entries of the queue live in a ring; the rest (the release tail) is either
    // stored or, after a loud sample, described by its linear release ramp, so that a loud
    // sample costs at most mWindow steps instead of rewriting the whole release.
    class Limiter
    {
    public:
        Limiter();

        // Lengths as the parameter model sets them: the delay line keeps `window` samples and
        // the gain queue releaseSamples + window + 1 entries. A plain resize: entries are
        // added or removed at the back, new entries are 0. The window never exceeds the
        // release. A new release with the same window costs a few operations, a new window
        // at most a copy of the shorter queue's look-ahead part, whatever the release, so
        // that automating the release on every block stays cheap. Allocates only beyond what
        // reserveForRelease made room for.
        void resize (int releaseSamples, int window);

        // Makes room for the longest release the prepared sample rate allows, so that later
        // resizes on the render thread never allocate.
        void reserveForRelease (int maxReleaseSamples, int maxWindow);

        // Limits n samples in place (each leaves mWindow samples later) and sets mHits.
        void process (float* samples, int n) noexcept;

        // process for `count` limiters, each on its own n samples: limiters of the same
        // window, release and ceiling run side by side in vector lanes between loud samples,
        // with the same results as process.
        static void processLanes (Limiter* const* limiters, float* const* samples, int count, int n) noexcept;

        // Silence in the delay line and no reduction in the gain queue (lengths kept).
        void clear() noexcept;

        // The logical contents, oldest / next-out first.
        float delayLineAt (int index) const noexcept;
        float gainQueueAt (int index) const noexcept;
        int delayLineSize() const noexcept { return mWindow; }
        int gainQueueSize() const noexcept { return mReleaseSamples + mWindow + 1; }

        static constexpr int maxReleaseSamples = 1 << 18;
        static constexpr int maxLanes = 16;  // the widest vector of floats processLanes uses

        int32_t mHits = 0;
        int32_t mReleaseSamples = 100;
        int32_t mWindow = 100;
        float mCeiling = 0.985f;

    private:
        // One sample in; returns the sample leaving the delay line and its gain in dB.
        inline float processSample (float v, int& hits, float& gainDb) noexcept;
        float tailValue (uint32_t position) const noexcept;
        void ensureCapacity (int releaseSamples, int window);
        float windowPeak (uint32_t now) const noexcept;
        bool newestCrossing (uint32_t now, uint32_t& first) const noexcept;
        bool sameShapeAs (const Limiter& other) const noexcept;
        static void processGroup (Limiter* const* limiters, float* const* samples, int count, int n, int width) noexcept;
        void quietSteps (const float* in, const float* tailValues, int stride, float* out, float* gainsDb, int steps) noexcept;

        // Rings of mRingMask + 1 entries, indexed by a wrapping sample clock.
        std::vector<float> mDelay;  // sample at clock t in slot t
        std::vector<float> mHead;   // gain (dB) applied at clock t in slot t
        uint32_t mRingMask = 0;
        uint32_t mClock = 0;  // clock of the last sample processed

        // Release tail: queue entries after the first mWindow + 1. Entry p of the tail is
        // source(q) with q = p + mTailOffset, 0 from q = mTailEnd on; the source is
        // mTailStore or the ramp c * mRampDb / mRampRelease with c = mRampRelease - 1 - q
        // (mRampRelease: the release when the ramp started).
        std::vector<float> mTailStore;
        uint32_t mTailOffset = 0;
        uint32_t mTailEnd = 0;
        bool mTailIsRamp = false;
        float mRampDb = 0.0f;
        uint32_t mRampRelease = 1;
        std::vector<float> mScratch;
    };
}
