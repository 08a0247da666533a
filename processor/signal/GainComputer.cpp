#include "processor/PluginProcessor.h"
#include "processor/common/BlockMath.h"
#include "processor/common/DbConversion.h"
#include "processor/common/SignalMath.h"

#include <climits>
#include <cmath>
#include <limits>

namespace
{
    constexpr float maxAutoGainDb = 30.0f;       // the auto gain never exceeds the makeup range
    constexpr float minRunningReleaseStep = 2.0e-7f;  // above the "release running" mark
    constexpr float maxReleaseSamples = 1.0e9f;

    bool isOn (float normalised) noexcept { return normalised > 0.5f; }

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

    float meanSquareOf (const ringbuf_data& element, int channel) noexcept
    {
        if (channel < 0 || channel >= (int) element.mMeanSquares.size())
            return 0.0f;
        const float ms = element.mMeanSquares[(size_t) channel];
        return std::isfinite (ms) ? ms : 0.0f;
    }

    // The n samples of one channel block, or nullptr when the element does not hold it.
    const float* channelBlock (const ringbuf_data& element, int channel, int n) noexcept
    {
        if (channel < 0 || n <= 0 || (size_t) (channel + 1) * (size_t) n > element.mSamples.size())
            return nullptr;
        return element.mSamples.data() + (size_t) channel * (size_t) n;
    }
}

void BrisaltoAudioProcessor::advanceMixRamp (channelComprStateT& state, int n) noexcept
{
    const float mixTarget = mDisplayValues[Mix];
    if (std::isfinite (mixTarget))
        state.mMixSmoother.setTargetValue (mixTarget);
    const int count = std::min (n, (int) state.mMixPerSample.size());
    for (int i = 0; i < count; ++i)
        state.mMixPerSample[(size_t) i] = state.mMixSmoother.getNextValue();
}

BrisaltoAudioProcessor::LevelSum BrisaltoAudioProcessor::levelsAhead (int ringIndex, int channel, int lookaheadBlocks) const noexcept
{
    LevelSum ahead;
    const int ringSize = (int) mRingBuffer.size();
    int index = ringIndex;
    for (int k = 1; k <= lookaheadBlocks && ringSize > 0; ++k)
    {
        index = index + 1 >= ringSize ? 0 : index + 1;
        const float ms = meanSquareOf (mRingBuffer[(size_t) index], channel);
        if ((double) ms > 1e-6) { ahead.sum += ms; ++ahead.count; }
    }
    return ahead;
}

float BrisaltoAudioProcessor::adaptThreshold (channelComprStateT& state, int ringIndex, int channel,
                                              int lookaheadBlocks, float& adaptiveLevel, const LevelSum* ahead) const noexcept
{
    float threshold = mBlockThresholdDb;
    adaptiveLevel = 0.0f;
    if (! isOn (mParamSnapshot[Adpative_Thresh_On]))
        return threshold;

    const int window = std::min (lookaheadBlocks > 0 ? lookaheadBlocks : 50, (int) state.mHistoryLength);
    float sum = 0.0f;
    int count = 0;
    for (int age = 0; age < window && age < state.mLevelHistory.size(); ++age)
    {
        const float ms = state.mLevelHistory.newest (age);
        if ((double) ms > 1e-6) { sum += ms; ++count; }
    }

    const LevelSum blocksAhead = ahead != nullptr ? *ahead : levelsAhead (ringIndex, channel, lookaheadBlocks);
    sum += blocksAhead.sum;
    count += blocksAhead.count;

    if (count == 0)
        return state.mAdaptiveThresholdDb;

    adaptiveLevel = dsp::toDb (std::sqrt (sum / (float) count));
    if (threshold > adaptiveLevel)
        threshold = threshold - (threshold - adaptiveLevel) * (float) mParams[Adaptive_Relative_Amount];
    if (std::isfinite (threshold))
        state.mAdaptiveThresholdDb = threshold;
    return state.mAdaptiveThresholdDb;
}

