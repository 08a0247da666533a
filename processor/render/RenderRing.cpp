#include "processor/render/RenderBlock.h"
#include "processor/render/RingDelayFeed.h"

#include "processor/common/DbConversion.h"

// Feeding the look-ahead ring: main inputs, the summed detector, the side-chain and the side
// detector sources, and choosing (and aligning) the element the detector reads.

void BrisaltoAudioProcessor::writeInputsToRing (RenderBlock& b, int offset, int n, bool bypassed) noexcept
{
    auto& rs = mRenderState;
    const int w = mRingWriteIndex;
    auto& element = mRingBuffer[(size_t) w];
    brisalto::render::retireElement (rs, mRingBuffer, w);

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
        b.levels[ch] = std::max (b.levels[ch], brisalto::render::largestMagnitude (x, n));
    }

    writeSideChainToRing (b, offset, n);
}

void BrisaltoAudioProcessor::buildSumDetector (RenderBlock& b, const float* x, int ch, int n) noexcept
{
    auto& element = mRingBuffer[(size_t) mRingWriteIndex];
    float* sum = element.mSamples.data() + (size_t) b.nrTotal * (size_t) n;
    float* peak = sum + n;
    const bool softLimiter = brisalto::render::isOn (mParamSnapshot[SoftLimiterOn]);
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
        const int linked = linkReceive (b, sum, n, b.chunkTsx);
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

    // Non-finite side-chain samples are stored as silence, like main inputs: the detector
    // and the listen output read this block.
    if (sides == 1)
    {
        if (const float* x = b.sideChannel (b.nrIn, offset))
        {
            for (int i = 0; i < n; ++i)
                block[i] = brisalto::dsp::finiteOrZero (x[i]);
            element.mMeanSquares[(size_t) b.nrIn] = brisalto::render::meanSquare (block, n);
        }
        return;
    }

    // Several side-chain channels: the root of their summed squares.
    std::fill (block, block + n, 0.0f);
    for (int ch = b.nrIn; ch < b.nrTotal; ++ch)
        if (const float* x = b.sideChannel (ch, offset))
            for (int i = 0; i < n; ++i)
            {
                const float v = brisalto::dsp::finiteOrZero (x[i]);
                block[i] += v * v;
            }

    for (int i = 0; i < n; ++i)
        block[i] = std::sqrt (block[i]);
    element.mMeanSquares[(size_t) b.nrIn] = brisalto::render::meanSquare (block, n);
}

void BrisaltoAudioProcessor::writeSideDetectorSource (RenderBlock& b, int n) noexcept
{
    if (b.mode == MixMode::sideChainReceive && b.track >= 0 && b.track < NUM_EXT_SIDECHAIN_SLOTS)
    {
        if (const auto receipt = mSideChain.receive (b, n, b.chunkTsx, mRenderState.preparedBlockSize))
        {
            if (receipt->samples != nullptr)
                input_2_ringbuf (mRingWriteIndex, b.nrIn, receipt->samples, n);
            mLinkStatus = (int32_t) receipt->status;
        }
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

void BrisaltoAudioProcessor::finishRingStep (RenderBlock& b) noexcept
{
    // Everything this element holds also enters the sample-exact delay, once it is needed.
    auto& rs = mRenderState;
    brisalto::render::markElementPending (rs, mRingWriteIndex, std::min (b.ringChannelBlocks(), rs.ringChannelCapacity));
}

int BrisaltoAudioProcessor::selectReadElement (RenderBlock& b, bool& filling) noexcept
{
    filling = false;
    const int w = mRingWriteIndex;
    const int lookahead = b.lookaheadBlocks;
    if (! brisalto::render::isOn (mParamSnapshot[Adpative_Thresh_On]) || lookahead <= 0)
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
    brisalto::render::bringDelayUpToDate (rs, mRingBuffer);
    auto& element = mRingBuffer[(size_t) readIndex];
    const int blocks = std::min (b.ringChannelBlocks(), rs.ringChannelCapacity);
    for (int c = 0; c < blocks; ++c)
    {
        float* block = element.mSamples.data() + (size_t) c * (size_t) n;
        rs.ringDelay.read (c, block, n, b.lookaheadDelay);
        element.mMeanSquares[(size_t) c] = brisalto::render::meanSquare (block, n);
    }
    rs.elementStart[(size_t) readIndex] = wantedStart;
    rs.elementLength[(size_t) readIndex] = n;
}
