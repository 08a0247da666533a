#include "processor/signal/AdaptiveThreshold.h"

#include "processor/common/DbConversion.h"
#include "processor/signal/LevelHistoryLanes.h"

#include <algorithm>
#include <cmath>

namespace
{
    void addLevel (AdaptiveThreshold::LevelSum& levels, float meanSquare) noexcept
    {
        if ((double) meanSquare > 1e-6)
        {
            levels.sum += meanSquare;
            ++levels.count;
        }
    }
}

float AdaptiveThreshold::meanSquareOf (const ringbuf_data& element, int channel) noexcept
{
    if (channel < 0 || channel >= (int) element.mMeanSquares.size())
        return 0.0f;
    const float ms = element.mMeanSquares[(size_t) channel];
    return std::isfinite (ms) ? ms : 0.0f;
}

AdaptiveThreshold::LevelSum AdaptiveThreshold::levelsAhead (const Ring& ring, int ringIndex, int channel,
                                                            int lookaheadBlocks) noexcept
{
    LevelSum ahead;
    const int ringSize = (int) ring.size();
    int index = ringIndex;
    for (int k = 1; k <= lookaheadBlocks && ringSize > 0; ++k)
    {
        index = index + 1 >= ringSize ? 0 : index + 1;
        addLevel (ahead, meanSquareOf (ring[(size_t) index], channel));
    }
    return ahead;
}

void AdaptiveThreshold::levelsAhead (const Ring& ring, int ringIndex, int count, int lookaheadBlocks, LevelSum* ahead) noexcept
{
    std::fill (ahead, ahead + count, LevelSum {});
    const int ringSize = (int) ring.size();
    int index = ringIndex;
    for (int k = 1; k <= lookaheadBlocks && ringSize > 0; ++k)
    {
        index = index + 1 >= ringSize ? 0 : index + 1;
        const auto& element = ring[(size_t) index];
        for (int ch = 0; ch < count; ++ch)
            addLevel (ahead[ch], meanSquareOf (element, ch));
    }
}

int AdaptiveThreshold::windowOf (const channelComprStateT& state, int lookaheadBlocks) noexcept
{
    return std::min (lookaheadBlocks > 0 ? lookaheadBlocks : 50, (int) state.mHistoryLength);
}

float AdaptiveThreshold::threshold (channelComprStateT& state, const DetectorSettings& settings, int lookaheadBlocks,
                                    const LevelSum& ahead, float& adaptiveLevelDb) noexcept
{
    adaptiveLevelDb = 0.0f;
    if (! settings.adaptive)
        return settings.thresholdDb;

    const int window = windowOf (state, lookaheadBlocks);
    LevelSum levels;
    for (int age = 0; age < window && age < state.mLevelHistory.size(); ++age)
        addLevel (levels, state.mLevelHistory.newest (age));
    return fromLevels (state, settings, levels, ahead, adaptiveLevelDb);
}

void AdaptiveThreshold::thresholds (channelComprStateT* const* states, int count, const DetectorSettings& settings,
                                    int lookaheadBlocks, const LevelSum* ahead, float* thresholdDb,
                                    float* adaptiveLevelDb) noexcept
{
    if (! settings.adaptive)
    {
        std::fill (thresholdDb, thresholdDb + count, settings.thresholdDb);
        std::fill (adaptiveLevelDb, adaptiveLevelDb + count, 0.0f);
        return;
    }

    constexpr int batch = 32;
    const HistoryRing* histories[batch];
    int windows[batch], counts[batch];
    float sums[batch];
    for (int first = 0; first < count; first += batch)
    {
        const int used = std::min (batch, count - first);
        for (int k = 0; k < used; ++k)
        {
            histories[k] = &states[first + k]->mLevelHistory;
            windows[k] = windowOf (*states[first + k], lookaheadBlocks);
        }
        brisalto::LevelHistoryLanes::sumRecent (histories, windows, used, sums, counts);
        for (int k = 0; k < used; ++k)
            thresholdDb[first + k] =
                fromLevels (*states[first + k], settings, { sums[k], counts[k] }, ahead[first + k], adaptiveLevelDb[first + k]);
    }
}

float AdaptiveThreshold::fromLevels (channelComprStateT& state, const DetectorSettings& settings, LevelSum levels,
                                     const LevelSum& ahead, float& adaptiveLevelDb) noexcept
{
    float threshold = settings.thresholdDb;
    adaptiveLevelDb = 0.0f;
    levels.sum += ahead.sum;  // the recent blocks' sum first, then the blocks ahead
    levels.count += ahead.count;

    if (levels.count == 0)
        return state.mAdaptiveThresholdDb;

    adaptiveLevelDb = brisalto::dsp::toDb (std::sqrt (levels.sum / (float) levels.count));
    if (threshold > adaptiveLevelDb)
        threshold = threshold - (threshold - adaptiveLevelDb) * settings.adaptiveRelativeAmount;
    if (std::isfinite (threshold))
        state.mAdaptiveThresholdDb = threshold;
    return state.mAdaptiveThresholdDb;
}
