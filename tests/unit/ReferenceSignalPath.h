#pragma once

#include "processor/PluginProcessor.h"
#include "processor/common/DbConversion.h"
#include "processor/common/SignalMath.h"

#include <algorithm>
#include <climits>
#include <cmath>

// The detector's envelope and the saturation written sample by sample with the C library's
// functions, as they were before the block-at-a-time vector passes. The production code must
// stay within 0.001 dB of gain reduction and 1e-6 of full scale of these.
namespace brisalto::reference
{
    constexpr float maxReleaseSamples = 1.0e9f;
    constexpr float minRunningReleaseStep = 2.0e-7f;
    constexpr float tanhOfPoint7 = 0.6043678f;
    constexpr float minus1Db = 0.8912509f;

    inline bool isOn (float normalised)
    {
        return normalised > 0.5f;
    }

    inline void referenceEnvelope (BrisaltoAudioProcessor& p, channelComprStateT& state, const float* det,
                                   const float* peakSquares, int n, float threshold, float adaptiveLevel, bool nonLinearRelease,
                                   float exponent)
    {
        const float* P = p.mParamSnapshot;
        const float fsms = (float) p.mSampleRate / 1000.0f;
        const float ratio = p.mBlockRatio;
        const float releaseMs = p.mBlockReleaseMs;
        const auto wanted = [threshold, ratio] (float level) { return (level - threshold) - (level - threshold) / ratio; };

        float releaseSamplesF = releaseMs * fsms;
        if (! (releaseSamplesF >= 0.0f))
            releaseSamplesF = 0.0f;
        const int releaseCount = (int) std::min (releaseSamplesF, maxReleaseSamples);

        const bool adaptive = isOn (P[Adpative_Thresh_On]);
        const bool autoGainOn = isOn (P[AutoGainMakeupOn]);
        const bool maxMakeupOn = isOn (P[MaxMakeupOn]);
        const bool softLimiter = isOn (P[SoftLimiterOn]);
        const float relative = adaptiveLevel < -10.0f
            ? P[Adaptive_Relative_Gain] * 18.0f * ((-10.0f - std::max (-60.0f, adaptiveLevel)) / 20.0f)
            : 0.0f;
        const float autoGainDb = p.mAutoGainDb;

        float gr = state.mGrDb;
        float releaseStep = state.mReleaseStepDb;
        int32_t countdown = state.mReleaseCountdown;
        float releaseStart = state.mReleaseStartDb;
        float attackTarget = state.mAttackTargetDb;
        float attackStep = state.mAttackStepDb;
        const int32_t attackLength = state.mAttackLength;
        float attackSum = state.mAttackSumSquares;
        int32_t attackCount = state.mAttackSampleCount;
        float blockMax = 0.0f;

        float* grOut = state.mGrPerSampleDb.data();
        float* gainOut = state.mGainPerSample.data();  // holds the makeup in dB until the last pass

        // The levels first: independent of the envelope, so the conversions run back to back.
        float* levels = state.mLevelScratch.data();
        float* softLevels = levels + n;
        float* wantedForLevel = levels + 2 * n;
        for (int i = 0; i < n; ++i)
            levels[i] = brisalto::dsp::toDb (std::abs (det[i]));
        for (int i = 0; i < n; ++i)
            wantedForLevel[i] = wanted (levels[i]);
        if (softLimiter && peakSquares != nullptr)
            for (int i = 0; i < n; ++i)
                softLevels[i] = 0.5f * brisalto::dsp::toDb (brisalto::dsp::finiteOrZero (peakSquares[i]));
        else
            softLevels = levels;

        for (int i = 0; i < n; ++i)
        {
            const float mk = state.mMakeupSmoother.getNextValue();
            const float x = det[i];
            const float level = levels[i];
            float probe = level;

            if (attackStep > 0.0f)
            {
                const float g = gr + attackStep;
                gr = g;
                if (g >= attackTarget)
                {
                    gr = attackTarget;
                    attackStep = 0.0f;
                }
                else if (attackTarget > wantedForLevel[i])
                {
                    attackSum += x * x;
                    if (attackCount < INT_MAX)
                        ++attackCount;
                    const float rmsDb = brisalto::dsp::toDb (std::sqrt (attackSum / (float) attackCount));
                    probe = rmsDb;
                    if (wanted (rmsDb) > g)
                    {
                        attackTarget = wanted (rmsDb);
                        releaseStep = 0.0f;
                        const int remaining = attackLength >= attackCount ? attackLength + 1 - attackCount : 1;
                        attackStep = wanted (rmsDb) / (float) std::max (1, remaining);
                    }
                }
            }
            else if ((double) gr > 0.01)
            {
                if ((double) releaseStep <= 1e-7)
                {
                    releaseStart = gr;
                    int count = releaseCount;
                    if (count < 1)
                        count = std::max (1, attackLength);
                    releaseStep = gr / (float) count;
                    countdown = count;
                    // A very long release would otherwise fall below the "running" mark and
                    // restart on every sample, holding the curve at its start.
                    if (nonLinearRelease && (double) releaseStep <= 1e-7)
                        releaseStep = minRunningReleaseStep;
                }

                if (nonLinearRelease)
                {
                    const float R = releaseMs * fsms;
                    float g = releaseStart;
                    if ((double) R > (double) countdown + 0.001)
                        g = releaseStart * (1.0f - std::pow ((R - (float) countdown) / R, exponent));
                    gr = g;
                    attackTarget = g;
                    const bool wasLast = countdown < 2;
                    --countdown;
                    if (wasLast)
                    {
                        gr = 0.0f;
                        countdown = 0;
                    }
                }
                else
                {
                    gr -= releaseStep;
                    attackTarget -= releaseStep;
                }

                if (gr <= 0.0f)
                {
                    gr = 0.0f;
                    countdown = 0;
                }
            }
            else
            {
                gr = 0.0f;
                releaseStep = 0.0f;
                countdown = 0;
            }

            if (probe > threshold)
            {
                const float w = probe == level ? wantedForLevel[i] : wanted (probe);
                if (attackLength > 0)
                {
                    if (w > attackTarget)
                    {
                        attackTarget = w;
                        releaseStep = 0.0f;
                        attackStep = w / (float) attackLength;
                        attackSum = x * x;
                        attackCount = 1;
                    }
                }
                else if (w > gr)
                {
                    gr = w;
                    releaseStep = 0.0f;
                }
            }

            float makeup;
            if (adaptive)
            {
                if (maxMakeupOn)
                    makeup = std::min (25.0f, p.mBlockAutoMakeupDb * 0.5f) + (autoGainOn ? 0.0f : relative);
                else
                    makeup = autoGainOn ? autoGainDb + p.mBlockMakeupDb : p.mBlockMakeupDb + relative;
            }
            else
            {
                makeup = autoGainOn ? mk + autoGainDb : (maxMakeupOn ? p.mBlockAutoMakeupDb : mk);
            }

            if (softLimiter)
            {
                const float candidate = softLevels[i] + makeup;
                if (candidate > gr)
                {
                    gr = candidate;
                    releaseStep = 0.0f;
                }
            }

            grOut[i] = gr;
            blockMax = std::max (blockMax, gr);
            gainOut[i] = makeup;
        }

        // Linear gains: reduction and makeup together.
        float lastGr = 0.0f, lastGrGain = 1.0f, lastMakeup = 0.0f, lastMakeupGain = 1.0f;
        for (int i = 0; i < n; ++i)
        {
            const float g = grOut[i], makeup = gainOut[i];
            if (g != lastGr)
            {
                lastGr = g;
                lastGrGain = g == 0.0f ? 1.0f : std::pow (10.0f, g / -20.0f);
            }
            if (makeup != lastMakeup)
            {
                lastMakeup = makeup;
                lastMakeupGain = makeup == 0.0f ? 1.0f : std::pow (10.0f, makeup / 20.0f);
            }
            gainOut[i] = lastGrGain * lastMakeupGain;
        }

        // Nothing non-finite may stay in the envelope: a bad block starts over at rest.
        if (! (std::isfinite (gr) && std::isfinite (releaseStep) && std::isfinite (attackTarget) && std::isfinite (attackStep)
               && std::isfinite (attackSum) && std::isfinite (releaseStart)))
        {
            gr = releaseStep = attackTarget = attackStep = attackSum = releaseStart = 0.0f;
            countdown = attackCount = 0;
            for (int i = 0; i < n; ++i)
            {
                grOut[i] = 0.0f;
                gainOut[i] = 1.0f;
            }
            blockMax = 0.0f;
        }

        state.mGrDb = gr;
        state.mReleaseStepDb = releaseStep;
        state.mReleaseCountdown = countdown;
        state.mReleaseStartDb = releaseStart;
        state.mAttackTargetDb = attackTarget;
        state.mAttackStepDb = attackStep;
        state.mAttackSumSquares = attackSum;
        state.mAttackSampleCount = attackCount;
        state.mBlockMaxGrDb = blockMax;
    }

