#include "processor/render/RingDelayFeed.h"

#include <algorithm>

namespace
{
    bool validIndex (const RenderLoopState& rs, int index) noexcept
    {
        return index >= 0 && index < (int) rs.elementPendingBlocks.size() && index < (int) rs.elementStart.size()
            && index < (int) rs.elementLength.size();
    }

    void enterDelay (RenderLoopState& rs, const ringbuf_data& element, int index) noexcept
    {
        const int blocks = rs.elementPendingBlocks[(size_t) index];
        rs.elementPendingBlocks[(size_t) index] = 0;
        const int64_t start = rs.elementStart[(size_t) index];
        const int length = rs.elementLength[(size_t) index];
        if (blocks <= 0 || start < 0 || length <= 0 || (size_t) blocks * (size_t) length > element.mSamples.size())
            return;

        // The oldest sample any read can still ask for.
        const int64_t oldest = rs.sampleClock - rs.ringDelay.maxDelayFor (rs.preparedBlockSize);
        const int64_t from = std::max (start, oldest);
        const int count = (int) (start + length - from);
        if (count <= 0 || from > rs.sampleClock)
            return;

        const int skip = (int) (from - start);
        const int ago = (int) (rs.sampleClock - from);
        for (int c = 0; c < blocks; ++c)
            rs.ringDelay.writeEarlier (c, element.mSamples.data() + (size_t) c * (size_t) length + skip, count, ago);
    }
}

namespace brisalto::render
{
    void markElementPending (RenderLoopState& rs, int index, int blocks) noexcept
    {
        if (validIndex (rs, index))
            rs.elementPendingBlocks[(size_t) index] = std::max (0, blocks);
    }

    void retireElement (RenderLoopState& rs, const std::deque<ringbuf_data>& ring, int index) noexcept
    {
        if (validIndex (rs, index) && index < (int) ring.size())
            enterDelay (rs, ring[(size_t) index], index);
    }

    void bringDelayUpToDate (RenderLoopState& rs, const std::deque<ringbuf_data>& ring) noexcept
    {
        const int count = std::min ((int) ring.size(), (int) rs.elementPendingBlocks.size());
        for (int i = 0; i < count; ++i)
            if (rs.elementPendingBlocks[(size_t) i] > 0)
                retireElement (rs, ring, i);
    }

    void dropPendingElements (RenderLoopState& rs) noexcept
    {
        std::fill (rs.elementPendingBlocks.begin(), rs.elementPendingBlocks.end(), 0);
    }
}
