#pragma once

#include "processor/PluginProcessor.h"
#include "processor/exchange/ExchangeBlockView.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

// Shared by the render loop's files: what one host block is rendered with, and small helpers.
namespace brisalto::render
{
    constexpr int longestLookaheadMs = 1000;  // "Lookahead" at its top
    constexpr int derivedRingBlocks = 3;      // side detector (+1 in two modes), summed detector, peak

    inline bool isOn (float normalised) noexcept
    {
        return normalised > 0.5f;
    }

    // Look-ahead in whole blocks, as the parameter model derives it.
    inline int lookaheadBlocksFor (int lookaheadMs, int blockSize, float sampleRate) noexcept
    {
        if (lookaheadMs <= 0 || blockSize <= 0 || ! (sampleRate > 0.0f))
            return 0;
        const auto blockMs = (float) ((double) blockSize * 1000.0 / (double) sampleRate);
        return std::max (1, (int) ((float) lookaheadMs / blockMs));
    }

    inline float largestMagnitude (const float* x, int n) noexcept
    {
        float m = 0.0f;
        for (int i = 0; i < n; ++i)
        {
            const float a = std::abs (x[i]);
            if (a > m)
                m = a;
        }
        return m;
    }

    inline float meanSquare (const float* x, int n) noexcept
    {
        float sum = 0.0f;
        for (int i = 0; i < n; ++i)
            sum += x[i] * x[i];
        return n > 0 ? sum / (float) n : 0.0f;
    }
}

// Everything one host block is rendered with: taken once at its start.
struct BrisaltoAudioProcessor::RenderBlock : brisalto::exchange::BlockView
{
    int numSamples = 0;

    int lookaheadBlocks = 0;
    int lookaheadDelay = 0;  // samples: the look-ahead share of the reported latency
    int limiterLatency = 0;  // samples: the hard-limiter share of the reported latency

    double ppq = 0.0;
    uint64_t callbackTimeNs = 0;  // the host's time of this callback, or the monotonic clock's
    int64_t tsx = 0;
    int64_t chunkTsx = 0;   // tsx of the chunk being rendered: tsx + its offset in the block
    bool sendOnly = false;  // MixMode::sideChainSend: the input passes, delayed by the latency

    int sideStart = 0;
    bool sideBusPresent = false;
    int totalOuts = 0;
    int nrTotal = 0;

    int hits = 0;
    float levels[MAX_CHANNELS] {};
    float gainReduction = 0.0f;
    bool gainReductionSet = false;

    // Ring channel index nrIn .. nrTotal-1 to the side-chain bus channel it stores.
    const float* sideChannel (int ringChannel, int offset) const noexcept
    {
        return sideBusPresent ? bufferChannel (sideStart + ringChannel - nrIn, offset) : nullptr;
    }

    int ringChannelBlocks() const noexcept { return nrTotal + brisalto::render::derivedRingBlocks; }
    bool sendsExternalSideChain() const noexcept
    {
        return mode == MixMode::sideChainSend && track >= 0 && track < NUM_EXT_SIDECHAIN_SLOTS;
    }
    bool hasMidiOrReceivedSide() const noexcept { return mode == MixMode::sideChainReceive || mode == MixMode::sideMidi; }
};
