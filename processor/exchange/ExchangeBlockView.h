#pragma once

#include "processor/common/ProcessorTypes.h"

#include <cstdint>

namespace brisalto::exchange
{
    // What the exchange reads of the host block being rendered: taken once at its start by the
    // render loop, whose own block record extends this one.
    struct BlockView
    {
        MixMode mode = MixMode::sum;
        int32_t track = 0;
        int32_t group = 0;
        float weights[MAX_CHANNELS] {};

        int64_t ts = 0;  // the host-side timestamp (logged; the exchange uses tsx)
        bool playing = false;

        float* const* channels = nullptr;
        int bufferChannels = 0;
        int mainIns = 0, mainStart = 0;
        int nrIn = 0;

        float* bufferChannel (int index, int offset) const noexcept
        {
            if (index < 0 || index >= bufferChannels || channels[index] == nullptr)
                return nullptr;
            return channels[index] + offset;
        }

        float* mainChannel (int ch, int offset) const noexcept
        {
            return ch < mainIns ? bufferChannel (mainStart + ch, offset) : nullptr;
        }
    };
}
