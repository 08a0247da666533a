#pragma once

#include "processor/signal/AdaptiveThreshold.h"
#include "processor/signal/ChannelComprState.h"
#include "processor/signal/Envelope.h"
#include "processor/signal/SignalSettings.h"

// The detector's work on one analysed block of one channel state: the filtered detector
// signal, the level history, the threshold, the envelope and the gains, the gain-reduction
// history and the auto gain.
class GainComputer
{
public:
    struct Block
    {
        const float* samples = nullptr;      // the analysed block as stored in the ring
        bool prefiltered = false;            // state.mFilteredDetector already holds it, filtered
        const float* peakSquares = nullptr;  // the soft limiter's squared peak signal, or nullptr
        float meanSquare = 0.0f;             // the block's mean square, for the level history
        int n = 0;
        int lookaheadBlocks = 0;
    };

    // Advances the state's Mix smoother once for the block: every channel that uses the state
    // reads the same ramp. The state's block vectors must hold n samples.
    static void advanceMixRamp (channelComprStateT& state, const DetectorSettings& settings, int n) noexcept;

    // Copies the block into the state's filtered detector, non-finite samples as silence.
    static float* cleanDetector (channelComprStateT& state, const float* samples, int n) noexcept;

    // One block (n > 0, the state's block vectors hold n samples). ahead: the levels of the
    // blocks ahead (read only with the adaptive threshold on). autoGainDb is shared by the
    // processor's channels: read by the makeup, updated with the auto gain on.
    static void run (channelComprStateT& state, const Block& block, const AdaptiveThreshold::LevelSum& ahead,
                     const DetectorSettings& settings, float& autoGainDb) noexcept;

    // run for `count` channels at once, in channel order as far as the shared autoGainDb goes.
    // Their envelopes run side by side in vector lanes, unless they form a chain (see
    // envelopesChain), they are fewer than a vector holds, or their blocks differ in length or
    // look-ahead or bring a peak signal: then one channel after the other.
    static void runChannels (channelComprStateT* const* states, const Block* blocks, const AdaptiveThreshold::LevelSum* ahead,
                             int count, const DetectorSettings& settings, float& autoGainDb) noexcept;

    // Whether each channel's envelope reads the auto gain the channel before it left: the soft
    // limiter's step reads the makeup, and the makeup follows the auto gain.
    static bool envelopesChain (const DetectorSettings& settings) noexcept;

private:
    // run before and after the envelope: the detector block (and the level history), the
    // envelope's input once the threshold is known, and the histories after it.
    static float* detectorBlock (channelComprStateT& state, const Block& block, const DetectorSettings& settings) noexcept;
    static Envelope::Input envelopeInput (channelComprStateT& state, const Block& block, const DetectorSettings& settings,
                                          float thresholdDb, float adaptiveLevelDb) noexcept;
    static void endBlock (channelComprStateT& state, const DetectorSettings& settings, int n, float& autoGainDb) noexcept;

    // The average of the recent blocks that reduced by more than 1 dB, scaled and bounded.
    static float autoGainOf (const channelComprStateT& state, const DetectorSettings& settings) noexcept;
};
