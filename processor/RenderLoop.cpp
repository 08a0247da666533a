#include "PluginProcessor.h"
#include "RenderThread.h"

#include "../platform/Log.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
    constexpr int longestLookaheadMs = 1000;  // "Lookahead" at its top
    constexpr int derivedRingBlocks = 3;      // side detector (+1 in two modes), summed detector, peak

    bool isOn (float normalised) noexcept { return normalised > 0.5f; }

    // Look-ahead in whole blocks, as the parameter model derives it.
    int lookaheadBlocksFor (int lookaheadMs, int blockSize, float sampleRate) noexcept
    {
        if (lookaheadMs <= 0 || blockSize <= 0 || ! (sampleRate > 0.0f))
            return 0;
        const auto blockMs = (float) ((double) blockSize * 1000.0 / (double) sampleRate);
        return std::max (1, (int) ((float) lookaheadMs / blockMs));
    }

    float largestMagnitude (const float* x, int n) noexcept
    {
        float m = 0.0f;
        for (int i = 0; i < n; ++i)
        {
            const float a = std::abs (x[i]);
            if (a > m)
                m = a;
        }
        return m;
    }

    float meanSquare (const float* x, int n) noexcept
    {
        float sum = 0.0f;
        for (int i = 0; i < n; ++i)
            sum += x[i] * x[i];
        return n > 0 ? sum / (float) n : 0.0f;
    }

    void replaceStorage (std::vector<float>& v, size_t size)
    {
        std::vector<float> (size, 0.0f).swap (v);
    }
}

//==============================================================================
// Everything one host block is rendered with: taken once at its start.
struct BrisaltoAudioProcessor::RenderBlock
{
    int numSamples = 0;

    MixMode mode = MixMode::sum;
    int32_t track = 0;
    int32_t group = 0;
    int lookaheadBlocks = 0;
    int lookaheadDelay = 0;   // samples: the look-ahead share of the reported latency
    int limiterLatency = 0;   // samples: the hard-limiter share of the reported latency
    float weights[MAX_CHANNELS] {};

    int64_t ts = 0;
    double ppq = 0.0;
    bool playing = false;
    int64_t tsx = 0;

    float* const* channels = nullptr;
    int bufferChannels = 0;
    int mainIns = 0, mainStart = 0;
    int sideStart = 0;
    bool sideBusPresent = false;
    int totalOuts = 0;
    int nrIn = 0, nrTotal = 0;

    int hits = 0;
    float levels[MAX_CHANNELS] {};
    float gainReduction = 0.0f;
    bool gainReductionSet = false;

    float* bufferChannel (int index, int offset) const noexcept
    {
        if (index < 0 || index >= bufferChannels || channels[index] == nullptr)
            return nullptr;
        return channels[index] + offset;
    }

    float* mainChannel (int ch, int offset) const noexcept
    {
        return ch < mainIns ? bufferChannel (mainStart + ch, offset) : nullptr;
    }

    // Ring channel index nrIn .. nrTotal-1 to the side-chain bus channel it stores.
    const float* sideChannel (int ringChannel, int offset) const noexcept
    {
        return sideBusPresent ? bufferChannel (sideStart + ringChannel - nrIn, offset) : nullptr;
    }

    int ringChannelBlocks() const noexcept { return nrTotal + derivedRingBlocks; }
    bool sendsExternalSideChain() const noexcept { return mode == MixMode::sideChainSend && track >= 0 && track < NUM_EXT_SIDECHAIN_SLOTS; }
    bool hasMidiOrReceivedSide() const noexcept { return mode == MixMode::sideChainReceive || mode == MixMode::sideMidi; }
};

