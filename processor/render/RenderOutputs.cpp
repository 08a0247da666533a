#include "processor/render/RenderBlock.h"
#include "processor/render/RingDelayFeed.h"
#include "platform/Log.h"

#include <cstring>

// The detector and gains per mix mode, the latency alignment of the outputs and the copies to
// further output channels.

void BrisaltoAudioProcessor::runDetectorAndGains (RenderBlock& b, int readIndex, bool filling, int offset, int n) noexcept
{
    if (b.mainIns < 1)
        return;

    const int channelCount = std::max (1, b.nrIn);
    const int lookahead = b.lookaheadBlocks;

    // Three ways to detect: one state per channel, the side detector, or the summed detector.
    enum class Row
    {
        perChannel,
        side,
        shared
    };
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
    if (detector < 0 && ! filling)
        prepareDetectors (readIndex, channelCount, n, lookahead);  // every channel's band filter at once

    // The channels that have an output this block, in order.
    int channels[MAX_CHANNELS];
    float* outs[MAX_CHANNELS];
    int used = 0;
    uint32_t withOutput = 0;
    for (int ch = 0; ch < channelCount && ch < MAX_CHANNELS; ++ch)
    {
        float* out = b.mainChannel (ch, offset);
        if (out == nullptr)
        {
            if (sharedRow)
            {
                brisalto::platform::log::write (
                    brisalto::platform::log::notice,
                    "Brisalto  processBlock  In chan %d  total In %d   out %d  :  channelData = 0 !!!!!!!!   %llx  %llx\n",
                    b.nrIn, b.nrTotal, b.totalOuts, 0ull, 0ull);
                brisalto::platform::log::print (
                    "\nBrisalto  processBlock  channels  In %d  total_In %d    Out %d :  channelData = 0 !!!!!!!!   %llx  %llx \n",
                    b.nrIn, b.nrTotal, b.totalOuts, 0ull, 0ull);
            }
            continue;
        }

        if (filling)
        {
            std::fill (out, out + n, 0.0f);
            continue;
        }
        channels[used] = ch;
        outs[used] = out;
        ++used;
        withOutput |= 1u << ch;
    }

    // Every channel's gains first, then the output stage over all channels: the output stage
    // reads only the gains, its own channel's limiter, filter and tube history, and the meters.
    if (detector < 0)
        calcGainsInLanes (readIndex, withOutput, n, lookahead);  // side by side where the channels are independent
    renderOutputs (readIndex, detector, channels, outs, used, n);
    for (int k = 0; k < used; ++k)
        b.hits += mChannelStates[(size_t) channels[k]].mLimiter.mHits;

    const auto& meterState = mChannelStates[(size_t) (detector >= 0 ? detector : 0)];
    if (meterState.mGrDb > mMaxGainReduction)
        mMaxGainReduction = meterState.mGrDb;

    if (showBlockMaximum)
        b.gainReduction = b.gainReductionSet ? std::max (b.gainReduction, meterState.mBlockMaxGrDb) : meterState.mBlockMaxGrDb;
    else
        b.gainReduction = meterState.mGrDb;
    b.gainReductionSet = true;
}

void BrisaltoAudioProcessor::alignOutputsWithLatency (RenderBlock& b, int offset, int n, bool bypassed, bool filling) noexcept
{
    auto& rs = mRenderState;
    const int channelCount = std::min (b.nrIn, MAX_CHANNELS);
    // The pad is never read deeper than the limiter's look-ahead before a block, so an output
    // that needs no pad leaves only its last samples of that length in it.
    const int padReach = rs.outputPad.maxDelayFor (rs.preparedBlockSize);

    if (bypassed)
    {
        // The dry input, as late as processing would deliver it (silence while the look-ahead
        // fills). The pad follows what comes out, so that a pad read just after bypass
        // continues it.
        const int delay = b.lookaheadDelay + b.limiterLatency;
        brisalto::render::bringDelayUpToDate (rs, mRingBuffer);
        for (int ch = 0; ch < channelCount; ++ch)
            if (auto* out = b.mainChannel (ch, offset))
            {
                if (filling)
                    std::fill (out, out + n, 0.0f);
                else
                    rs.ringDelay.read (ch, out, n, delay);
                rs.outputPad.writeRecent (ch, out, n, padReach);
            }
        return;
    }

    // The hard limiter delays by its window, which is shorter than its share of the latency
    // when the release is short (and absent while it is off): make up the difference.
    const bool limiterRuns = brisalto::render::isOn (mParamSnapshot[HardLimiterOn]);
    for (int ch = 0; ch < channelCount; ++ch)
    {
        float* out = b.mainChannel (ch, offset);
        if (out == nullptr)
            continue;

        const int limiterDelay = limiterRuns ? std::max (0, (int) mChannelStates[(size_t) ch].mLimiter.mWindow) : 0;
        const int pad = juce::jlimit (0, padReach, b.limiterLatency - limiterDelay);
        if (pad > 0)
        {
            rs.outputPad.write (ch, out, n);
            rs.outputPad.read (ch, out, n, pad);
        }
        else
        {
            rs.outputPad.writeRecent (ch, out, n, padReach);
        }
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
