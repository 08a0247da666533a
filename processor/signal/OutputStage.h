#pragma once

#include "processor/common/ProcessorTypes.h"
#include "processor/common/RelaxedAtomic.h"
#include "processor/signal/ChannelComprState.h"
#include "processor/signal/SignalSettings.h"
#include "processor/signal/TubeDcHistory.h"

#include <cstdint>

// The output of one channel block: the detector's gains with Mix, or the tube saturation, or
// the band-filtered detector signal while listening; then the hard limiter and the meters.
class OutputStage
{
public:
    // The processor's output meters, updated from the render thread.
    struct Meters
    {
        RelaxedAtomic<float>& peakDb;
        RelaxedAtomic<int32_t>& clipCount;
    };

    struct Channel
    {
        const channelComprStateT& gains;  // the detector state whose gains apply
        channelComprStateT& own;          // the output channel's own filter and limiter
        TubeDcHistory& tubeDc;            // the output channel's tube DC history
    };

    // Several output channels of one block, entry k of each array for channel k.
    struct Channels
    {
        const channelComprStateT* const* gains;
        channelComprStateT* const* own;
        TubeDcHistory* const* tubeDc;
        const float* const* src;
        const float* const* listenSource;
        float* const* out;
        int count;
    };

    // n samples of src (listenSource while listening) through the whole stage into out.
    static void render (const Channel& channel, const OutputSettings& settings, const float* src, const float* listenSource,
                        float* out, int n, const Meters& meters) noexcept;

    // render for every channel, in order, with the same results: the hard limiters run side
    // by side.
    static void renderChannels (const Channels& channels, const OutputSettings& settings, int n, const Meters& meters) noexcept;

    // The gains with Mix: dry below 100, the reduction alone (without makeup) added to the
    // dry signal for a negative Mix.
    static void applyMix (const channelComprStateT& gains, const OutputSettings& settings, const float* src, float* out,
                          int n) noexcept;

    // The three saturation curves on the gained signal, class A with its running DC removal.
    static void applyTube (const channelComprStateT& gains, TubeDcHistory& history, const OutputSettings& settings,
                           const float* src, float* out, int n) noexcept;

    // The look-ahead hard limiter in place; a limiter switched on starts empty.
    static void limit (channelComprStateT& own, bool on, float* out, int n) noexcept;

    // The block's peak into the output peak and the clip count.
    static void meter (const float* out, int n, const Meters& meters) noexcept;

private:
    // Whether the limiter runs, clearing one switched on since the last block.
    static bool armLimiter (channelComprStateT& own, bool on) noexcept;
};