//==============================================================================
void BrisaltoAudioProcessor::prepareRenderLoop()
{
    auto& rs = mRenderState;
    const int blockSize = std::max (1, (int) mBlocksize);
    const int longestLookahead = lookaheadBlocksFor (longestLookaheadMs, blockSize, mSampleRate);
    const int ringSize = longestLookahead + 1;
    const int inputs = juce::jlimit (0, MAX_CHANNELS, std::max (getTotalNumInputChannels(), (int) mNrTotalInChannels));
    const int channelBlocks = inputs + derivedRingBlocks;

    rs.preparedBlockSize = blockSize;
    rs.ringChannelCapacity = channelBlocks;

    mRingBuffer.clear();
    for (int i = 0; i < ringSize; ++i)
    {
        auto& element = mRingBuffer.emplace_back();
        replaceStorage (element.mSamples, (size_t) channelBlocks * (size_t) blockSize);
        replaceStorage (element.mMeanSquares, (size_t) channelBlocks);
    }
    mRingWriteIndex = 0;
    rs.ringElementsInUse = 0;
    rs.sampleClock = 0;
    rs.elementStart.assign ((size_t) ringSize, -1);
    rs.elementLength.assign ((size_t) ringSize, 0);

    const int longestDelay = longestLookahead * blockSize + std::max (0, (int) mLimiterLookahead);
    rs.ringDelay.prepare (channelBlocks, longestDelay + blockSize);
    rs.outputPad.prepare (MAX_CHANNELS, std::max (0, (int) mLimiterLookahead) + blockSize);

    if ((int) mMidiSideSignal.size() < blockSize)
        mMidiSideSignal.resize ((size_t) blockSize, 0.0f);
    rs.lastHostBlockSize = blockSize;
}

void BrisaltoAudioProcessor::ensureRingCapacity (int channelBlocks)
{
    auto& rs = mRenderState;
    if (channelBlocks <= rs.ringChannelCapacity)
        return;

    // Only reached when the host changes the layout without preparing again.
    platform::log::write (platform::log::warning, "Brisalto processBlock  ring grows to %d channel blocks without prepareToPlay !!!!!!", channelBlocks);
    for (auto& element : mRingBuffer)
    {
        element.mSamples.resize ((size_t) channelBlocks * (size_t) rs.preparedBlockSize, 0.0f);
        element.mMeanSquares.resize ((size_t) channelBlocks, 0.0f);
    }
    rs.ringDelay.prepare (channelBlocks, rs.ringDelay.capacity());
    rs.ringChannelCapacity = channelBlocks;
}

//==============================================================================
void BrisaltoAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    juce::ScopedNoDenormals noDenormals;
    RenderBlock b;
    if (! beginBlock (b, buffer, false))
        return;

    const int n = b.numSamples;
    noteHostBlockSize (n, false);
    if (midi_receive_from_DAW != 0 && ! midi.isEmpty())
        takeHostMidi (midi);

    snapshotParameters (true);
    followTransport (b);

    auto& rs = mRenderState;
    rs.filterCoeffsWaiting = rs.filterCoeffsWaiting || mBlockFilterCounter != 0;
    if (isOn (mParamSnapshot[BPFilterOn]) && rs.filterCoeffsWaiting)
        handOverFilterCoeffs();

    updateChannelCounts (b, false);

    if (b.sendsExternalSideChain())
    {
        if (auto* first = b.mainChannel (0, 0))
            extSideChainSend (b.track, first, n, b.tsx);
        for (int ch = b.mainIns; ch < b.totalOuts; ++ch)
            if (auto* out = b.bufferChannel (ch, 0))
                std::fill (out, out + n, 0.0f);
        return;
    }

    if (b.group > 0 && mInstanceId >= 0 && mInstanceId < NUM_LINK_RECORDS)
    {
        const float* mains[MAX_CHANNELS] {};
        for (int ch = 0; ch < b.nrIn; ++ch)
            mains[ch] = b.mainChannel (ch, 0);
        linkSend (mains, b.nrIn, n, b.tsx);
    }

    for (int offset = 0; offset < n; offset += rs.preparedBlockSize)
        renderChunk (b, offset, std::min (rs.preparedBlockSize, n - offset));

    for (int ch = 0; ch < b.nrIn; ++ch)
        mInputChannelLevels[ch] = b.levels[ch];
    if (b.gainReductionSet)
        mGainReduction = b.gainReduction;
    if (isOn (mParamSnapshot[HardLimiterOn]))
        mLimiterHits += b.hits;
}