    inline void referenceTube (const BrisaltoAudioProcessor& p, const channelComprStateT& state, TubeDcHistory& history,
                               const float* src, float* out, int n)
    {
        const float* P = p.mParamSnapshot;
        const float A = P[TubeClassA_Amount], B = P[TubeClassAB_Amount], D = P[DistortAmount];
        const float* G = state.mGainPerSample.data();
        const float* GR = state.mGrPerSampleDb.data();
        const float* mix = state.mMixPerSample.data();

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
        const int dcLength = p.mTubeDcLength;

        float dcSum = history.sum();

        // In chunks: first the gained signal, then each curve over the whole chunk (the library
        // calls run back to back), then the sum with the running DC removal.
        constexpr int chunk = 128;
        float ys[chunk], curveA[chunk], curveB[chunk], powerD[chunk];

        for (int start = 0; start < n; start += chunk)
        {
            const int count = std::min (chunk, n - start);
            const float* x = src + start;
            const float* mixes = mix + start;

            for (int i = 0; i < count; ++i)
            {
                const float m = mixes[i] / 100.0f;
                if (m < 0.0f)
                {
                    ys[i] = (std::pow (10.0f, GR[start + i] / 20.0f) * m + 1.0f) * x[i];
                    powerD[i] = std::abs (ys[i]);
                }
                else
                {
                    ys[i] = G[start + i] * x[i];
                    powerD[i] = std::abs (x[i]) * G[start + i];
                }
            }
            if (A > 0.0f)
                for (int i = 0; i < count; ++i)
                    curveA[i] = brisalto::dsp::tanh (sA * ys[i] + 0.7f);
            if (B > 0.0f)
                for (int i = 0; i < count; ++i)
                    curveB[i] = brisalto::dsp::tanh (sB * ys[i]);
            if (D > 0.0f)
                for (int i = 0; i < count; ++i)
                    powerD[i] = std::pow (powerD[i], dA);

            for (int i = 0; i < count; ++i)
            {
                const float m = mixes[i] / 100.0f;
                const float y = ys[i];

                float vA = y;
                if (A > 0.0f)
                {
                    vA = (curveA[i] - tanhOfPoint7) / (sA * kA) - y;
                    float dropped = 0.0f;
                    if (history.push (vA, dcLength, dropped))
                    {
                        dcSum = dcSum + vA - dropped;
                        vA = vA - dcSum / (float) dcLength;
                    }
                    else
                    {
                        // Still filling: the sum keeps counting what the history holds.
                        dcSum += vA;
                    }
                }

                const float vB = B > 0.0f ? curveB[i] / (sB * kB) - y : y;

                float vD = y;
                if (D > 0.0f)
                {
                    const float sign = x[i] < 0.0f ? -1.0f : 1.0f;
                    vD = sign * powerD[i] / dB - y;
                }

                const float z = y + A * vA + B * vB + 4.0f * D * vD;
                out[start + i] = m < 0.0f ? z : m * z + (1.0f - m) * x[i];
            }
        }
    }
}
