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

    static constexpr int tubeChunk = 128;

    // One chunk of one channel's tube: the gained signal, the curves and the distortion term.
    struct TubeChunk
    {
        float ys[tubeChunk], curveA[tubeChunk], curveB[tubeChunk], powerD[tubeChunk];
        bool negativeMix = false;
    };

    // Room for a chunk of every channel, made before rendering (it is large for a stack).
    struct Scratch
    {
        TubeChunk chunks[MAX_CHANNELS];
    };

    // n samples of src (listenSource while listening) through the whole stage into out.
    static void render (const Channel& channel, const OutputSettings& settings, const float* src,
                        const float* listenSource, float* out, int n, const Meters& meters) noexcept;

    // render for every channel, in order, with the same results: the tube's DC removal and the
    // hard limiter run for the channels side by side.
    static void renderChannels (const Channels& channels, const OutputSettings& settings, int n, const Meters& meters,
                                Scratch& scratch) noexcept;

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

private:
    // The tube's constants for the settings.
    struct TubeCurves
    {
        float A, B, D, kA, kB, dA, dB, sA, sB;
    };

    static TubeCurves tubeCurvesFor (const OutputSettings& settings) noexcept;
    // The chunk at `start` up to class A's DC removal (its values in curveA, before removal).
    static void tubeChunkBeforeDc (const TubeCurves& c, const channelComprStateT& gains, const float* src, int start,
                                   int count, TubeChunk& chunk) noexcept;
    // The chunk's curves summed and mixed with the dry signal into out.
    static void tubeChunkSum (const TubeCurves& c, const TubeChunk& chunk, const float* dry, const float* mix100,
                              float* out, int count) noexcept;
    static void applyTubes (const Channels& channels, const OutputSettings& settings, int n, Scratch& scratch) noexcept;
    // Whether the limiter runs, clearing one switched on since the last block.
    static bool armLimiter (channelComprStateT& own, bool on) noexcept;
};
