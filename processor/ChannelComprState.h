#pragma once

#include "Limiter.h"
#include "LinearSmoother.h"

#include <juce_core/juce_core.h>

#include <cstdint>
#include <deque>
#include <vector>

// The compressor state of one detector channel: envelope, level and gain-reduction histories,
// per-sample gains of the last block, the detector's band filter and the channel's hard limiter.
struct channelComprStateT
{
    channelComprStateT();

    // Back to rest at a transport start: envelope and histories cleared, smoothers re-armed
    // with a 4800-sample ramp. Filter, limiter and adaptive threshold are kept.
    void reset() noexcept;

    int32_t mHistoryLength = 100;
    std::deque<float> mLevelHistory;
    std::deque<float> mGrHistory;
    std::vector<float> mGainPerSample;
    std::vector<float> mGrPerSampleDb;
    float mGrDb = 0.0f;
    float mReleaseStepDb = 0.0f;
    int32_t mReleaseCountdown = 0;
    float mReleaseStartDb = 0.0f;
    float mAttackTargetDb = 0.0f;
    float mAttackStepDb = 0.0f;
    float mAdaptiveThresholdDb = 0.0f;
    float mBlockMaxGrDb = 0.0f;
    int32_t mAttackLength = 0;
    float mAttackSumSquares = 0.0f;
    int32_t mAttackSampleCount = 0;

    juce::SpinLock mFilterLock;
    float mFilterCoeffs[5] {};
    float mFilterState[2] {};
    bool mFilterReady = false;
    int32_t mFilterRampRemaining = 0;
    float mFilterCoeffSteps[5] {};
    std::vector<float> mFilteredDetector;

    zolt_tools::Limiter mLimiter;
    LinearSmoother mMakeupSmoother;
    LinearSmoother mMixSmoother;
};
