#include "Limiter.h"

namespace zolt_tools
{
    Limiter::Limiter()
        : mDelayLine ((size_t) mWindow, 0.0f),
          mGainQueueDb ((size_t) (mReleaseSamples + mWindow + 1), 0.0f)
    {
    }

    void Limiter::resize (int releaseSamples, int window)
    {
        mReleaseSamples = releaseSamples < 0 ? 0 : releaseSamples;
        mWindow = window < 0 ? 0 : window;
        mDelayLine.resize ((size_t) mWindow, 0.0f);
        mGainQueueDb.resize ((size_t) (mReleaseSamples + mWindow + 1), 0.0f);
    }
}

namespace zolt_tools
{
    void Limiter::reserveForRelease (int, int) {}
}
