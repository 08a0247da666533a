#include "processor/exchange/SideChainExchange.h"
#include "processor/exchange/ExchangeDetail.h"
#include "processor/exchange/ExchangeState.h"
#include "platform/Log.h"

#include <algorithm>
#include <cstring>

// Slot exchange of the external side-chain: see ExchangeHooks.cpp for what keeps it sound.

using namespace brisalto::exchange::detail;

namespace
{
    // Sums x into an entry that another sender on the slot published at the same timestamp.
    void addToEntry (timestampedBuffer& e, const float* x, int n) noexcept
    {
        const int len = std::min (n, (int) e.samples.size());
        const int common = std::min (len, e.length);
        for (int i = 0; i < common; ++i)
            e.samples[(size_t) i] += x[i];
        for (int i = common; i < len; ++i)
            e.samples[(size_t) i] = x[i];
        e.length = std::max (e.length, len);
        e.writers += 1;
    }

    // The entry a new block goes in: a free one, a new one, or the oldest one dropped
    // (`dropped` tells that the queue was really full). Caller holds the record's lock.
    timestampedBuffer& entryForNewBlock (extSideChainData& R, bool& dropped) noexcept
    {
        auto& q = R.mSamplesQueue;
        for (int i = 0; i < q.size(); ++i)
            if (q[i].writers == 0)
                return q[i];
        if (q.size() < R.mCapacity)
            return q.append();
        // No free entry: the oldest block is dropped, its storage reused in place.
        dropped = true;
        return q.recycleFront();
    }

    struct Match
    {
        timestampedBuffer* entry = nullptr;
        LinkStatus status = LinkStatus::noData;
        int64_t searched = 0;
        bool closest = false;
        int64_t closestFound = 0;
    };

    // The first entry at or less than half a block from `wanted`, stepping back a block at a
    // time; when none and the queue overflowed, the nearest to tsx. Caller holds the lock.
    Match findEntry (extSideChainData& R, int64_t wanted, int64_t tsx, int n) noexcept
    {
        Match m;
        auto& q = R.mSamplesQueue;
        const int64_t half = n / 2;
        for (int step = 0; step <= maxBackSteps; ++step)
        {
            const int64_t w = wanted - (int64_t) step * n;
            for (int i = 0; i < q.size(); ++i)
            {
                auto& entry = q[i];
                if (entry.holdsData() && (entry.timestamp == w || distance (entry.timestamp, w) < (uint64_t) half))
                {
                    m.entry = &entry;
                    m.searched = w;
                    m.status = step > 0 ? LinkStatus::olderTimestamp
                                        : (entry.timestamp == w ? LinkStatus::exactTimestamp : LinkStatus::nearTimestamp);
                    return m;
                }
            }
        }

        if (R.mSenderDropped)
        {
            // Only a queue that really overflowed: the nearest block to this block's own tsx.
            m.entry = R.findBufWithClosestTimestamp (tsx, m.closestFound);
            if (m.entry != nullptr)
            {
                m.closest = true;
                m.searched = m.closestFound;
                m.status = LinkStatus::closestTimestamp;
            }
        }
        return m;
    }

    // What a receive saw of the slot, for the diagnostics lines.
    struct ReceiveCounts
    {
        int posted = 0, size = 0, free = 0, capacity = 0;
        int64_t usedTimestamp = 0;
        bool tooShort = false;
    };

    void logReceive (const Match& m, const ReceiveCounts& c, int64_t tsx, int n) noexcept
    {
        if (m.closest)
            brisalto::platform::log::write (
                brisalto::platform::log::notice,
                "Brisalto ext sidechain Receive (at %lld) found closest send timestamp %lld  (future %d) \n", (long long) tsx,
                (long long) m.closestFound, (int) ((m.closestFound - tsx) / n));
        else if (m.status == LinkStatus::noData && c.size < c.capacity)
            brisalto::platform::log::write (brisalto::platform::log::notice,
                                            "Brisalto ext sidechain Receive queuesize : %d   (max %d)  free %d  at Ts %lld \n",
                                            c.size, c.capacity, c.free, (long long) tsx);
        if (c.tooShort)
            brisalto::platform::log::write (brisalto::platform::log::notice,
                                            "Brisalto ext sidechain Receive queue buf size < blocksize !!! \n");
        if (c.size > 0)
            brisalto::platform::log::write (
                brisalto::platform::log::notice,
                "Brisalto ext sidechain Receive : %lld (searched %lld)  Send Ts %lld    Posted %d  free %d  queue %d \n",
                (long long) tsx, (long long) m.searched, (long long) (int32_t) c.usedTimestamp, c.posted, c.free, c.size);
    }
}

void SideChainExchange::prepare (int preparedSize)
{
    for (auto& record : slots)
        record.reserveSamples (preparedSize);
    if ((int) received.size() < preparedSize)
        received.assign ((size_t) preparedSize, 0.0f);
}

