#pragma once

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

    // n samples of src (listenSource while listening) through the whole stage into out.
    static void render (const Channel& channel, const OutputSettings& settings, const float* src,
                        const float* listenSource, float* out, int n, const Meters& meters) noexcept;

    // The gains with Mix: dry below 100, the reduction alone (without makeup) added to the
    // dry signal for a negative Mix.
    static void applyMix (const channelComprStateT& gains, const OutputSettings& settings,
                          const float* src, float* out, int n) noexcept;

    // The three saturation curves on the gained signal, class A with its running DC removal.
    static void applyTube (const channelComprStateT& gains, TubeDcHistory& history, const OutputSettings& settings,
                           const float* src, float* out, int n) noexcept;

    // The look-ahead hard limiter in place; a limiter switched on starts empty.
    static void limit (channelComprStateT& own, bool on, float* out, int n) noexcept;

    // The block's peak into the output peak and the clip count.
    static void meter (const float* out, int n, const Meters& meters) noexcept;
};