void BrisaltoAudioProcessor::processBlockBypassed (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    RenderBlock b;
    if (! beginBlock (b, buffer, true))
        return;

    const int n = b.numSamples;
    noteHostBlockSize (n, true);
    snapshotParameters (false);

    if (b.playing && mWasPlaying == 0)
    {
        mMaxGainReduction = 0.0f;
        resetChannelStatesForStart (false);
    }
    mWasPlaying = b.playing ? 1 : 0;
    mPrevTimestamp = b.ts;

    updateChannelCounts (b, true);

    auto& rs = mRenderState;
    for (int offset = 0; offset < n; offset += rs.preparedBlockSize)
        bypassChunk (b, offset, std::min (rs.preparedBlockSize, n - offset));
}

//==============================================================================
bool BrisaltoAudioProcessor::beginBlock (RenderBlock& b, juce::AudioBuffer<float>& buffer, bool bypassed) noexcept
{
    RenderThread::markCurrent();

    // Requests from other threads land between blocks. The shared detector state follows an
    // envelope reset like the channel states.
    const bool envelopeReset = mEnvelopeResetRequests.load() != 0;
    applyPendingChannelStateChanges();
    if (envelopeReset)
    {
        auto& shared = mChannelStates[(size_t) MAX_CHANNELS];
        shared.mReleaseStepDb = 0.0f;
        shared.mReleaseCountdown = 0;
        shared.mAttackStepDb = 0.0f;
    }

    if (! bypassed)
        mRenderCounter++;

    b.numSamples = buffer.getNumSamples();
    if (b.numSamples <= 0)
        return false;

    b.channels = buffer.getArrayOfWritePointers();
    b.bufferChannels = buffer.getNumChannels();
    b.totalOuts = getTotalNumOutputChannels();

    if (mRenderState.preparedBlockSize <= 0)
    {
        // Never prepared: nothing to render with.
        buffer.clear();
        return false;
    }

    readPlayHead (b);

    if (const auto* mainBus = getBus (true, 0))
    {
        b.mainIns = mainBus->getNumberOfChannels();
        b.mainStart = mainBus->getChannelIndexInProcessBlockBuffer (0);
    }
    if (const auto* sideBus = getBus (true, 1))
    {
        b.sideBusPresent = true;
        b.sideStart = sideBus->getChannelIndexInProcessBlockBuffer (0);
    }

    // Mode, track, group, weights and the latency shares: one consistent set per block.
    const int32_t modeValue = mixMode;
    b.mode = (modeValue >= (int32_t) MixMode::multiMono && modeValue <= (int32_t) MixMode::sideMidi) ? (MixMode) modeValue : MixMode::sum;
    mBlockMixMode = b.mode;
    b.track = trackNumber;
    b.group = groupNumber;
    for (int ch = 0; ch < MAX_CHANNELS; ++ch)
        b.weights[ch] = channel_weights[ch];

    const int ringSize = (int) mRingBuffer.size();
    b.lookaheadBlocks = juce::jlimit (0, std::max (0, ringSize - 1), (int) mLookaheadBlocks);
    const int maxDelay = mRenderState.ringDelay.maxDelayFor (mRenderState.preparedBlockSize);
    b.limiterLatency = juce::jlimit (0, std::max (0, (int) mLimiterLookahead), (int) mLimiterLatency);
    b.lookaheadDelay = juce::jlimit (0, std::max (0, maxDelay - b.limiterLatency), (int) mLookaheadLatency);
    return true;
}

void BrisaltoAudioProcessor::readPlayHead (RenderBlock& b) noexcept
{
    b.ts = 0;
    b.ppq = 0.0;
    b.playing = false;
    if (auto* playHead = getPlayHead())
    {
        if (const auto position = playHead->getPosition())
        {
            b.ts = position->getTimeInSamples().orFallback (0);
            b.ppq = position->getPpqPosition().orFallback (0.0);
            b.playing = position->getIsPlaying();
        }
    }
}

