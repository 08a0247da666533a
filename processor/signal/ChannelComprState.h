#pragma once

#include "processor/common/HistoryRing.h"
#include "processor/signal/Limiter.h"
#include "processor/common/LinearSmoother.h"

#include <juce_core/juce_core.h>

#include <cstdint>
#include <vector>

// The compressor state of one detector channel: envelope, level and gain-reduction histories,
// per-sample gains of the last block, the detector's band filter and the channel's hard limiter.
struct channelComprStateT
{
    channelComprStateT();

    // Back to rest at a transport start: envelope and histories cleared, smoothers re-armed
    // with a 4800-sample ramp. Filter, limiter and adaptive threshold are kept.
    void reset() noexcept;

    // Hands a new set of band-filter coefficients (b0, b1, b2, a1, a2) to this state. The
    // first set is used as it stands; later sets are reached by a 1024-sample glide that
    // ends exactly on them. Render thread, once per block, before the detector runs.
    void handOverFilterCoeffs (const float (&target)[5]) noexcept;

    // Runs the band filter in place over n samples (detector or listen path), advancing the
    // coefficient glide. Does nothing until coefficients were handed over.
    void runFilter (float* samples, int n) noexcept;

    // runFilter for `count` states at once, each on its own block of n samples: the filters
    // that hold still (no glide running) run side by side in vector lanes.
    static void runFilters (channelComprStateT* const* states, float* const* blocks, int count, int n) noexcept;

    // Grows the per-sample vectors to at least n entries (only when the block size grows).
    void ensureBlockSize (int n);

    static constexpr int filterRampLength = 1024;

    int32_t mHistoryLength = 100;
    HistoryRing mLevelHistory;
    HistoryRing mGrHistory;
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
    float mFilterTarget[5] {};
    std::vector<float> mFilteredDetector;

    zolt_tools::Limiter mLimiter;
    bool mLimiterActive = false;  // whether the limiter ran in the previous block
    LinearSmoother mMakeupSmoother;
    LinearSmoother mMixSmoother;

    // Mix (display units) for each sample of the block, advanced once per block by the
    // detector so that every channel sharing this state hears the same ramp.
    std::vector<float> mMixPerSample;

    // Detector levels in dB for the block being analysed: the sample levels, the soft
    // limiter's peak levels, the reduction the static curve wants for each sample level and
    // that reduction where the level is over the threshold.
    std::vector<float> mLevelScratch;
};
