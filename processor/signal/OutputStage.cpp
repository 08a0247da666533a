#include "processor/PluginProcessor.h"
#include "processor/common/BlockMath.h"
#include "processor/common/DbConversion.h"
#include "processor/common/SignalMath.h"

#include <climits>
#include <cmath>

namespace
{
    bool isOn (float normalised) noexcept { return normalised > 0.5f; }

    float* writableBlock (ringbuf_data& element, int channel, int n) noexcept
    {
        if (channel < 0 || n <= 0 || (size_t) (channel + 1) * (size_t) n > element.mSamples.size())
            return nullptr;
        return element.mSamples.data() + (size_t) channel * (size_t) n;
    }

    constexpr float tanhOfPoint7 = 0.6043678f;  // the class-A curve passes through 0 at 0
    constexpr float minus1Db = 0.8912509f;      // 10^(-1/20)
}

void BrisaltoAudioProcessor::prepareSignalPath()
{
    const int n = juce::jmax (1, (int) mBlocksize);
    for (auto& state : mChannelStates)
        state.ensureBlockSize (n);
    dsp::block::prepare();
}

//==============================================================================
void BrisaltoAudioProcessor::input_2_ringbuf (int ringIndex, int channel, const float* samples, int n)
{
    if (samples == nullptr || ringIndex < 0 || ringIndex >= (int) mRingBuffer.size() || n < 0 || channel < 0)
        return;

    auto& element = mRingBuffer[(size_t) ringIndex];
    float* block = writableBlock (element, channel, n);
    if (block == nullptr)
        return;

    // Non-finite input is stored as silence, so nothing downstream (detector, histories,
    // saturation, limiter) ever sees it.
    for (int i = 0; i < n; ++i)
        block[i] = dsp::finiteOrZero (samples[i]);

    const auto mode = mBlockMixMode;
    const int nrIn = mNrInChannels;
    if (mode == MixMode::multiMono
        || ((mode == MixMode::side || mode == MixMode::sideChainReceive) && channel == nrIn))
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
        && (mode == MixMode::side || mode == MixMode::sideChainReceive || mode == MixMode::sideMidi)
        && channel < nrIn && n >= 1)
    {
        if (float* peak = writableBlock (element, mNrTotalInChannels + 1, n))
            for (int i = 0; i < n; ++i)
                peak[i] = std::max (peak[i], block[i] * block[i]);
    }
}

//==============================================================================
void BrisaltoAudioProcessor::apply_gain_to_ringbuf (channelComprStateT& state, int ringIndex, int channel, float* out, int n)
{
    if (out == nullptr || n <= 0 || (int) state.mGainPerSample.size() < n || (int) state.mMixPerSample.size() < n)
        return;
    if (ringIndex < 0 || ringIndex >= (int) mRingBuffer.size() || channel < 0 || channel >= MAX_CHANNELS)
        return;

    auto& element = mRingBuffer[(size_t) ringIndex];
    const float* src = writableBlock (element, channel, n);
    if (src == nullptr)
        return;

    const float* P = mParamSnapshot;
    auto& own = mChannelStates[(size_t) channel];

    if (isOn (P[BPFilterOn]) && isOn (P[BPFilterListenOn]))
    {
        const auto mode = mBlockMixMode;
        if (mode == MixMode::side || mode == MixMode::sideChainReceive)
            if (const float* side = writableBlock (element, mNrInChannels, n))
                src = side;
        std::copy (src, src + n, out);
        own.runFilter (out, n);
    }
    else if (isOn (P[Tube_Distort_On])
             && ((double) P[TubeClassA_Amount] > 0.0001 || (double) P[TubeClassAB_Amount] > 0.0001
                 || (double) P[DistortAmount] > 0.0001))
    {
        applyTube (state, channel, src, out, n);
    }
    else
    {
        applyMix (state, src, out, n);
    }

    if (isOn (P[HardLimiterOn]))
    {
        // A limiter switched on starts empty: no audio from before it was switched off.
        if (! own.mLimiterActive)
            own.mLimiter.clear();
        own.mLimiterActive = true;
        own.mLimiter.process (out, n);
    }
    else
    {
        own.mLimiterActive = false;
    }

    meterOutput (out, n);
}

void BrisaltoAudioProcessor::applyMix (const channelComprStateT& state, const float* src, float* out, int n) noexcept
{
    const float* G = state.mGainPerSample.data();
    const float* GR = state.mGrPerSampleDb.data();
    const float* mix = state.mMixPerSample.data();
    const float mv = mDisplayValues[Mix] / 100.0f;

    if (mv == 1.0f)
    {
        for (int i = 0; i < n; ++i)
            out[i] = src[i] * G[i];
    }
    else if (mv < 0.0f)
    {
        // Negative mix: the reduction without makeup, added to the dry signal.
        dsp::block::dbToGains (GR, out, n);
        for (int i = 0; i < n; ++i)
        {
            const float m = mix[i] / 100.0f;
            out[i] = (out[i] * m + 1.0f) * src[i];
        }
    }
    else
    {
        for (int i = 0; i < n; ++i)
        {
            const float m = mix[i] / 100.0f;
            out[i] = (G[i] * m + 1.0f - m) * src[i];
        }
    }
}