void BrisaltoAudioProcessor::noteHostBlockSize (int n, bool bypassed) noexcept
{
    // The look-ahead and the latency stay in blocks of the prepared size; other host block
    // sizes are rendered through the sample-exact delay (see RenderLoopState).
    auto& rs = mRenderState;
    if (n == rs.lastHostBlockSize)
        return;

    if (bypassed)
        platform::log::write (platform::log::notice, "Brisalto processBlock blocksize changed to %d  (was %d)  !!!!!!!!!!!  ", n, (int) rs.lastHostBlockSize);
    else
        platform::log::write (platform::log::notice, "Brisalto processBlock blocksize changed to %d  (was %d)  !!!!!!!!!!!  (mode %d)", n, (int) rs.lastHostBlockSize, (int) mixMode);
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
        platform::log::write (platform::log::notice, "\nBrisalto start playing timestamp : %lld    origin %.4f", (long long) ts, b.ppq);
        resetChannelStatesForStart (true);
        clearExchangeRecords (true);
    }
    else if (! b.playing)
    {
        mFreeRunningSamples = mWasPlaying != 0 ? 0 : mFreeRunningSamples + n;
    }
    else if (ts <= mPrevTimestamp)
    {
        // The host position does not advance: run on the free clock.
        ts = mFreeRunningSamples + n;
        mFreeRunningSamples = ts;
        mPrevTimestamp = ts;
    }
    mWasPlaying = b.playing ? 1 : 0;

    const int64_t diff = ts - mPrevTimestamp;
    if ((double) diff > 1.5 * (double) n || ts < mPrevTimestamp)
    {
        const int blockSize = std::max (1, (int) mBlocksize);
        platform::log::write (platform::log::notice, "\nBrisalto going forward or backward : %d blocks!!   diff %d  timestamp : %lld   prev %lld   blocksize %d \n",
                              (int) (diff / blockSize), (int) diff, (long long) ts, (long long) mPrevTimestamp, n);
        clearExchangeRecords (false);
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
        platform::log::write (platform::log::notice,
                              bypassed ? "Brisalto  processBlock  In chan %d  total In %d  >  MAX_C~HANNELS !!!!!!   "
                                       : "Brisalto  processBlock  In chan %d  total In %d  >  MAX_CHANNELS !!!!!!   ",
                              (int) mNrInChannels, (int) mNrTotalInChannels);
        totalIns = MAX_CHANNELS;
    }
    totalIns = std::max (totalIns, nrIn);

    if (nrIn != mNrInChannels || totalIns != mNrTotalInChannels)
    {
        mNrInChannels = nrIn;
        mNrTotalInChannels = totalIns;
        platform::log::write (platform::log::notice, "Brisalto processBlock  In chan %d  total In %d ", nrIn, totalIns);
        if (bypassed)
            platform::log::print ("\nBrisalto  processBlock  channels  In %d  total_In %d    Out %d", nrIn, totalIns, b.totalOuts);
        else
            platform::log::print ("\nprocessBlock  channels  In %d  total_In %d    Out %d", nrIn, totalIns, b.totalOuts);
    }

    b.nrIn = nrIn;
    b.nrTotal = totalIns;
    ensureRingCapacity (b.ringChannelBlocks());
}

//==============================================================================
void BrisaltoAudioProcessor::renderChunk (RenderBlock& b, int offset, int n) noexcept
{
    writeInputsToRing (b, offset, n, false);
    writeSideDetectorSource (b, n);
    finishRingStep (b, n);

    bool filling = false;
    const int readIndex = selectReadElement (b, filling);
    if (! filling)
        alignReadElement (b, readIndex, n);
    mRingWriteIndex = (mRingWriteIndex + 1) % (int32_t) mRingBuffer.size();

    // Outputs that share memory with the side-chain are cleared only now that every input of
    // this piece has been read.
    for (int ch = b.mainIns; ch < b.totalOuts; ++ch)
        if (auto* out = b.bufferChannel (ch, offset))
            std::fill (out, out + n, 0.0f);

    runDetectorAndGains (b, readIndex, filling, offset, n);
    alignOutputsWithLatency (b, offset, n, false);
    writeExtraOutputs (b, offset, n);

    auto& rs = mRenderState;
    rs.sampleClock += n;
    rs.ringDelay.advance (n);
    rs.outputPad.advance (n);
}

void BrisaltoAudioProcessor::bypassChunk (RenderBlock& b, int offset, int n) noexcept
{
    writeInputsToRing (b, offset, n, true);
    finishRingStep (b, n);

    bool filling = false;
    selectReadElement (b, filling);
    mRingWriteIndex = (mRingWriteIndex + 1) % (int32_t) mRingBuffer.size();

    for (int ch = b.mainIns; ch < b.totalOuts; ++ch)
        if (auto* out = b.bufferChannel (ch, offset))
            std::fill (out, out + n, 0.0f);

    alignOutputsWithLatency (b, offset, n, true);
    if (filling)
        for (int ch = 0; ch < b.nrIn; ++ch)
            if (auto* out = b.mainChannel (ch, offset))
                std::fill (out, out + n, 0.0f);
    writeExtraOutputs (b, offset, n);

    auto& rs = mRenderState;
    rs.sampleClock += n;
    rs.ringDelay.advance (n);
    rs.outputPad.advance (n);
}