std::optional<LinkStatus> SideChainExchange::send (const brisalto::exchange::BlockView& b, const float* x, int n,
                                                   int64_t tsx) noexcept
{
    const int slot = b.track;
    if (! validSlot (slot) || x == nullptr || n <= 0)
        return std::nullopt;

    auto& R = slots[slot];
    int size = 0, free = 0;
    bool dropped = false;
    {
        RecordTryLock lock (R.mMutex);
        if (! lock.owns())
        {
            skippedLocks++;
            return std::nullopt;
        }

        auto& q = R.mSamplesQueue;
        timestampedBuffer* same = nullptr;
        for (int i = 0; i < q.size() && same == nullptr; ++i)
            if (q[i].inUse() && q[i].timestamp == tsx)
                same = &q[i];

        if (same != nullptr)
        {
            addToEntry (*same, x, n);
        }
        else
        {
            auto& e = entryForNewBlock (R, dropped);
            e.writers = 0;
            fillEntry (e, x, n, tsx);
            R.mSenderDropped = dropped;
        }

        R.mWriteCount += 1;
        R.mPublications++;
        size = q.size();
        free = R.freeEntries();
    }

    if (brisalto::exchange::diagnostics())
        brisalto::platform::log::write (brisalto::platform::log::notice,
                                        "Brisalto ext sidechain Send : %lld   queuesize %d  free %d  isPlaying %d \n",
                                        (long long) b.ts, size, free, b.playing ? 1 : 0);
    return dropped ? LinkStatus::queueFull : LinkStatus::sent;
}

bool SideChainExchange::staleSender (int slot, uint32_t publications) noexcept
{
    // A sender that stopped leaves its last blocks behind: its publication count stops.
    if (slot != seenSlot || publications != seenPublications)
    {
        seenSlot = slot;
        seenPublications = publications;
        unchangedFor = 0;
    }
    else if (unchangedFor < ExchangeState::staleAfter)
    {
        ++unchangedFor;
    }
    return unchangedFor >= ExchangeState::staleAfter;
}

std::optional<SideChainExchange::Receipt> SideChainExchange::receive (const brisalto::exchange::BlockView& b, int n, int64_t tsx,
                                                                      int keepSamples) noexcept
{
    const int slot = b.track;
    if (! validSlot (slot) || n <= 0)
        return std::nullopt;

    auto& R = slots[slot];
    const bool stale = staleSender (slot, R.mPublications);
    const int64_t wanted = tsx - n;

    Match m;
    m.searched = tsx - 65 * (int64_t) n;
    int posted = 0, size = 0, free = 0;
    int64_t usedTimestamp = 0;
    bool tooShort = false, fed = false;
    {
        RecordTryLock lock (R.mMutex);
        if (! lock.owns())
        {
            skippedLocks++;
            return std::nullopt;
        }

        posted = R.mWriteCount;
        size = R.mSamplesQueue.size();
        free = R.freeEntries();

        if (! stale && (int) received.size() >= n && R.copyWindow (wanted, n, received.data()))
        {
            // The samples of the block before this one, from however many entries the sender
            // published them in. Entries older than one more prepared block are done with (a
            // longer block next still finds its samples).
            m.status = LinkStatus::exactTimestamp;
            m.searched = wanted;
            usedTimestamp = wanted;
            fed = true;
            R.freeEntriesEndingBy (wanted - keepSamples);
        }
        else if (! stale)
        {
            const auto searchedNothing = m.searched;
            m = findEntry (R, wanted, tsx, n);
            if (m.entry == nullptr)
                m.searched = searchedNothing;
        }

        if (auto* e = m.entry)
        {
            usedTimestamp = e->timestamp;
            if (e->length < n || (int) received.size() < n)
            {
                tooShort = true;
                m.status = LinkStatus::bufferTooShort;
            }
            else
            {
                std::memcpy (received.data(), e->samples.data(), sizeof (float) * (size_t) n);
                fed = true;
                if (size >= 3)
                    R.removeOldestBuffer();
            }
        }

        R.mWriteCount = 0;
    }

    if (brisalto::exchange::diagnostics())
        logReceive (m, { posted, size, free, (int) R.mCapacity, usedTimestamp, tooShort }, tsx, n);

    return Receipt { m.status, fed ? received.data() : nullptr };
}

void SideChainExchange::clearAll() noexcept
{
    pendingClears |= (1u << NUM_EXT_SIDECHAIN_SLOTS) - 1u;
    retryPendingClears();
}

void SideChainExchange::retryPendingClears() noexcept
{
    for (int slot = 0; slot < NUM_EXT_SIDECHAIN_SLOTS && pendingClears != 0; ++slot)
    {
        if ((pendingClears & (1u << slot)) == 0)
            continue;

        RecordTryLock lock (slots[slot].mMutex);
        if (! lock.owns())
        {
            skippedLocks++;
            continue;  // done at the next block
        }
        slots[slot].clearLocked();
        pendingClears &= ~(1u << slot);
    }
}
