#include "processor/render/RenderBlock.h"
#include "platform/Log.h"

// The start of every block: play head, transport, parameter snapshot, filter hand-over and
// channel counts.

void BrisaltoAudioProcessor::readPlayHead (RenderBlock& b) noexcept
{
    b.ts = 0;
    b.ppq = 0.0;
    b.playing = false;
    b.callbackTimeNs = 0;
    bool hostTime = false;
    if (auto* playHead = getPlayHead())
    {
        if (const auto position = playHead->getPosition())
        {
            b.ts = position->getTimeInSamples().orFallback (0);
            b.ppq = position->getPpqPosition().orFallback (0.0);
            b.playing = position->getIsPlaying();
            if (const auto time = position->getHostTimeNs())
            {
                b.callbackTimeNs = *time;
                hostTime = true;
            }
        }
    }
    if (! hostTime && ! b.playing)
        b.callbackTimeNs = brisalto::exchange::StoppedClock::monotonicNowNs();
}

void BrisaltoAudioProcessor::noteHostBlockSize (int n, bool bypassed) noexcept
{
    // The look-ahead and the latency stay in blocks of the prepared size; other host block
    // sizes are rendered through the sample-exact delay (see RenderLoopState).
    auto& rs = mRenderState;
    if (n == rs.lastHostBlockSize)
        return;

    if (bypassed)
        brisalto::platform::log::write (brisalto::platform::log::notice,
                                        "Brisalto processBlock blocksize changed to %d  (was %d)  !!!!!!!!!!!  ", n,
                                        (int) rs.lastHostBlockSize);
    else
        brisalto::platform::log::write (brisalto::platform::log::notice,
                                        "Brisalto processBlock blocksize changed to %d  (was %d)  !!!!!!!!!!!  (mode %d)", n,
                                        (int) rs.lastHostBlockSize, (int) mixMode);
    rs.lastHostBlockSize = n;
}

void BrisaltoAudioProcessor::snapshotParameters (bool takeFilterCoeffs) noexcept
{
    for (int i = 0; i < NUM_PARAMETERS; ++i)
        mParamSnapshot[i] = mParams[i];

    mBlockRatio = mRatio;
    mBlockReleaseMs = mReleaseMs;
    mBlockThresholdDb = mThresholdDb;
    mBlockAttackSamples = mAttackSamples;
    mBlockLookaheadMs = mLookaheadMs;
    mBlockAutoGainOn = mAutoGainOn;
    mBlockMakeupDb = mMakeupDb;
    mBlockAutoMakeupDb = mAutoMakeupDb;
    mBlockLimiterReleaseSamples = mLimiterReleaseSamples;
    mBlockFilterCounter = mDetectorFilter.read (mBlockFilterCoeffs, takeFilterCoeffs);

    if (takeFilterCoeffs)
        computeDisplayValues();
}

void BrisaltoAudioProcessor::computeDisplayValues() noexcept
{
    const float* p = mParamSnapshot;
    float* d = mDisplayValues;

    // Switches and plain values show the normalised value.
    for (int i : { 7, 8, 9, 13, 14, 16, 17, 18, 21, 23, 28 })
        d[i] = p[i];

    d[Threshold] = mBlockThresholdDb;
    d[Release] = mBlockReleaseMs;
    d[AutoGainMakeupOn] = (float) mBlockAutoGainOn;
    d[Attack] = p[Attack] * 50.0f;
    d[Lookahead] = (float) mBlockLookaheadMs;
    d[Ratio] = mBlockRatio;
    d[MakeupGain] = mBlockMakeupDb;
    d[TubeClassA_Amount] = p[TubeClassA_Amount] * 100.0f;
    d[FreqOut] = p[FreqOut] * 10000.0f;
    d[Mix] = (p[Mix] - 0.5f) * 200.0f;
    d[MaxGainLevel] = p[MaxGainLevel] * 30.0f - 30.0f;
    d[AutoGainAmount] = (p[AutoGainAmount] - 0.5f) * 200.0f;
    d[DistortAmount] = p[DistortAmount] * 100.0f;
    d[BPFilterFreq] = p[BPFilterFreq] * 20000.0f;
    d[BPFilterType] = p[BPFilterType] * 10.0f;
    d[BPFilterQ] = p[BPFilterQ] * 10.0f;
    d[Non_Lin_Release_Amount] = (p[Non_Lin_Release_Amount] - 0.5f) * 200.0f;
    d[TubeClassAB_Amount] = p[TubeClassAB_Amount] * 100.0f;
    d[HardLimiterRelease] = p[HardLimiterRelease] * 200.0f;
}

