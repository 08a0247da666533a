// The processor's entry points into the signal path's stages (processor/signal/): each fills
// the stage's settings from the render loop's per-block copies and hands it the channel states.

#include "processor/PluginProcessor.h"
#include "processor/common/BlockMath.h"
#include "processor/common/DbConversion.h"
#include "processor/signal/DetectorFilter.h"
#include "processor/signal/Envelope.h"
#include "processor/signal/GainComputer.h"
#include "processor/signal/OutputStage.h"

#include <algorithm>
#include <cmath>

namespace
{
    bool isOn (float normalised) noexcept
    {
        return normalised > 0.5f;
    }

    // Release curve exponent: 0.2 at amount 0, 1 at 0.5 (straight line), 3 at 1.
    float releaseExponent (const float* snapshot) noexcept
    {
        if (! isOn (snapshot[Non_Lin_Release_On]))
            return 1.0f;
        const double a = snapshot[Non_Lin_Release_Amount];
        if (a <= 0.5)
        {
            const double x = 2.0 * a;
            return (float) (x + (1.0 - x) * 0.2);
        }
        const double x = 2.0 * (a - 0.5);
        return (float) (3.0 * x + (1.0 - x));
    }

    // The n samples of one channel block, or nullptr when the element does not hold it.
    float* channelBlock (ringbuf_data& element, int channel, int n) noexcept
    {
        if (channel < 0 || n <= 0 || (size_t) (channel + 1) * (size_t) n > element.mSamples.size())
            return nullptr;
        return element.mSamples.data() + (size_t) channel * (size_t) n;
    }

    const float* channelBlock (const ringbuf_data& element, int channel, int n) noexcept
    {
        return channelBlock (const_cast<ringbuf_data&> (element), channel, n);
    }
}

DetectorSettings BrisaltoAudioProcessor::detectorSettings() const noexcept
{
    const float* P = mParamSnapshot;
    DetectorSettings s;
    s.sampleRate = mSampleRate;
    s.thresholdDb = mBlockThresholdDb;
    s.ratio = mBlockRatio;
    s.releaseMs = mBlockReleaseMs;
    s.attackSamples = mBlockAttackSamples;
    s.nonLinearRelease = isOn (P[Non_Lin_Release_On]);
    s.releaseExponent = releaseExponent (P);
    s.makeupDb = mBlockMakeupDb;
    s.autoMakeupDb = mBlockAutoMakeupDb;
    s.makeupTargetDb = mDisplayValues[MakeupGain];
    s.mixTarget = mDisplayValues[Mix];
    s.bandFilter = isOn (P[BPFilterOn]) && P[BPFilterListenOn] < 0.5f;
    s.softLimiter = isOn (P[SoftLimiterOn]);
    s.adaptive = isOn (P[Adpative_Thresh_On]);
    s.adaptiveRelativeGain = P[Adaptive_Relative_Gain];
    s.adaptiveRelativeAmount = mParams[Adaptive_Relative_Amount];
    s.autoGain = isOn (P[AutoGainMakeupOn]);
    s.autoGainAmount = P[AutoGainAmount];
    s.maxMakeup = isOn (P[MaxMakeupOn]);
    return s;
}

OutputSettings BrisaltoAudioProcessor::outputSettings() const noexcept
{
    const float* P = mParamSnapshot;
    OutputSettings s;
    s.mix = mDisplayValues[Mix];
    s.listen = isOn (P[BPFilterOn]) && isOn (P[BPFilterListenOn]);
    s.tube = isOn (P[Tube_Distort_On]);
    s.classA = P[TubeClassA_Amount];
    s.classAB = P[TubeClassAB_Amount];
    s.distort = P[DistortAmount];
    s.tubeDcLength = mTubeDcLength;
    s.hardLimiter = isOn (P[HardLimiterOn]);
    return s;
}

void BrisaltoAudioProcessor::calc_filter_coeffs()
{
    FilterSettings settings;
    settings.sampleRate = (double) mSampleRate;
    settings.frequency = mParams[BPFilterFreq];
    settings.q = mParams[BPFilterQ];
    settings.type = filterTypeFromParameter (mParams[BPFilterType]);
    float coeffs[5];
    DetectorFilterDesign::coefficients (settings, coeffs);
    mDetectorFilter.publish (coeffs);
}

void BrisaltoAudioProcessor::prepareSignalPath()
{
    const int n = juce::jmax (1, (int) mBlocksize);
    for (auto& state : mChannelStates)
        state.ensureBlockSize (n);
    brisalto::dsp::block::prepare();
}

