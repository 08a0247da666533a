#include "processor/render/RenderBlock.h"
#include "processor/render/RenderThread.h"
#include "processor/render/RingDelayFeed.h"
#include "platform/Log.h"

#include <cstring>

namespace
{
    void replaceStorage (std::vector<float>& v, size_t size)
    {
        std::vector<float> (size, 0.0f).swap (v);
    }
}

void BrisaltoAudioProcessor::prepareRenderLoop()
{
    auto& rs = mRenderState;
    const int blockSize = std::max (1, (int) mBlocksize);
    const int longestLookahead =
        brisalto::render::lookaheadBlocksFor (brisalto::render::longestLookaheadMs, blockSize, mSampleRate);
    const int ringSize = longestLookahead + 1;
    const int inputs = juce::jlimit (0, MAX_CHANNELS, std::max (getTotalNumInputChannels(), (int) mNrTotalInChannels));
    const int channelBlocks = inputs + brisalto::render::derivedRingBlocks;

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
    rs.elementPendingBlocks.assign ((size_t) ringSize, 0);

    const int longestDelay = longestLookahead * blockSize + std::max (0, (int) mLimiterLookahead);
    rs.ringDelay.prepare (channelBlocks, longestDelay + blockSize);
    rs.outputPad.prepare (MAX_CHANNELS, std::max (0, (int) mLimiterLookahead) + blockSize);

    if ((int) mMidiSideSignal.size() < blockSize)
        mMidiSideSignal.resize ((size_t) blockSize, 0.0f);
    rs.lastHostBlockSize = blockSize;
    rs.previousBlockLength = 0;

    // The exchange works in chunks of at most this size: its entries are sized now.
    mSideChain.prepare (blockSize);
    mLink.prepare (blockSize);
}

void BrisaltoAudioProcessor::ensureRingCapacity (int channelBlocks)
{
    auto& rs = mRenderState;
    if (channelBlocks <= rs.ringChannelCapacity)
        return;

    // Only reached when the host changes the layout without preparing again.
    brisalto::platform::log::write (brisalto::platform::log::warning,
                                    "Brisalto processBlock  ring grows to %d channel blocks without prepareToPlay !!!!!!",
                                    channelBlocks);
    for (auto& element : mRingBuffer)
    {
        element.mSamples.resize ((size_t) channelBlocks * (size_t) rs.preparedBlockSize, 0.0f);
        element.mMeanSquares.resize ((size_t) channelBlocks, 0.0f);
    }
    rs.ringDelay.prepare (channelBlocks, rs.ringDelay.capacity());
    brisalto::render::dropPendingElements (rs);
    rs.ringChannelCapacity = channelBlocks;
}

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
    if (brisalto::render::isOn (mParamSnapshot[BPFilterOn]) && rs.filterCoeffsWaiting)
        handOverFilterCoeffs();

    updateChannelCounts (b, false);

    // Exchange with other instances: per chunk, with the chunk's own timestamp.
    mSideChain.retryPendingClears();
    mLink.retryPendingClear();
    const bool links = mLink.linksThisBlock (b);
    if (! links)
        mLink.leaveGroup();  // a block in flight while the instance left its group wrote it last block

    if (b.sendsExternalSideChain())
    {
        // The audio passes unprocessed, delayed by the reported latency like everything the
        // host aligns by it (as in bypass); outputs beyond the main inputs stay silent.
        if (b.mainChannel (0, 0) == nullptr)
            return;
        b.sendOnly = true;
        for (int offset = 0; offset < n; offset += rs.preparedBlockSize)
        {
            const int chunk = std::min (rs.preparedBlockSize, n - offset);
            if (const auto status = mSideChain.send (b, b.mainChannel (0, offset), chunk, b.tsx + offset))
                mLinkStatus = (int32_t) *status;
            bypassChunk (b, offset, chunk);
        }
        finishExchangeBlock (n);
        return;
    }

    for (int offset = 0; offset < n; offset += rs.preparedBlockSize)
    {
        const int chunk = std::min (rs.preparedBlockSize, n - offset);
        b.chunkTsx = b.tsx + offset;
        if (links)
            linkSend (b, offset, chunk, b.chunkTsx);
        renderChunk (b, offset, chunk);
    }
    finishExchangeBlock (n);

    for (int ch = 0; ch < b.nrIn; ++ch)
        mInputChannelLevels[ch] = b.levels[ch];
    if (b.gainReductionSet)
        mGainReduction = b.gainReduction;
    if (brisalto::render::isOn (mParamSnapshot[HardLimiterOn]))
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
    mRenderState.previousBlockLength = n;

    updateChannelCounts (b, true);

    auto& rs = mRenderState;
    for (int offset = 0; offset < n; offset += rs.preparedBlockSize)
        bypassChunk (b, offset, std::min (rs.preparedBlockSize, n - offset));
}

bool BrisaltoAudioProcessor::beginBlock (RenderBlock& b, juce::AudioBuffer<float>& buffer, bool bypassed) noexcept
{
    brisalto::RenderThread::markCurrent();

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
    b.mode = (modeValue >= (int32_t) MixMode::multiMono && modeValue <= (int32_t) MixMode::sideMidi) ? (MixMode) modeValue
                                                                                                     : MixMode::sum;
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
    if (mLatencyByRenderThread)
        reportLatencyOfBlock (b.lookaheadDelay + b.limiterLatency);

    // The play head last: the block's settings above are taken before anything of the host is
    // asked for.
    readPlayHead (b);
    return true;
}

void BrisaltoAudioProcessor::renderChunk (RenderBlock& b, int offset, int n) noexcept
{
    writeInputsToRing (b, offset, n, false);
    writeSideDetectorSource (b, n);
    finishRingStep (b);

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
    alignOutputsWithLatency (b, offset, n, false, filling);
    writeExtraOutputs (b, offset, n);

    auto& rs = mRenderState;
    rs.sampleClock += n;
    rs.ringDelay.advance (n);
    rs.outputPad.advance (n);
}

void BrisaltoAudioProcessor::bypassChunk (RenderBlock& b, int offset, int n) noexcept
{
    writeInputsToRing (b, offset, n, true);
    finishRingStep (b);

    bool filling = false;
    selectReadElement (b, filling);
    mRingWriteIndex = (mRingWriteIndex + 1) % (int32_t) mRingBuffer.size();

    for (int ch = b.mainIns; ch < b.totalOuts; ++ch)
        if (auto* out = b.bufferChannel (ch, offset))
            std::fill (out, out + n, 0.0f);

    alignOutputsWithLatency (b, offset, n, true, filling);
    if (! b.sendOnly)
        writeExtraOutputs (b, offset, n);

    auto& rs = mRenderState;
    rs.sampleClock += n;
    rs.ringDelay.advance (n);
    rs.outputPad.advance (n);
}