void BrisaltoAudioProcessor::applyTube (const channelComprStateT& state, int channel, const float* src, float* out, int n) noexcept
{
    const float* P = mParamSnapshot;
    const float A = P[TubeClassA_Amount], B = P[TubeClassAB_Amount], D = P[DistortAmount];
    const float* G = state.mGainPerSample.data();
    const float* GR = state.mGrPerSampleDb.data();
    const float* mix = state.mMixPerSample.data();

    const float a = (7.0f * A + 1.0f) * 0.125f;
    const float kA = (dsp::tanh (0.7f + a) - tanhOfPoint7) / a * minus1Db;
    const float b = 20.0f * B + 1.0f;
    const float kB = dsp::tanh (0.25f * b) / ((b + b) * 0.125f) * minus1Db;
    float dA = 1.0f, dB = 1.0f;
    if (D > 0.0f)
    {
        dA = (float) (1.0 - (double) D + 0.5 * (double) D);
        dB = 1.0f - D + 1.13f * D;
    }
    const float sA = 7.0f * A + 1.0f;
    const float sB = 20.0f * B + 1.0f;
    const int dcLength = mTubeDcLength;

    auto& history = mTubeDcHistory[(size_t) channel];
    float dcSum = history.sum();

    // In chunks: first the gained signal, then each curve over the whole chunk in vector
    // passes, then the sum with the running DC removal.
    constexpr int chunk = 128;
    float ys[chunk], curveA[chunk], curveB[chunk], powerD[chunk];

    for (int start = 0; start < n; start += chunk)
    {
        const int count = std::min (chunk, n - start);
        const float* x = src + start;
        const float* mixes = mix + start;
        bool negativeMix = false;  // rare: a negative Mix in this chunk
        for (int i = 0; i < count; ++i)
            negativeMix |= mixes[i] < 0.0f;

        for (int i = 0; i < count; ++i)
        {
            ys[i] = G[start + i] * x[i];
            powerD[i] = std::abs (x[i]) * G[start + i];
        }
        for (int i = 0; i < count && negativeMix; ++i)
        {
            const float m = mixes[i] / 100.0f;
            if (m < 0.0f)
            {
                // Scalar on purpose: the gain and the mix nearly cancel where the reduction
                // matches the mix, and the curves below magnify any difference from here.
                ys[i] = (std::pow (10.0f, GR[start + i] / 20.0f) * m + 1.0f) * x[i];
                powerD[i] = std::abs (ys[i]);
            }
        }
        if (A > 0.0f)
            dsp::block::tanhOf (ys, curveA, count, sA, 0.7f);
        if (B > 0.0f)
            dsp::block::tanhOf (ys, curveB, count, sB, 0.0f);
        if (D > 0.0f)
            dsp::block::powerOf (powerD, powerD, count, dA);

        // Class A with its running DC removal (the only pass that runs sample by sample),
        // then the sum of the curves and the mix in one pass without branches.
        float* vA = curveA;
        if (A > 0.0f)
        {
            for (int i = 0; i < count; ++i)
                vA[i] = (curveA[i] - tanhOfPoint7) / (sA * kA) - ys[i];
            history.removeMean (vA, count, dcLength, dcSum);
        }
        else
        {
            std::copy (ys, ys + count, vA);
        }
        if (B <= 0.0f)
            std::copy (ys, ys + count, curveB);  // finite, weighted by B = 0 below

        const float bScale = B > 0.0f ? 1.0f / (sB * kB) : 1.0f, bShift = B > 0.0f ? 1.0f : 0.0f;
        const float dScale = 1.0f / dB;  // the distortion term is weighted by D (0 when off)
        float* __restrict o = out + start;
        const float* __restrict dry = x;
        const float* __restrict m100 = mixes;
        const auto curveSum = [&] (int i) noexcept
        {
            const float y = ys[i];
            const float vB = curveB[i] * bScale - bShift * y;
            const float vD = std::copysign (powerD[i], dry[i]) * dScale - y;
            return y + A * vA[i] + B * vB + 4.0f * D * vD;
        };
        if (! negativeMix)
        {
            for (int i = 0; i < count; ++i)
            {
                const float m = m100[i] / 100.0f;
                o[i] = m * curveSum (i) + (1.0f - m) * dry[i];
            }
        }
        else
        {
            for (int i = 0; i < count; ++i)
            {
                const float m = m100[i] / 100.0f;
                const float z = curveSum (i);
                o[i] = m < 0.0f ? z : m * z + (1.0f - m) * dry[i];
            }
        }
    }
}

void BrisaltoAudioProcessor::meterOutput (const float* out, int n) noexcept
{
    // Eight running maxima side by side (the samples are finite), then the largest of them.
    float lanes[8] {};
    int i = 0;
    for (; i + 8 <= n; i += 8)
        for (int k = 0; k < 8; ++k)
        {
            const float v = std::abs (out[i + k]);
            lanes[k] = v > lanes[k] ? v : lanes[k];
        }
    float peak = 0.0f;
    for (float v : lanes)
        peak = std::max (peak, v);
    for (; i < n; ++i)
        peak = std::max (peak, std::abs (out[i]));

    const float peakDb = dsp::toDb (peak);
    if (peakDb > mOutputPeakDb)
        mOutputPeakDb = peakDb;
    if (mOutputPeakDb > 0.0f && mClipCount < INT_MAX)
        mClipCount++;
}