//==============================================================================
void BrisaltoAudioProcessor::input_2_ringbuf (int ringIndex, int channel, const float* samples, int n)
{
    if (samples == nullptr || ringIndex < 0 || ringIndex >= (int) mRingBuffer.size() || n < 0 || channel < 0)
        return;

    auto& element = mRingBuffer[(size_t) ringIndex];
    float* block = channelBlock (element, channel, n);
    if (block == nullptr)
        return;

    // Non-finite input is stored as silence, so nothing downstream (detector, histories,
    // saturation, limiter) ever sees it.
    for (int i = 0; i < n; ++i)
        block[i] = brisalto::dsp::finiteOrZero (samples[i]);

    const auto mode = mBlockMixMode;
    const int nrIn = mNrInChannels;
    if (mode == MixMode::multiMono || ((mode == MixMode::side || mode == MixMode::sideChainReceive) && channel == nrIn))
    {
        if (channel < (int) element.mMeanSquares.size())
        {
            float s0 = 0.0f, s1 = 0.0f, s2 = 0.0f, s3 = 0.0f;
            int i = 0;
            for (; i + 4 <= n; i += 4)
            {
                s0 += block[i] * block[i];
                s1 += block[i + 1] * block[i + 1];
                s2 += block[i + 2] * block[i + 2];
                s3 += block[i + 3] * block[i + 3];
            }
            for (; i < n; ++i)
                s0 += block[i] * block[i];
            element.mMeanSquares[(size_t) channel] = ((s0 + s1) + (s2 + s3)) / (float) n;
        }
    }

    if (isOn (mParamSnapshot[SoftLimiterOn])
        && (mode == MixMode::side || mode == MixMode::sideChainReceive || mode == MixMode::sideMidi) && channel < nrIn && n >= 1)
    {
        if (float* peak = channelBlock (element, mNrTotalInChannels + 1, n))
            for (int i = 0; i < n; ++i)
                peak[i] = std::max (peak[i], block[i] * block[i]);
    }
}

//==============================================================================
void BrisaltoAudioProcessor::advanceMixRamp (channelComprStateT& state, int n) noexcept
{
    GainComputer::advanceMixRamp (state, detectorSettings(), n);
}

void BrisaltoAudioProcessor::runEnvelope (channelComprStateT& state, const float* det, const float* peakSquares, int n,
                                          float threshold, float adaptiveLevel, bool nonLinearRelease, float exponent) noexcept
{
    auto settings = detectorSettings();
    settings.nonLinearRelease = nonLinearRelease;
    settings.releaseExponent = exponent;
    Envelope::run (state, { det, peakSquares, n, threshold, adaptiveLevel }, settings, mAutoGainDb);
}

void BrisaltoAudioProcessor::prepareDetectors (int ringIndex, int count, int n, int lookaheadBlocks)
{
    if (n <= 0 || ringIndex < 0 || ringIndex >= (int) mRingBuffer.size())
        return;

    count = std::min (count, (int) MAX_CHANNELS);
    if (isOn (mParamSnapshot[Adpative_Thresh_On]))
        AdaptiveThreshold::levelsAhead (mRingBuffer, ringIndex, count, lookaheadBlocks, mLevelsAhead);

    const auto& element = mRingBuffer[(size_t) ringIndex];
    channelComprStateT* states[MAX_CHANNELS];
    float* blocks[MAX_CHANNELS];
    int used = 0;
    for (int ch = 0; ch < count; ++ch)
    {
        auto& state = mChannelStates[(size_t) ch];
        const float* det = channelBlock (element, ch, n);
        if (det == nullptr)
            continue;
        state.ensureBlockSize (n);  // as calc_gains does: grows only with the block size
        states[used] = &state;
        blocks[used] = GainComputer::cleanDetector (state, det, n);
        ++used;
    }
    if (isOn (mParamSnapshot[BPFilterOn]) && mParamSnapshot[BPFilterListenOn] < 0.5f)
        channelComprStateT::runFilters (states, blocks, used, n);
}

void BrisaltoAudioProcessor::calc_gains (channelComprStateT& state, int ringIndex, int channel, int n, int lookaheadBlocks,
                                         bool detectorReady)
{
    if (n <= 0)
        return;

    const auto settings = detectorSettings();
    state.ensureBlockSize (n);
    GainComputer::advanceMixRamp (state, settings, n);

    if (ringIndex < 0 || ringIndex >= (int) mRingBuffer.size())
        return;
    const auto& element = mRingBuffer[(size_t) ringIndex];
    const float* det = channelBlock (element, channel, n);
    if (det == nullptr)
        return;

    // The soft limiter's peak signal, where the detector is not the channel itself.
    const auto mode = mBlockMixMode;
    const float* peakSquares = nullptr;
    if (settings.softLimiter
        && (mode == MixMode::side || mode == MixMode::sideChainReceive || mode == MixMode::sideMidi
            || (mode == MixMode::sum && mNrInChannels >= 2)))
        peakSquares = channelBlock (element, mNrTotalInChannels + 1, n);

    AdaptiveThreshold::LevelSum ahead;
    if (settings.adaptive)
        ahead = detectorReady && channel >= 0 && channel < MAX_CHANNELS
            ? mLevelsAhead[channel]
            : AdaptiveThreshold::levelsAhead (mRingBuffer, ringIndex, channel, lookaheadBlocks);

    GainComputer::Block block;
    block.samples = det;
    block.prefiltered = detectorReady;
    block.peakSquares = peakSquares;
    block.meanSquare = AdaptiveThreshold::meanSquareOf (element, channel);
    block.n = n;
    block.lookaheadBlocks = lookaheadBlocks;
    GainComputer::run (state, block, ahead, settings, mAutoGainDb);
}

