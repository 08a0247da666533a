#pragma once

#include "processor/signal/EnvelopeMotion.h"

#include <cstdint>

// The envelope's sample-by-sample recurrence for several independent channels side by side in
// vector lanes (one channel per lane; every branch of the one-channel loop taken as a mask),
// with the same results as that loop: the same levels, comparisons, divisions, square roots and
// brisalto::dsp::toDb. Only the non-linear release's power is taken in double vectors, not by powf: it
// may differ in the last bit. Compiled for every x86-64 instruction set and dispatched at run
// time like brisalto::dsp::block.
namespace brisalto::EnvelopeLanes
{
    // One channel's block: inputs per sample, the reduction out, the running values in and out.
    struct Channel
    {
        const float* detector = nullptr;  // the (filtered, finite) detector block
        const float* makeupDb = nullptr;  // the makeup of each sample, read by the soft limiter
        float* grOut = nullptr;           // the reduction of each sample
        float thresholdDb = 0.0f;
        EnvelopeMotion motion {};
        float blockMax = 0.0f;  // out: the block's largest reduction
    };

    // What every channel shares.
    struct Shape
    {
        float ratio = 1.0f;
        ReleaseShape release {};
        bool softLimiter = false;  // on the channels' own levels (no peak signal)
    };

    // How many channels one vector holds on this CPU: fewer leave lanes idle, and the
    // one-channel loop is then the faster.
    int width() noexcept;

    // Runs n samples of `count` channels.
    void run (Channel* channels, int count, int n, const Shape& shape) noexcept;
}