void BrisaltoAudioProcessor::prepareDetectors (int ringIndex, int count, int n, int lookaheadBlocks)
{
    if (n <= 0 || ringIndex < 0 || ringIndex >= (int) mRingBuffer.size())
        return;

    // The levels ahead element by element for all channels: each element's mean squares
    // are read once, not once per channel.
    count = std::min (count, (int) MAX_CHANNELS);
    if (isOn (mParamSnapshot[Adpative_Thresh_On]))
    {
        std::fill (mLevelsAhead, mLevelsAhead + count, LevelSum {});
        const int ringSize = (int) mRingBuffer.size();
        int index = ringIndex;
        for (int k = 1; k <= lookaheadBlocks; ++k)
        {
            index = index + 1 >= ringSize ? 0 : index + 1;
            const auto& ahead = mRingBuffer[(size_t) index];
            for (int ch = 0; ch < count; ++ch)
            {
                const float ms = meanSquareOf (ahead, ch);
                if ((double) ms > 1e-6) { mLevelsAhead[ch].sum += ms; ++mLevelsAhead[ch].count; }
            }
        }
    }

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
        float* filtered = state.mFilteredDetector.data();
        for (int i = 0; i < n; ++i)
            filtered[i] = dsp::finiteOrZero (det[i]);
        states[used] = &state;
        blocks[used] = filtered;
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

    // 1. Per-sample vectors (grow only with the block size) and the block's Mix ramp.
    state.ensureBlockSize (n);
    advanceMixRamp (state, n);

    // 2. Release curve.
    const float* P = mParamSnapshot;
    const bool nonLinearRelease = isOn (P[Non_Lin_Release_On]);
    const float exponent = releaseExponent (P);

    // 3./4. The analysed block.
    if (ringIndex < 0 || ringIndex >= (int) mRingBuffer.size())
        return;
    const auto& element = mRingBuffer[(size_t) ringIndex];
    const float* det = channelBlock (element, channel, n);
    if (det == nullptr)
        return;

    // 5. Band filter (not while listening: the filtered signal goes to the output then).
    float* filtered = state.mFilteredDetector.data();
    if (! detectorReady)
    {
        for (int i = 0; i < n; ++i)
            filtered[i] = dsp::finiteOrZero (det[i]);
        if (isOn (P[BPFilterOn]) && P[BPFilterListenOn] < 0.5f)
            state.runFilter (filtered, n);
    }
    det = filtered;

    // 6. Peak signal of the soft limiter (squared samples).
    const bool softLimiter = isOn (P[SoftLimiterOn]);
    const auto mode = mBlockMixMode;
    const float* peakSquares = nullptr;
    if (softLimiter && (mode == MixMode::side || mode == MixMode::sideChainReceive || mode == MixMode::sideMidi
                        || (mode == MixMode::sum && mNrInChannels >= 2)))
        peakSquares = channelBlock (element, mNrTotalInChannels + 1, n);

    // 7. Attack length latched while no attack runs.
    if ((double) state.mAttackStepDb < 0.0001)
        state.mAttackLength = mBlockAttackSamples;

    // 8. Level history.
    state.mLevelHistory.push (meanSquareOf (element, channel));

    // 9. Threshold.
    float adaptiveLevel = 0.0f;
    const bool aheadReady = detectorReady && channel >= 0 && channel < MAX_CHANNELS;
    const float threshold = adaptThreshold (state, ringIndex, channel, lookaheadBlocks, adaptiveLevel,
                                            aheadReady ? &mLevelsAhead[channel] : nullptr);

    // 10. Makeup target.
    state.mBlockMaxGrDb = 0.0f;
    const float makeupTarget = mDisplayValues[MakeupGain];
    if (std::isfinite (makeupTarget))
        state.mMakeupSmoother.setTargetValue (makeupTarget);

    // 11. Envelope, makeup, soft limiter and gains per sample.
    runEnvelope (state, det, peakSquares, n, threshold, adaptiveLevel, nonLinearRelease, exponent);

    // 12. Gain-reduction history.
    state.mGrHistory.push (dsp::sum (state.mGrPerSampleDb.data(), n) / (float) n);

    // 13. Auto gain: the average of the recent blocks that reduced by more than 1 dB.
    if (isOn (P[AutoGainMakeupOn]))
    {
        float sum = 0.0f;
        int count = 0;
        const int entries = std::min (100, state.mGrHistory.size());
        for (int age = 0; age < entries; ++age)
        {
            const float gr = state.mGrHistory.newest (age);
            if (gr > 1.0f) { sum += gr; ++count; }
        }
        const float autoGain = count != 0 ? (sum / (float) count) * 2.0f * P[AutoGainAmount] : 0.0f;
        // Bounded: with the soft limiter the reduction includes the auto gain itself.
        mAutoGainDb = std::isfinite (autoGain) ? juce::jlimit (-maxAutoGainDb, maxAutoGainDb, autoGain) : 0.0f;
    }
}

