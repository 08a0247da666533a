#include "processor/exchange/ExchangeRecord.h"

#include <cstdlib>
#include <limits>

extSideChainData::extSideChainData()
{
    clear();
}

timestampedBuffer* extSideChainData::findBufWithClosestTimestamp (int64_t wanted, int64_t& found)
{
    found = std::numeric_limits<int64_t>::max();
    timestampedBuffer* best = nullptr;
    uint64_t bestDistance = 0;

    for (auto& entry : mSamplesQueue)
    {
        const auto d = (uint64_t) (entry.timestamp > wanted ? (uint64_t) entry.timestamp - (uint64_t) wanted
                                                            : (uint64_t) wanted - (uint64_t) entry.timestamp);
        if (best == nullptr || d < bestDistance)
        {
            best = &entry;
            bestDistance = d;
        }
    }

    if (best != nullptr)
        found = best->timestamp;
    return best;
}

void extSideChainData::removeOldestBuffer()
{
    timestampedBuffer* oldest = nullptr;
    for (auto& entry : mSamplesQueue)
        if (oldest == nullptr || entry.timestamp < oldest->timestamp)
            oldest = &entry;

    if (oldest != nullptr)
        oldest->writers = 0;
}

void extSideChainData::clear()
{
    std::lock_guard<std::mutex> lock (mMutex);
    mWriteCount = 0;
    for (auto& entry : mSamplesQueue)
    {
        entry.writers = 0;
        entry.timestamp = 0;
    }
}
