#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

namespace zolt_tools
{
    // Look-ahead hard limiter of one channel: holds every sample back by mWindow samples and
    // ramps the gain down before a sample that would exceed mCeiling, then releases linearly.
    class Limiter
    {
    public:
        Limiter();

        // Lengths as the parameter model sets them: the delay line keeps `window` samples
        // and the gain queue releaseSamples + window + 1 entries. A plain resize: entries are
        // added or removed at the back, new entries are 0.
        void resize (int releaseSamples, int window);

        // Makes room for the longest release the prepared sample rate allows, so that later
        // resizes on the render thread never allocate.
        void reserveForRelease (int maxReleaseSamples, int maxWindow);

        int32_t mHits = 0;
        int32_t mReleaseSamples = 100;
        int32_t mWindow = 100;
        float mCeiling = 0.985f;
        std::deque<float> mDelayLine;
        std::deque<float> mGainQueueDb;
    };
}
