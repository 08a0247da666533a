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

void OutputStage::render (const Channel& channel, const OutputSettings& settings, const float* src,
                          const float* listenSource, float* out, int n, const Meters& meters) noexcept
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

void OutputStage::renderChannels (const Channels& c, const OutputSettings& settings, int n, const Meters& meters,
                                  Scratch& scratch) noexcept
{
    if (settings.listen || c.count < 2 || c.count > MAX_CHANNELS)
    {
        for (int k = 0; k < c.count; ++k)
            render ({ *c.gains[k], *c.own[k], *c.tubeDc[k] }, settings, c.src[k], c.listenSource[k], c.out[k], n, meters);
        return;
    }

    if (settings.tubeRuns())
        applyTubes (c, settings, n, scratch);
    else
        for (int k = 0; k < c.count; ++k)
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

void OutputStage::applyMix (const channelComprStateT& gains, const OutputSettings& settings,
                            const float* src, float* out, int n) noexcept
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

OutputStage::TubeCurves OutputStage::tubeCurvesFor (const OutputSettings& settings) noexcept
{
    TubeCurves c;
    c.A = settings.classA;
    c.B = settings.classAB;
    c.D = settings.distort;
    const float a = (7.0f * c.A + 1.0f) * 0.125f;
    c.kA = (dsp::tanh (0.7f + a) - tanhOfPoint7) / a * minus1Db;
    const float b = 20.0f * c.B + 1.0f;
    c.kB = dsp::tanh (0.25f * b) / ((b + b) * 0.125f) * minus1Db;
    c.dA = 1.0f;
    c.dB = 1.0f;
    if (c.D > 0.0f)
    {
        c.dA = (float) (1.0 - (double) c.D + 0.5 * (double) c.D);
        c.dB = 1.0f - c.D + 1.13f * c.D;
    }
    c.sA = 7.0f * c.A + 1.0f;
    c.sB = 20.0f * c.B + 1.0f;
    return c;
}

void OutputStage::applyTube (const channelComprStateT& gains, TubeDcHistory& history, const OutputSettings& settings,
                             const float* src, float* out, int n) noexcept
{
    // In chunks: first the gained signal, then each curve over the whole chunk in vector
    // passes, then the sum with the running DC removal.
    const auto curves = tubeCurvesFor (settings);
    const float* mix = gains.mMixPerSample.data();
    float dcSum = history.sum();
    TubeChunk chunk;
    for (int start = 0; start < n; start += tubeChunk)
    {
        const int count = std::min (tubeChunk, n - start);
        tubeChunkBeforeDc (curves, gains, src, start, count, chunk);
        if (curves.A > 0.0f)
            history.removeMean (chunk.curveA, count, settings.tubeDcLength, dcSum);
        tubeChunkSum (curves, chunk, src + start, mix + start, out + start, count);
    }
}

void OutputStage::applyTubes (const Channels& c, const OutputSettings& settings, int n, Scratch& scratch) noexcept
{
    const auto curves = tubeCurvesFor (settings);
    float dcSums[MAX_CHANNELS];
    float* classA[MAX_CHANNELS];
    for (int k = 0; k < c.count; ++k)
    {
        dcSums[k] = c.tubeDc[k]->sum();
        classA[k] = scratch.chunks[k].curveA;
    }

    for (int start = 0; start < n; start += tubeChunk)
    {
        const int count = std::min (tubeChunk, n - start);
        for (int k = 0; k < c.count; ++k)
            tubeChunkBeforeDc (curves, *c.gains[k], c.src[k], start, count, scratch.chunks[k]);
        if (curves.A > 0.0f)
            TubeDcHistory::removeMeans (c.tubeDc, classA, dcSums, c.count, count, settings.tubeDcLength);
        for (int k = 0; k < c.count; ++k)
            tubeChunkSum (curves, scratch.chunks[k], c.src[k] + start, c.gains[k]->mMixPerSample.data() + start,
                          c.out[k] + start, count);
    }
}

void OutputStage::tubeChunkBeforeDc (const TubeCurves& c, const channelComprStateT& gains, const float* src, int start,
                                     int count, TubeChunk& chunk) noexcept
{
    const float* G = gains.mGainPerSample.data() + start;
    const float* GR = gains.mGrPerSampleDb.data() + start;
    const float* mixes = gains.mMixPerSample.data() + start;
    const float* x = src + start;
    float* ys = chunk.ys;
    float* powerD = chunk.powerD;

    bool negativeMix = false;  // rare: a negative Mix in this chunk
    for (int i = 0; i < count; ++i)
        negativeMix |= mixes[i] < 0.0f;
    chunk.negativeMix = negativeMix;

    for (int i = 0; i < count; ++i)
    {
        ys[i] = G[i] * x[i];
        powerD[i] = std::abs (x[i]) * G[i];
    }
    for (int i = 0; i < count && negativeMix; ++i)
    {
        const float m = mixes[i] / 100.0f;
        if (m < 0.0f)
        {
            // Scalar on purpose: the gain and the mix nearly cancel where the reduction
            // matches the mix, and the curves below magnify any difference from here.
            ys[i] = (std::pow (10.0f, GR[i] / 20.0f) * m + 1.0f) * x[i];
            powerD[i] = std::abs (ys[i]);
        }
    }
    if (c.A > 0.0f)
        dsp::block::tanhOf (ys, chunk.curveA, count, c.sA, 0.7f);
    if (c.B > 0.0f)
        dsp::block::tanhOf (ys, chunk.curveB, count, c.sB, 0.0f);
    if (c.D > 0.0f)
        dsp::block::powerOf (powerD, powerD, count, c.dA);

    // Class A's values ahead of its running DC removal.
    float* vA = chunk.curveA;
    if (c.A > 0.0f)
        for (int i = 0; i < count; ++i)
            vA[i] = (vA[i] - tanhOfPoint7) / (c.sA * c.kA) - ys[i];
    else
        std::copy (ys, ys + count, vA);
    if (c.B <= 0.0f)
        std::copy (ys, ys + count, chunk.curveB);  // finite, weighted by B = 0 below
}

void OutputStage::tubeChunkSum (const TubeCurves& c, const TubeChunk& chunk, const float* dry, const float* mix100,
                                float* out, int count) noexcept
{
    // The sum of the curves and the mix in one pass without branches.
    const float A = c.A, B = c.B, D = c.D;
    const float bScale = B > 0.0f ? 1.0f / (c.sB * c.kB) : 1.0f, bShift = B > 0.0f ? 1.0f : 0.0f;
    const float dScale = 1.0f / c.dB;  // the distortion term is weighted by D (0 when off)
    const float* __restrict ys = chunk.ys;
    const float* __restrict vA = chunk.curveA;
    const float* __restrict curveB = chunk.curveB;
    const float* __restrict powerD = chunk.powerD;
    float* __restrict o = out;
    const auto curveSum = [&] (int i) noexcept
    {
        const float y = ys[i];
        const float vB = curveB[i] * bScale - bShift * y;
        const float vD = std::copysign (powerD[i], dry[i]) * dScale - y;
        return y + A * vA[i] + B * vB + 4.0f * D * vD;
    };
    if (! chunk.negativeMix)
    {
        for (int i = 0; i < count; ++i)
        {
            const float m = mix100[i] / 100.0f;
            o[i] = m * curveSum (i) + (1.0f - m) * dry[i];
        }
    }
    else
    {
        for (int i = 0; i < count; ++i)
        {
            const float m = mix100[i] / 100.0f;
            const float z = curveSum (i);
            o[i] = m < 0.0f ? z : m * z + (1.0f - m) * dry[i];
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

    const float peakDb = dsp::toDb (peak);
    if (peakDb > meters.peakDb)
        meters.peakDb = peakDb;
    if (meters.peakDb > 0.0f && meters.clipCount < INT_MAX)
        meters.clipCount++;
}
