#include "processor/exchange/ExchangeRecord.h"
#include "processor/PluginProcessor.h"

#include <algorithm>
#include <limits>

#if defined(__x86_64__) || defined(__i386__)
    #include <immintrin.h>
#endif

namespace
{
    inline void cpuRelax() noexcept
    {
#if defined(__x86_64__) || defined(__i386__)
        _mm_pause();
#elif defined(__aarch64__)
        asm volatile("yield");
#endif
    }

    // Holders keep a record for a copy of at most one block: a few microseconds.
    constexpr int tryLockSpins = 256;

    uint64_t distance (int64_t a, int64_t b) noexcept
    {
        return a > b ? (uint64_t) a - (uint64_t) b : (uint64_t) b - (uint64_t) a;
    }
}

RecordTryLock::RecordTryLock (std::mutex& m) noexcept
{
    for (int i = 0; i < tryLockSpins; ++i)
    {
        if (m.try_lock())
        {
            held = &m;
            return;
        }
        cpuRelax();
    }
}

//==============================================================================
extSideChainData::extSideChainData()
{
    clear();
}

timestampedBuffer* extSideChainData::findBufWithClosestTimestamp (int64_t wanted, int64_t& found)
{
    found = std::numeric_limits<int64_t>::max();
    timestampedBuffer* best = nullptr;
    uint64_t bestDistance = 0;

    for (int i = 0; i < mSamplesQueue.size(); ++i)
    {
        auto& entry = mSamplesQueue[i];
        if (! entry.holdsData())
            continue;
        const auto d = distance (entry.timestamp, wanted);
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
    for (int i = 0; i < mSamplesQueue.size(); ++i)
    {
        auto& entry = mSamplesQueue[i];
        if (entry.inUse() && (oldest == nullptr || entry.timestamp < oldest->timestamp))
            oldest = &entry;
    }

    if (oldest != nullptr)
        oldest->writers = 0;
}

bool extSideChainData::copyWindow (int64_t start, int n, float* out) const noexcept
{
    // Each step copies the run of one entry that holds the next missing sample; every entry
    // can serve at most one step.
    int done = 0;
    for (int step = 0; step < ExchangeQueue::maxEntries && done < n; ++step)
    {
        const int64_t position = start + done;
        const timestampedBuffer* from = nullptr;
        for (int i = 0; i < mSamplesQueue.size() && from == nullptr; ++i)
        {
            const auto& entry = mSamplesQueue[i];
            if (entry.holdsData() && entry.timestamp <= position && position - entry.timestamp < (int64_t) entry.length)
                from = &entry;
        }
        if (from == nullptr)
            return false;

        const int offset = (int) (position - from->timestamp);
        const int run = std::min (n - done, from->length - offset);
        std::copy (from->samples.data() + offset, from->samples.data() + offset + run, out + done);
        done += run;
    }
    return done == n;
}

void extSideChainData::freeEntriesEndingBy (int64_t end) noexcept
{
    for (int i = 0; i < mSamplesQueue.size(); ++i)
    {
        auto& entry = mSamplesQueue[i];
        if (entry.inUse() && entry.timestamp + entry.length <= end)
            entry.writers = 0;
    }
}

int extSideChainData::freeEntries() const noexcept
{
    int free = 0;
    for (int i = 0; i < mSamplesQueue.size(); ++i)
        if (mSamplesQueue[i].writers == 0)
            ++free;
    return free;
}

void extSideChainData::clear()
{
    std::lock_guard<std::mutex> lock (mMutex);
    clearLocked();
}

void extSideChainData::clearLocked() noexcept
{
    mWriteCount = 0;
    mSenderDropped = false;
    for (int i = 0; i < mSamplesQueue.size(); ++i)
    {
        auto& entry = mSamplesQueue[i];
        entry.writers = 0;
        entry.timestamp = 0;
        entry.length = 0;
    }
}

void extSideChainData::reserveSamples (int n)
{
    if (n <= 0)
        return;

    for (size_t slot = 0; slot < (size_t) ExchangeQueue::maxEntries; ++slot)
    {
        {
            std::lock_guard<std::mutex> lock (mMutex);
            if ((int) mSamplesQueue.storage()[slot].samples.size() >= n)
                continue;
        }

        // Allocate outside the lock, swap in under it, free the old storage outside it again.
        std::vector<float> grown ((size_t) n, 0.0f);
        {
            std::lock_guard<std::mutex> lock (mMutex);
            auto& samples = mSamplesQueue.storage()[slot].samples;
            if ((int) samples.size() < n)
            {
                std::copy (samples.begin(), samples.end(), grown.begin());
                samples.swap (grown);
            }
        }
    }
}

//==============================================================================
namespace brisalto::linkrecords
{
    namespace
    {
        struct Pool
        {
            std::mutex lock;
            int16_t freeList[NUM_LINK_RECORDS];
            int freeCount = NUM_LINK_RECORDS;

            Pool()
            {
                // Record 0 is handed out first.
                for (int i = 0; i < NUM_LINK_RECORDS; ++i)
                    freeList[i] = (int16_t) (NUM_LINK_RECORDS - 1 - i);
            }
        };

        Pool& pool()
        {
            static Pool p;
            return p;
        }

        void reset (extSideChainData& record) noexcept
        {
            record.clearLocked();
            record.mGroupNumber = 0;
            record.mChannelCount = 1;
            record.mPubThresholdDb = 0.0f;
            record.mPubAttackSamples = 0.01f;
            record.mPubReleaseMs = 0.1f;
            record.mPubRatio = 4.0f;
            record.mPubMakeupDb = 0.0f;
            record.mPubMix = 1.0f;
            record.mPubChangeCount = 0;
        }
    }

    int acquire() noexcept
    {
        auto& p = pool();
        int index = -1;
        {
            std::lock_guard<std::mutex> guard (p.lock);
            if (p.freeCount > 0)
                index = p.freeList[--p.freeCount];
        }
        if (index < 0)
            return -1;

        auto& record = BrisaltoAudioProcessor::mInstRMSBuffers[index];
        std::lock_guard<std::mutex> guard (record.mMutex);
        reset (record);
        record.mGeneration++;
        return index;
    }

    void release (int index) noexcept
    {
        if (index < 0 || index >= NUM_LINK_RECORDS)
            return;

        {
            auto& record = BrisaltoAudioProcessor::mInstRMSBuffers[index];
            std::lock_guard<std::mutex> guard (record.mMutex);
            reset (record);
        }

        auto& p = pool();
        std::lock_guard<std::mutex> guard (p.lock);
        if (p.freeCount < NUM_LINK_RECORDS)
            p.freeList[p.freeCount++] = (int16_t) index;
    }

    int inUse() noexcept
    {
        auto& p = pool();
        std::lock_guard<std::mutex> guard (p.lock);
        return NUM_LINK_RECORDS - p.freeCount;
    }
}