void BrisaltoAudioProcessor::followTransport (RenderBlock& b) noexcept
{
    const int n = b.numSamples;
    int64_t ts = b.ts;

    if (b.playing && mWasPlaying == 0)
    {
        mMaxGainReduction = 0.0f;
        mLimiterHits = 0;
        mClipCount = 0;
        mOutputPeakDb = -144.0f;
        brisalto::platform::log::write (brisalto::platform::log::notice,
                                        "\nBrisalto start playing timestamp : %lld    origin %.4f", (long long) ts, b.ppq);
        resetChannelStatesForStart (true);
        clearExchangeRecords();
    }
    else if (! b.playing)
    {
        // One clock for every stopped instance of the process (see StoppedClock.h).
        mFreeRunningSamples =
            brisalto::exchange::StoppedClock::blockStart (mExchange.stoppedClock, mSampleRate.load(), n, b.callbackTimeNs);
        mExchange.stoppedSamples = mWasPlaying != 0 ? 0 : mExchange.stoppedSamples + n;
    }
    else if (ts <= mPrevTimestamp)
    {
        // The host position does not advance: run on the free clock.
        ts = mFreeRunningSamples + n;
        mFreeRunningSamples = ts;
        mPrevTimestamp = ts;
    }
    mWasPlaying = b.playing ? 1 : 0;

    // The position moves by what the previous block covered, whatever this one's length.
    auto& rs = mRenderState;
    const int expectedStep = rs.previousBlockLength > 0 ? rs.previousBlockLength : n;
    rs.previousBlockLength = n;
    const int64_t diff = ts - mPrevTimestamp;
    if ((double) diff > 1.5 * (double) expectedStep || ts < mPrevTimestamp)
    {
        const int blockSize = std::max (1, (int) mBlocksize);
        brisalto::platform::log::write (
            brisalto::platform::log::notice,
            "\nBrisalto going forward or backward : %d blocks!!   diff %d  timestamp : %lld   prev %lld   blocksize %d \n",
            (int) (diff / blockSize), (int) diff, (long long) ts, (long long) mPrevTimestamp, n);
        // The own link record too: after a jump back its entries of the earlier pass would
        // be taken for this one's.
        clearExchangeRecords();
    }
    mPrevTimestamp = ts;
    b.ts = ts;
    b.tsx = b.playing ? ts : mFreeRunningSamples;
}

void BrisaltoAudioProcessor::resetChannelStatesForStart (bool clearFilterState) noexcept
{
    // Every state, the shared detector included.
    for (auto& state : mChannelStates)
    {
        state.reset();
        if (clearFilterState)
        {
            const juce::SpinLock::ScopedLockType lock (state.mFilterLock);
            state.mFilterState[0] = 0.0f;
            state.mFilterState[1] = 0.0f;
        }
    }
}

void BrisaltoAudioProcessor::handOverFilterCoeffs() noexcept
{
    mBlockFilterCounter = 0;
    mRenderState.filterCoeffsWaiting = false;

    // Every state, the shared detector included: it is the one that filters in the modes
    // with one detector.
    for (auto& state : mChannelStates)
        state.handOverFilterCoeffs (mBlockFilterCoeffs);
}

void BrisaltoAudioProcessor::updateChannelCounts (RenderBlock& b, bool bypassed) noexcept
{
    const int nrIn = std::min (b.mainIns, MAX_CHANNELS);
    int totalIns = getTotalNumInputChannels();
    if (totalIns > MAX_CHANNELS)
    {
        // Once per layout, not once per block.
        if (totalIns != mRenderState.loggedExcessInputs)
        {
            mRenderState.loggedExcessInputs = totalIns;
            brisalto::platform::log::write (brisalto::platform::log::notice,
                                            bypassed
                                                ? "Brisalto  processBlock  In chan %d  total In %d  >  MAX_C~HANNELS !!!!!!   "
                                                : "Brisalto  processBlock  In chan %d  total In %d  >  MAX_CHANNELS !!!!!!   ",
                                            (int) mNrInChannels, (int) mNrTotalInChannels);
        }
        totalIns = MAX_CHANNELS;
    }
    else
    {
        mRenderState.loggedExcessInputs = 0;
    }
    totalIns = std::max (totalIns, nrIn);

    if (nrIn != mNrInChannels || totalIns != mNrTotalInChannels)
    {
        mNrInChannels = nrIn;
        mNrTotalInChannels = totalIns;
        brisalto::platform::log::write (brisalto::platform::log::notice, "Brisalto processBlock  In chan %d  total In %d ", nrIn,
                                        totalIns);
        if (bypassed)
            brisalto::platform::log::print ("\nBrisalto  processBlock  channels  In %d  total_In %d    Out %d", nrIn, totalIns,
                                            b.totalOuts);
        else
            brisalto::platform::log::print ("\nprocessBlock  channels  In %d  total_In %d    Out %d", nrIn, totalIns,
                                            b.totalOuts);
    }

    b.nrIn = nrIn;
    b.nrTotal = totalIns;
    ensureRingCapacity (b.ringChannelBlocks());
}
