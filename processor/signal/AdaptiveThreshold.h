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

    // The mean square of a channel's block in a ring element, 0 when it is missing or not finite.
    static float meanSquareOf (const ringbuf_data& element, int channel) noexcept;
};
