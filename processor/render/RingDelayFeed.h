#pragma once

#include "processor/render/RenderLoopState.h"
#include "processor/signal/RingBufferData.h"

#include <deque>

// The ring's elements enter `ringDelay` late, which spares copying every block twice.
//
// A written element stays pending: its samples are in the ring until the element is written
// again. Only then do the samples a read may still ask for enter the delay; reads go back at
// most `maxDelayFor (preparedBlockSize)`, which with blocks at the prepared size leaves the
// last limiter look-ahead's worth of each element. Before anything reads the delay, every
// pending element enters it, so reads see exactly what writing each block at once would give.
namespace brisalto::render
{
    // The element just written at `index`: its first `blocks` channel blocks are pending.
    void markElementPending (RenderLoopState& rs, int index, int blocks) noexcept;

    // Before the element at `index` is written again.
    void retireElement (RenderLoopState& rs, const std::deque<ringbuf_data>& ring, int index) noexcept;

    // Before `ringDelay` is read.
    void bringDelayUpToDate (RenderLoopState& rs, const std::deque<ringbuf_data>& ring) noexcept;

    // After `ringDelay` was prepared again: what was pending belongs to the old delay.
    void dropPendingElements (RenderLoopState& rs) noexcept;
}
