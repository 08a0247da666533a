#pragma once

#include "processor/signal/ChannelComprState.h"
#include "processor/signal/RingBufferData.h"
#include "processor/signal/SignalSettings.h"

#include <deque>

// The threshold that follows the programme: the RMS of the recent and the coming blocks
// (the channel's level history and the look-ahead ring) pulls the threshold down towards it.
class AdaptiveThreshold
{
public:
    // Of the blocks ahead of the analysed one: the sum of their mean squares over 1e-6 and how
    // many there were.
    struct LevelSum
    {
        float sum = 0.0f;
        int count = 0;
    };

    using Ring = std::deque<ringbuf_data>;

    // The blocks ahead of ring element ringIndex for one channel.
    static LevelSum levelsAhead (const Ring& ring, int ringIndex, int channel, int lookaheadBlocks) noexcept;

    // The same for channels 0 .. count-1 at once, into ahead[0 .. count-1]: each element's
    // mean squares are read once, not once per channel.
    static void levelsAhead (const Ring& ring, int ringIndex, int count, int lookaheadBlocks, LevelSum* ahead) noexcept;

    // The block's threshold in dB, with the level it adapted to in adaptiveLevelDb (0 when the
    // adaptive threshold is off or there was nothing to adapt to). The state keeps the last
    // threshold it adapted to.
    static float threshold (channelComprStateT& state, const DetectorSettings& settings, int lookaheadBlocks,
                            const LevelSum& ahead, float& adaptiveLevelDb) noexcept;

    // threshold for `count` states at once, their level histories read side by side in vector
    // lanes: thresholdDb[k] and adaptiveLevelDb[k] as threshold gives them for states[k].
    static void thresholds (channelComprStateT* const* states, int count, const DetectorSettings& settings, int lookaheadBlocks,
                            const LevelSum* ahead, float* thresholdDb, float* adaptiveLevelDb) noexcept;

    // The mean square of a channel's block in a ring element, 0 when it is missing or not finite.
    static float meanSquareOf (const ringbuf_data& element, int channel) noexcept;

private:
    // How many of the newest levels the threshold looks back on.
    static int windowOf (const channelComprStateT& state, int lookaheadBlocks) noexcept;

    // The threshold from the recent levels and those ahead.
    static float fromLevels (channelComprStateT& state, const DetectorSettings& settings, LevelSum levels, const LevelSum& ahead,
                             float& adaptiveLevelDb) noexcept;
};
