#pragma once

#include "processor/common/ProcessorTypes.h"
#include "processor/exchange/ExchangeRecord.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

// Small helpers shared by the exchange's files.
namespace brisalto::exchange::detail
{
    inline constexpr int maxBackSteps = 64;
    inline constexpr int64_t stoppedMismatchLogLimit = 20000;

    inline uint64_t distance (int64_t a, int64_t b) noexcept
    {
        return a > b ? (uint64_t) a - (uint64_t) b : (uint64_t) b - (uint64_t) a;
    }

    inline bool validSlot (int slot) noexcept
    {
        return slot >= 0 && slot < NUM_EXT_SIDECHAIN_SLOTS;
    }
    inline bool validRecord (int index) noexcept
    {
        return index >= 0 && index < NUM_LINK_RECORDS;
    }

    // Makes an emptied entry hold the block (at most its storage).
    inline void fillEntry (timestampedBuffer& e, const float* x, int n, int64_t timestamp) noexcept
    {
        const int len = std::min (n, (int) e.samples.size());
        std::memcpy (e.samples.data(), x, sizeof (float) * (size_t) len);
        e.timestamp = timestamp;
        e.writers += 1;
        e.length = len;
    }
}
