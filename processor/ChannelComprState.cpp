#include "ChannelComprState.h"

channelComprStateT::channelComprStateT()
    : mLevelHistory ((size_t) mHistoryLength, 0.0f),
      mGrHistory ((size_t) mHistoryLength, 0.0f)
{
}

void channelComprStateT::reset() noexcept
{
    mGrDb = 0.0f;
    mReleaseStepDb = 0.0f;
    mReleaseCountdown = 0;
    mAttackStepDb = 0.0f;
    std::fill (mLevelHistory.begin(), mLevelHistory.end(), 0.0f);
    std::fill (mGrHistory.begin(), mGrHistory.end(), 0.0f);
    mMakeupSmoother.reset (4800);
    mMixSmoother.reset (4800);
}