void BrisaltoAudioProcessor::calcGainsInLanes (int ringIndex, uint32_t channels, int n, int lookaheadBlocks)
{
    if (n <= 0)
        return;

    const auto settings = detectorSettings();
    const ringbuf_data* element =
        ringIndex >= 0 && ringIndex < (int) mRingBuffer.size() ? &mRingBuffer[(size_t) ringIndex] : nullptr;
    channelComprStateT* states[MAX_CHANNELS];
    GainComputer::Block blocks[MAX_CHANNELS];
    AdaptiveThreshold::LevelSum ahead[MAX_CHANNELS];
    int used = 0;
    for (int ch = 0; ch < MAX_CHANNELS; ++ch)
    {
        if ((channels & (1u << ch)) == 0)
            continue;
        auto& state = mChannelStates[(size_t) ch];
        state.ensureBlockSize (n);
        GainComputer::advanceMixRamp (state, settings, n);
        const float* det = element != nullptr ? channelBlock (*element, ch, n) : nullptr;
        if (det == nullptr)
            continue;

        auto& block = blocks[used];
        block.samples = det;
        block.prefiltered = true;
        block.meanSquare = AdaptiveThreshold::meanSquareOf (*element, ch);
        block.n = n;
        block.lookaheadBlocks = lookaheadBlocks;
        ahead[used] = settings.adaptive ? mLevelsAhead[ch] : AdaptiveThreshold::LevelSum {};
        states[used++] = &state;
    }
    GainComputer::runChannels (states, blocks, ahead, used, settings, mAutoGainDb);
}

//==============================================================================
bool BrisaltoAudioProcessor::outputSources (const channelComprStateT& state, int ringIndex, int channel, int n, const float*& src,
                                            const float*& listenSource) const noexcept
{
    if (n <= 0 || (int) state.mGainPerSample.size() < n || (int) state.mMixPerSample.size() < n)
        return false;
    if (ringIndex < 0 || ringIndex >= (int) mRingBuffer.size() || channel < 0 || channel >= MAX_CHANNELS)
        return false;

    const auto& element = mRingBuffer[(size_t) ringIndex];
    src = channelBlock (element, channel, n);
    if (src == nullptr)
        return false;

    listenSource = src;
    if (isOn (mParamSnapshot[BPFilterOn]) && isOn (mParamSnapshot[BPFilterListenOn])
        && (mBlockMixMode == MixMode::side || mBlockMixMode == MixMode::sideChainReceive))
        if (const float* side = channelBlock (element, mNrInChannels, n))
            listenSource = side;
    return true;
}

void BrisaltoAudioProcessor::apply_gain_to_ringbuf (channelComprStateT& state, int ringIndex, int channel, float* out, int n)
{
    const float* src = nullptr;
    const float* listenSource = nullptr;
    if (out == nullptr || ! outputSources (state, ringIndex, channel, n, src, listenSource))
        return;

    OutputStage::render ({ state, mChannelStates[(size_t) channel], mTubeDcHistory[(size_t) channel] }, outputSettings(), src,
                         listenSource, out, n, { mOutputPeakDb, mClipCount });
}

void BrisaltoAudioProcessor::renderOutputs (int readIndex, int detector, const int* channels, float* const* outs, int count,
                                            int n) noexcept
{
    const channelComprStateT* gains[MAX_CHANNELS];
    channelComprStateT* own[MAX_CHANNELS];
    TubeDcHistory* tubeDc[MAX_CHANNELS];
    const float* sources[MAX_CHANNELS];
    const float* listenSources[MAX_CHANNELS];
    float* targets[MAX_CHANNELS];
    int used = 0;
    for (int k = 0; k < count && used < MAX_CHANNELS; ++k)
    {
        const int ch = channels[k];
        const auto& state = mChannelStates[(size_t) (detector >= 0 ? detector : ch)];
        if (outs[k] == nullptr || ! outputSources (state, readIndex, ch, n, sources[used], listenSources[used]))
            continue;
        gains[used] = &state;
        own[used] = &mChannelStates[(size_t) ch];
        tubeDc[used] = &mTubeDcHistory[(size_t) ch];
        targets[used++] = outs[k];
    }
    OutputStage::renderChannels ({ gains, own, tubeDc, sources, listenSources, targets, used }, outputSettings(), n,
                                 { mOutputPeakDb, mClipCount });
}

void BrisaltoAudioProcessor::applyTube (const channelComprStateT& state, int channel, const float* src, float* out,
                                        int n) noexcept
{
    OutputStage::applyTube (state, mTubeDcHistory[(size_t) channel], outputSettings(), src, out, n);
}