void BrisaltoAudioProcessor::runEnvelope (channelComprStateT& state, const float* det, const float* peakSquares, int n,
                                          float threshold, float adaptiveLevel, bool nonLinearRelease, float exponent) noexcept
{
    const float* P = mParamSnapshot;
    const float fsms = (float) mSampleRate / 1000.0f;
    const float ratio = mBlockRatio;
    const float releaseMs = mBlockReleaseMs;
    const auto wanted = [threshold, ratio] (float p) noexcept { return (p - threshold) - (p - threshold) / ratio; };

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
    const float autoGainDb = mAutoGainDb;

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

    // The levels first, a block at a time: independent of the envelope.
    float* levels = state.mLevelScratch.data();
    float* softLevels = levels + n;
    float* wantedForLevel = levels + 2 * n;
    float* overThreshold = levels + 3 * n;  // what a level over the threshold wants, else -inf
    dsp::block::magnitudesToDb (det, levels, n);
    for (int i = 0; i < n; ++i)
    {
        wantedForLevel[i] = wanted (levels[i]);
        overThreshold[i] = levels[i] > threshold ? wantedForLevel[i] : -std::numeric_limits<float>::infinity();
    }
    if (softLimiter && peakSquares != nullptr)
        dsp::block::powersToDb (peakSquares, softLevels, n);
    else
        softLevels = levels;

    // The makeup of each sample: the smoothed manual makeup (plus the auto gain) or a constant,
    // depending on the makeup variant.
    float makeupShift = mBlockMakeupDb + relative;
    bool followsSmoother = false;
    if (adaptive)
    {
        if (maxMakeupOn)
            makeupShift = std::min (25.0f, mBlockAutoMakeupDb * 0.5f) + (autoGainOn ? 0.0f : relative);
        else if (autoGainOn)
            makeupShift = autoGainDb + mBlockMakeupDb;
    }
    else
    {
        followsSmoother = autoGainOn || ! maxMakeupOn;
        makeupShift = autoGainOn ? autoGainDb : (maxMakeupOn ? mBlockAutoMakeupDb : 0.0f);
    }
    for (int i = 0; i < n; ++i)
    {
        const float mk = state.mMakeupSmoother.getNextValue();
        gainOut[i] = followsSmoother ? mk + makeupShift : makeupShift;
    }

    for (int i = 0; i < n; ++i)
    {
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
                const float rmsDb = dsp::toDb (std::sqrt (attackSum / (float) attackCount));
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

        // -inf (wanting nothing) at or under the threshold.
        const float w = probe == level ? overThreshold[i]
                                       : (probe > threshold ? wanted (probe) : -std::numeric_limits<float>::infinity());
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

        const float makeup = gainOut[i];

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
    }

    // Linear gains, reduction and makeup together, a block at a time.
    for (int i = 0; i < n; ++i)
        gainOut[i] -= grOut[i];
    dsp::block::dbToGains (gainOut, gainOut, n);

    // Nothing non-finite may stay in the envelope: a bad block starts over at rest.
    if (! (std::isfinite (gr) && std::isfinite (releaseStep) && std::isfinite (attackTarget)
           && std::isfinite (attackStep) && std::isfinite (attackSum) && std::isfinite (releaseStart)))
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