void BrisaltoAudioProcessor::writeInputsToRing (RenderBlock& b, int offset, int n, bool bypassed) noexcept
{
    auto& rs = mRenderState;
    const int w = mRingWriteIndex;
    auto& element = mRingBuffer[(size_t) w];

    if (rs.ringElementsInUse < b.lookaheadBlocks + 1)
        ++rs.ringElementsInUse;
    rs.elementStart[(size_t) w] = rs.sampleClock;
    rs.elementLength[(size_t) w] = n;

    // The derived blocks of this element start from silence.
    const int k = (! bypassed && b.hasMidiOrReceivedSide()) ? 1 : 0;
    float* derived = element.mSamples.data() + (size_t) (b.nrTotal + k) * (size_t) n;
    std::fill (derived, derived + 2 * n, 0.0f);

    if (bypassed)
    {
        for (int ch = 0; ch < b.nrTotal; ++ch)
        {
            const float* x = ch < b.nrIn ? b.mainChannel (ch, offset) : b.sideChannel (ch, offset);
            if (x != nullptr)
                input_2_ringbuf (w, ch, x, n);
        }
        return;
    }

    for (int ch = 0; ch < b.nrIn; ++ch)
    {
        const float* x = b.mainChannel (ch, offset);
        if (x == nullptr)
            continue;

        input_2_ringbuf (w, ch, x, n);
        if (b.mode == MixMode::sum)
            buildSumDetector (b, x, ch, n);
        b.levels[ch] = std::max (b.levels[ch], largestMagnitude (x, n));
    }

    writeSideChainToRing (b, offset, n);
}

void BrisaltoAudioProcessor::buildSumDetector (RenderBlock& b, const float* x, int ch, int n) noexcept
{
    auto& element = mRingBuffer[(size_t) mRingWriteIndex];
    float* sum = element.mSamples.data() + (size_t) b.nrTotal * (size_t) n;
    float* peak = sum + n;
    const bool softLimiter = isOn (mParamSnapshot[SoftLimiterOn]);
    const float w2 = b.weights[ch] * b.weights[ch];

    const auto trackPeak = [&] (int i, float q)
    {
        if (softLimiter && q > peak[i])
            peak[i] = q;
    };

    if (ch < b.nrIn - 1)
    {
        for (int i = 0; i < n; ++i)
        {
            const float q = x[i] * x[i];
            sum[i] += w2 * q;
            trackPeak (i, q);
        }
        return;
    }

    float divisor = 0.0f;
    if (b.group <= 0)
    {
        for (int c = 0; c < b.nrIn; ++c)
            divisor += b.weights[c] * b.weights[c];
        if (divisor == 0.0f)
            divisor = 1.0f;
    }
    else
    {
        const int linked = linkReceive (sum, n, b.tsx);
        divisor = (float) (b.nrIn + linked);
    }

    float sumOfSquares = 0.0f;
    for (int i = 0; i < n; ++i)
    {
        const float q = x[i] * x[i];
        sum[i] = std::sqrt ((w2 * q + sum[i]) / divisor);
        sumOfSquares += sum[i] * sum[i];
        trackPeak (i, q);
    }
    element.mMeanSquares[(size_t) b.nrTotal] = sumOfSquares / (float) n;
}

