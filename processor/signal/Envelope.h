#pragma once

#include "processor/signal/ChannelComprState.h"
#include "processor/signal/EnvelopeLanes.h"
#include "processor/signal/EnvelopeMotion.h"
#include "processor/signal/SignalSettings.h"

// The detector's envelope over one block: the gain reduction each sample wants from the static
// curve, reached by the attack, left by the release, lifted by the soft limiter, then turned
// with the makeup into the linear gains of the block (state.mGainPerSample, mGrPerSampleDb).
class Envelope
{
public:
    struct Input
    {
        const float* detector = nullptr;     // the (filtered) detector block
        const float* peakSquares = nullptr;  // the soft limiter's squared peak signal, or nullptr
        int n = 0;
        float thresholdDb = 0.0f;      // after the adaptive threshold
        float adaptiveLevelDb = 0.0f;  // the adaptive threshold's level, 0 when it is off
    };

    // The state's block vectors must hold n samples.
    static void run (channelComprStateT& state, const Input& input, const DetectorSettings& settings, float autoGainDb) noexcept;

    // run in three steps, for channels whose envelopes run side by side (brisalto::EnvelopeLanes::run
    // between the two, on the channel's own levels: no peak signal): before it, the makeup
    // with makeupFirst (required with the soft limiter, whose step reads it); after it, the
    // gains, with the makeup then unless it was made first.
    static brisalto::EnvelopeLanes::Channel prepareLane (channelComprStateT& state, const Input& input,
                                                         const DetectorSettings& settings, bool makeupFirst,
                                                         float autoGainDb) noexcept;
    static void finishLane (channelComprStateT& state, const brisalto::EnvelopeLanes::Channel& lane, const Input& input,
                            const DetectorSettings& settings, bool makeupDone, float autoGainDb) noexcept;

    static ReleaseShape releaseShape (const DetectorSettings& settings) noexcept;

private:
    static void finishBlock (channelComprStateT& state, EnvelopeMotion& motion, float blockMax, int n) noexcept;
};
