#include "processor/signal/OutputStage.h"

#include "processor/common/BlockMath.h"
#include "processor/common/DbConversion.h"
#include "processor/common/SignalMath.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace
{
    constexpr float tanhOfPoint7 = 0.6043678f;  // the class-A curve passes through 0 at 0
    constexpr float minus1Db = 0.8912509f;      // 10^(-1/20)
}

void OutputStage::render (const Channel& channel, const OutputSettings& settings, const float* src, const float* listenSource,
                          float* out, int n, const Meters& meters) noexcept
{
    if (settings.listen)
    {
        std::copy (listenSource, listenSource + n, out);
        channel.own.runFilter (out, n);
    }
    else if (settings.tubeRuns())
    {
        applyTube (channel.gains, channel.tubeDc, settings, src, out, n);
    }
    else
    {
        applyMix (channel.gains, settings, src, out, n);
    }

    limit (channel.own, settings.hardLimiter, out, n);
    meter (out, n, meters);
}

void OutputStage::renderChannels (const Channels& c, const OutputSettings& settings, int n, const Meters& meters) noexcept
{
    if (settings.listen || c.count < 2 || c.count > MAX_CHANNELS)
    {
        for (int k = 0; k < c.count; ++k)
            render ({ *c.gains[k], *c.own[k], *c.tubeDc[k] }, settings, c.src[k], c.listenSource[k], c.out[k], n, meters);
        return;
    }

    // Each channel's tube keeps its own DC removal: with the histories apart in memory, moving
    // their values into lanes and back costs more than the running sums would share.
    const bool tube = settings.tubeRuns();
    for (int k = 0; k < c.count; ++k)
        if (tube)
            applyTube (*c.gains[k], *c.tubeDc[k], settings, c.src[k], c.out[k], n);
        else
            applyMix (*c.gains[k], settings, c.src[k], c.out[k], n);

    zolt_tools::Limiter* limiters[MAX_CHANNELS];
    float* limited[MAX_CHANNELS];
    int running = 0;
    for (int k = 0; k < c.count; ++k)
        if (armLimiter (*c.own[k], settings.hardLimiter))
        {
            limiters[running] = &c.own[k]->mLimiter;
            limited[running++] = c.out[k];
        }
    zolt_tools::Limiter::processLanes (limiters, limited, running, n);

    for (int k = 0; k < c.count; ++k)
        meter (c.out[k], n, meters);
}

bool OutputStage::armLimiter (channelComprStateT& own, bool on) noexcept
{
    if (! on)
    {
        own.mLimiterActive = false;
        return false;
    }
    // A limiter switched on starts empty: no audio from before it was switched off.
    if (! own.mLimiterActive)
        own.mLimiter.clear();
    own.mLimiterActive = true;
    return true;
}

void OutputStage::limit (channelComprStateT& own, bool on, float* out, int n) noexcept
{
    if (armLimiter (own, on))
        own.mLimiter.process (out, n);
}

void OutputStage::applyMix (const channelComprStateT& gains, const OutputSettings& settings, const float* src, float* out,
                            int n) noexcept
{
    const float* G = gains.mGainPerSample.data();
    const float* GR = gains.mGrPerSampleDb.data();
    const float* mix = gains.mMixPerSample.data();
    const float mv = settings.mix / 100.0f;

    if (mv == 1.0f)
    {
        for (int i = 0; i < n; ++i)
            out[i] = src[i] * G[i];
    }
    else if (mv < 0.0f)
    {
        // Negative mix: the reduction without makeup, added to the dry signal.
        brisalto::dsp::block::dbToGains (GR, out, n);
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

void OutputStage::applyTube (const channelComprStateT& gains, TubeDcHistory& history, const OutputSettings& settings,
                             const float* src, float* out, int n) noexcept
{
    const float A = settings.classA, B = settings.classAB, D = settings.distort;
    const float* G = gains.mGainPerSample.data();
    const float* GR = gains.mGrPerSampleDb.data();
    const float* mix = gains.mMixPerSample.data();

    const float a = (7.0f * A + 1.0f) * 0.125f;
    const float kA = (brisalto::dsp::tanh (0.7f + a) - tanhOfPoint7) / a * minus1Db;
    const float b = 20.0f * B + 1.0f;
    const float kB = brisalto::dsp::tanh (0.25f * b) / ((b + b) * 0.125f) * minus1Db;
    float dA = 1.0f, dB = 1.0f;
    if (D > 0.0f)
    {
        dA = (float) (1.0 - (double) D + 0.5 * (double) D);
        dB = 1.0f - D + 1.13f * D;
    }
    const float sA = 7.0f * A + 1.0f;
    const float sB = 20.0f * B + 1.0f;
    const int dcLength = settings.tubeDcLength;

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
            brisalto::dsp::block::tanhOf (ys, curveA, count, sA, 0.7f);
        if (B > 0.0f)
            brisalto::dsp::block::tanhOf (ys, curveB, count, sB, 0.0f);
        if (D > 0.0f)
            brisalto::dsp::block::powerOf (powerD, powerD, count, dA);

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

void OutputStage::meter (const float* out, int n, const Meters& meters) noexcept
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

    const float peakDb = brisalto::dsp::toDb (peak);
    if (peakDb > meters.peakDb)
        meters.peakDb = peakDb;
    if (meters.peakDb > 0.0f && meters.clipCount < INT_MAX)
        meters.clipCount++;
}