void BrisaltoAudioProcessor::writeSideChainToRing (RenderBlock& b, int offset, int n) noexcept
{
    const int sides = b.nrTotal - b.nrIn;
    if (sides <= 0)
        return;

    auto& element = mRingBuffer[(size_t) mRingWriteIndex];
    float* block = element.mSamples.data() + (size_t) b.nrIn * (size_t) n;

    if (sides == 1)
    {
        if (const float* x = b.sideChannel (b.nrIn, offset))
        {
            std::memcpy (block, x, sizeof (float) * (size_t) n);
            element.mMeanSquares[(size_t) b.nrIn] = meanSquare (x, n);
        }
        return;
    }

    // Several side-chain channels: the root of their summed squares.
    std::fill (block, block + n, 0.0f);
    for (int ch = b.nrIn; ch < b.nrTotal; ++ch)
        if (const float* x = b.sideChannel (ch, offset))
            for (int i = 0; i < n; ++i)
                block[i] += x[i] * x[i];

    for (int i = 0; i < n; ++i)
        block[i] = std::sqrt (block[i]);
    element.mMeanSquares[(size_t) b.nrIn] = meanSquare (block, n);
}

void BrisaltoAudioProcessor::writeSideDetectorSource (RenderBlock& b, int n) noexcept
{
    if (b.mode == MixMode::sideChainReceive && b.track >= 0 && b.track < NUM_EXT_SIDECHAIN_SLOTS)
    {
        extSideChainReceive (b.track, mRingWriteIndex, n, b.tsx - n);
        return;
    }

    if (b.mode == MixMode::sideMidi)
    {
        // Each note-on since the last block is one impulse of height velocity / 127 at the
        // start of the block; only the last velocity counts.
        float* signal = mMidiSideSignal.data();
        std::fill (signal, signal + n, 0.0f);
        const int32_t velocity = mMidiSideVelocity.exchange (0);
        if (velocity != 0)
            signal[0] = (float) velocity / 127.0f;
        input_2_ringbuf (mRingWriteIndex, b.nrIn, signal, n);
    }
}

void BrisaltoAudioProcessor::finishRingStep (RenderBlock& b, int n) noexcept
{
    // Everything this element holds also enters the sample-exact delay.
    auto& rs = mRenderState;
    const auto& element = mRingBuffer[(size_t) mRingWriteIndex];
    const int blocks = std::min (b.ringChannelBlocks(), rs.ringChannelCapacity);
    for (int c = 0; c < blocks; ++c)
        rs.ringDelay.write (c, element.mSamples.data() + (size_t) c * (size_t) n, n);
}

int BrisaltoAudioProcessor::selectReadElement (RenderBlock& b, bool& filling) noexcept
{
    filling = false;
    const int w = mRingWriteIndex;
    const int lookahead = b.lookaheadBlocks;
    if (! isOn (mParamSnapshot[Adpative_Thresh_On]) || lookahead <= 0)
        return w;

    if (mRenderState.ringElementsInUse < lookahead + 1)
    {
        filling = true;
        return w;
    }

    const int size = (int) mRingBuffer.size();
    return (w - lookahead + size) % size;
}

void BrisaltoAudioProcessor::alignReadElement (RenderBlock& b, int readIndex, int n) noexcept
{
    auto& rs = mRenderState;
    const int64_t wantedStart = rs.sampleClock - b.lookaheadDelay;
    if (rs.elementStart[(size_t) readIndex] == wantedStart && rs.elementLength[(size_t) readIndex] == n)
        return;

    // The element does not hold exactly the audio of one latency ago: rebuild it from the
    // sample-exact delay, mean squares included.
    auto& element = mRingBuffer[(size_t) readIndex];
    const int blocks = std::min (b.ringChannelBlocks(), rs.ringChannelCapacity);
    for (int c = 0; c < blocks; ++c)
    {
        float* block = element.mSamples.data() + (size_t) c * (size_t) n;
        rs.ringDelay.read (c, block, n, b.lookaheadDelay);
        element.mMeanSquares[(size_t) c] = meanSquare (block, n);
    }
    rs.elementStart[(size_t) readIndex] = wantedStart;
    rs.elementLength[(size_t) readIndex] = n;
}

