#pragma once

#include "processor/common/ProcessorTypes.h"
#include "processor/render/SampleDelay.h"

#include <cstdint>
#include <vector>

// What the render loop keeps between blocks besides the processor's documented members.
//
// The look-ahead ring steps once per rendered chunk, but hosts vary their block sizes. So that
// the audio is always delayed by exactly the latency the processor reports, every channel
// block written into the ring also enters `ringDelay`, a sample-exact delay line per ring
// channel index. When the element the detector is about to read was not written exactly
// `lookahead latency` samples ago with the current chunk length (a block of another size came
// in between), its blocks are rebuilt from `ringDelay` first. With every block at the prepared
// size the element is already exact and the delay lines are only written, late and only as far
// as a read can reach (RingDelayFeed).
struct RenderLoopState
{
    int32_t preparedBlockSize = 0;     // chunk length: host blocks are rendered in pieces of at most this
    int32_t ringChannelCapacity = 0;   // channel blocks each ring element holds
    int32_t ringElementsInUse = 0;     // elements the ring holds for the signal (it fills one per chunk)
    int64_t sampleClock = 0;           // samples rendered since prepare, for element bookkeeping
    int32_t lastHostBlockSize = 0;     // for the block-size log
    int32_t previousBlockLength = 0;   // host block before this one: the step the position should make
    int32_t loggedExcessInputs = 0;    // input count above MAX_CHANNELS last logged (0: none)
    bool filterCoeffsWaiting = false;  // detector coefficients not yet handed to the channel states

    std::vector<int64_t> elementStart;          // per ring element: sampleClock when it was written
    std::vector<int32_t> elementLength;         // per ring element: samples it holds
    std::vector<int32_t> elementPendingBlocks;  // per ring element: channel blocks not yet in ringDelay

    SampleDelay ringDelay;  // every ring channel block, look-ahead plus limiter share deep
    SampleDelay outputPad;  // per output channel: latency the hard limiter does not supply

    std::vector<float> scratch;  // one chunk, for meters and copies
};
