#include "processor/signal/GainComputer.h"

#include "processor/common/DbConversion.h"
#include "processor/common/SignalMath.h"
#include "processor/signal/Envelope.h"

#include <algorithm>
#include <cmath>

namespace
{
    constexpr float maxAutoGainDb = 30.0f;  // the auto gain never exceeds the makeup range
}

void GainComputer::advanceMixRamp (channelComprStateT& state, const DetectorSettings& settings, int n) noexcept
{
    if (std::isfinite (settings.mixTarget))
        state.mMixSmoother.setTargetValue (settings.mixTarget);
    const int count = std::min (n, (int) state.mMixPerSample.size());
    for (int i = 0; i < count; ++i)
        state.mMixPerSample[(size_t) i] = state.mMixSmoother.getNextValue();
}

float* GainComputer::cleanDetector (channelComprStateT& state, const float* samples, int n) noexcept
{
    float* filtered = state.mFilteredDetector.data();
    for (int i = 0; i < n; ++i)
        filtered[i] = brisalto::dsp::finiteOrZero (samples[i]);
    return filtered;
}

float* GainComputer::detectorBlock (channelComprStateT& state, const Block& block, const DetectorSettings& s) noexcept
{
    const int n = block.n;

    // The band filter (not while listening: the filtered signal goes to the output then).
    float* detector = state.mFilteredDetector.data();
    if (! block.prefiltered)
    {
        cleanDetector (state, block.samples, n);
        if (s.bandFilter)
            state.runFilter (detector, n);
    }

    // The attack length is latched while no attack runs.
    if ((double) state.mAttackStepDb < 0.0001)
        state.mAttackLength = s.attackSamples;

    state.mLevelHistory.push (block.meanSquare);
    return detector;
}

Envelope::Input GainComputer::envelopeInput (channelComprStateT& state, const Block& block, const DetectorSettings& s,
                                             float thresholdDb, float adaptiveLevelDb) noexcept
{
    state.mBlockMaxGrDb = 0.0f;
    if (std::isfinite (s.makeupTargetDb))
        state.mMakeupSmoother.setTargetValue (s.makeupTargetDb);
    return { state.mFilteredDetector.data(), block.peakSquares, block.n, thresholdDb, adaptiveLevelDb };
}

void GainComputer::endBlock (channelComprStateT& state, const DetectorSettings& s, int n, float& autoGainDb) noexcept
{
    state.mGrHistory.push (brisalto::dsp::sum (state.mGrPerSampleDb.data(), n) / (float) n);
    if (s.autoGain)
        autoGainDb = autoGainOf (state, s);
}

void GainComputer::run (channelComprStateT& state, const Block& block, const AdaptiveThreshold::LevelSum& ahead,
                        const DetectorSettings& s, float& autoGainDb) noexcept
{
    detectorBlock (state, block, s);
    float adaptiveLevelDb = 0.0f;
    const float thresholdDb = AdaptiveThreshold::threshold (state, s, block.lookaheadBlocks, ahead, adaptiveLevelDb);
    const auto input = envelopeInput (state, block, s, thresholdDb, adaptiveLevelDb);
    Envelope::run (state, input, s, autoGainDb);
    endBlock (state, s, block.n, autoGainDb);
}

bool GainComputer::envelopesChain (const DetectorSettings& s) noexcept
{
    const bool makeupFollowsAutoGain = s.autoGain && ! (s.adaptive && s.maxMakeup);
    return s.softLimiter && makeupFollowsAutoGain;
}

void GainComputer::runChannels (channelComprStateT* const* states, const Block* blocks, const AdaptiveThreshold::LevelSum* ahead,
                                int count, const DetectorSettings& s, float& autoGainDb) noexcept
{
    const int n = count > 0 ? blocks[0].n : 0;
    bool alike = true;
    for (int k = 0; k < count; ++k)
        alike = alike && blocks[k].n == n && blocks[k].lookaheadBlocks == blocks[0].lookaheadBlocks
            && blocks[k].peakSquares == nullptr;
    if (envelopesChain (s) || ! alike || n <= 0 || count < brisalto::EnvelopeLanes::width())
    {
        for (int k = 0; k < count; ++k)
            run (*states[k], blocks[k], ahead[k], s, autoGainDb);
        return;
    }

    // Without a chain the makeup a channel's envelope reads (the soft limiter's) does not
    // depend on the auto gain, and may be made before the envelopes run; otherwise the makeup
    // is made afterwards, in channel order, from the auto gain the channel before left.
    const bool makeupFirst = s.softLimiter;
    const brisalto::EnvelopeLanes::Shape shape { s.ratio, Envelope::releaseShape (s), s.softLimiter };
    constexpr int batch = 32;
    Envelope::Input inputs[batch];
    brisalto::EnvelopeLanes::Channel lanes[batch];
    float thresholdDb[batch], adaptiveLevelDb[batch];
    for (int first = 0; first < count; first += batch)
    {
        const int used = std::min (batch, count - first);
        for (int k = 0; k < used; ++k)
            detectorBlock (*states[first + k], blocks[first + k], s);
        AdaptiveThreshold::thresholds (states + first, used, s, blocks[0].lookaheadBlocks, ahead + first, thresholdDb,
                                       adaptiveLevelDb);
        for (int k = 0; k < used; ++k)
        {
            auto& state = *states[first + k];
            inputs[k] = envelopeInput (state, blocks[first + k], s, thresholdDb[k], adaptiveLevelDb[k]);
            lanes[k] = Envelope::prepareLane (state, inputs[k], s, makeupFirst, autoGainDb);
        }
        brisalto::EnvelopeLanes::run (lanes, used, n, shape);
        for (int k = 0; k < used; ++k)
        {
            auto& state = *states[first + k];
            Envelope::finishLane (state, lanes[k], inputs[k], s, makeupFirst, autoGainDb);
            endBlock (state, s, n, autoGainDb);
        }
    }
}

float GainComputer::autoGainOf (const channelComprStateT& state, const DetectorSettings& s) noexcept
{
    float sum = 0.0f;
    int count = 0;
    const int entries = std::min (100, state.mGrHistory.size());
    for (int age = 0; age < entries; ++age)
    {
        const float gr = state.mGrHistory.newest (age);
        if (gr > 1.0f)
        {
            sum += gr;
            ++count;
        }
    }
    const float autoGain = count != 0 ? (sum / (float) count) * 2.0f * s.autoGainAmount : 0.0f;
    // Bounded: with the soft limiter the reduction includes the auto gain itself.
    return std::isfinite (autoGain) ? std::clamp (autoGain, -maxAutoGainDb, maxAutoGainDb) : 0.0f;
}