void BrisaltoAudioProcessor::runDetectorAndGains (RenderBlock& b, int readIndex, bool filling, int offset, int n) noexcept
{
    if (b.mainIns < 1)
        return;

    const int channelCount = std::max (1, b.nrIn);
    const int lookahead = b.lookaheadBlocks;

    // Three ways to detect: one state per channel, the side detector, or the summed detector.
    enum class Row { perChannel, side, shared };
    Row row = Row::shared;
    if (b.mode == MixMode::multiMono)
        row = Row::perChannel;
    else if ((b.mode == MixMode::side && b.sideBusPresent) || b.hasMidiOrReceivedSide())
        row = Row::side;

    const int detector = row == Row::perChannel ? -1 : (row == Row::side ? b.nrIn : b.nrTotal);
    const bool sharedRow = row == Row::shared;
    const bool showBlockMaximum = row == Row::shared;

    if (detector >= 0 && ! filling)
        calc_gains (mChannelStates[(size_t) detector], readIndex, detector, n, lookahead);

    for (int ch = 0; ch < channelCount; ++ch)
    {
        float* out = b.mainChannel (ch, offset);
        if (out == nullptr)
        {
            if (sharedRow)
            {
                platform::log::write (platform::log::notice, "Brisalto  processBlock  In chan %d  total In %d   out %d  :  channelData = 0 !!!!!!!!   %llx  %llx\n",
                                      b.nrIn, b.nrTotal, b.totalOuts, 0ull, 0ull);
                platform::log::print ("\nBrisalto  processBlock  channels  In %d  total_In %d    Out %d :  channelData = 0 !!!!!!!!   %llx  %llx \n",
                                      b.nrIn, b.nrTotal, b.totalOuts, 0ull, 0ull);
            }
            continue;
        }

        if (filling)
        {
            std::fill (out, out + n, 0.0f);
            continue;
        }

        auto& state = mChannelStates[(size_t) (detector >= 0 ? detector : ch)];
        if (detector < 0)
            calc_gains (state, readIndex, ch, n, lookahead);
        apply_gain_to_ringbuf (state, readIndex, ch, out, n);
        b.hits += mChannelStates[(size_t) ch].mLimiter.mHits;
    }

    const auto& meterState = mChannelStates[(size_t) (detector >= 0 ? detector : 0)];
    if (meterState.mGrDb > mMaxGainReduction)
        mMaxGainReduction = meterState.mGrDb;

    if (showBlockMaximum)
        b.gainReduction = b.gainReductionSet ? std::max (b.gainReduction, meterState.mBlockMaxGrDb) : meterState.mBlockMaxGrDb;
    else
        b.gainReduction = meterState.mGrDb;
    b.gainReductionSet = true;
}

void BrisaltoAudioProcessor::alignOutputsWithLatency (RenderBlock& b, int offset, int n, bool bypassed) noexcept
{
    auto& rs = mRenderState;
    const int channelCount = std::min (b.nrIn, MAX_CHANNELS);

    if (bypassed)
    {
        // The dry input, as late as processing would deliver it.
        const int delay = b.lookaheadDelay + b.limiterLatency;
        for (int ch = 0; ch < channelCount; ++ch)
            if (auto* out = b.mainChannel (ch, offset))
                rs.ringDelay.read (ch, out, n, delay);
        return;
    }

    // The hard limiter delays by its window, which is shorter than its share of the latency
    // when the release is short (and absent while it is off): make up the difference.
    const bool limiterRuns = isOn (mParamSnapshot[HardLimiterOn]);
    for (int ch = 0; ch < channelCount; ++ch)
    {
        float* out = b.mainChannel (ch, offset);
        if (out == nullptr)
            continue;

        const int limiterDelay = limiterRuns ? std::max (0, (int) mChannelStates[(size_t) ch].mLimiter.mWindow) : 0;
        const int pad = juce::jlimit (0, rs.outputPad.maxDelayFor (n), b.limiterLatency - limiterDelay);
        rs.outputPad.write (ch, out, n);
        if (pad > 0)
            rs.outputPad.read (ch, out, n, pad);
    }
}

void BrisaltoAudioProcessor::writeExtraOutputs (RenderBlock& b, int offset, int n) noexcept
{
    // A mono input feeds every further output channel with its processed signal.
    if (! (b.totalOuts > b.nrIn && b.nrIn >= 1 && b.mainIns <= MAX_CHANNELS - 1))
        return;

    const float* source = b.mainChannel (b.nrIn - 1, offset);
    if (source == nullptr)
        return;

    const int last = std::min (b.totalOuts, MAX_CHANNELS);
    for (int ch = b.nrIn; ch < last; ++ch)
        if (auto* out = b.bufferChannel (ch, offset))
            std::memcpy (out, source, sizeof (float) * (size_t) n);
}
