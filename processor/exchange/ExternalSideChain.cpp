#include "processor/render/RenderBlock.h"
#include "processor/exchange/ExchangeDetail.h"
#include "processor/exchange/ExchangeState.h"
#include "platform/Log.h"

#include <limits>

// Slot exchange of the external side-chain: see ExchangeHooks.cpp for what keeps it sound.

using namespace exchange::detail;

//==============================================================================
// External side-chain.

bool BrisaltoAudioProcessor::extSideChainSend (const RenderBlock& b, const float* x, int n, int64_t tsx) noexcept
{
    const int slot = b.track;
    if (! validSlot (slot) || x == nullptr || n <= 0)
        return false;

    auto& R = sExtSideChainData[slot];
    int size = 0, free = 0;
    bool dropped = false;
    {
        RecordTryLock lock (R.mMutex);
        if (! lock.owns())
        {
            mExchange.skippedLocks++;
            return false;
        }

        auto& q = R.mSamplesQueue;
        timestampedBuffer* same = nullptr;
        for (int i = 0; i < q.size() && same == nullptr; ++i)
            if (q[i].inUse() && q[i].timestamp == tsx)
                same = &q[i];

        if (same != nullptr)
        {
            // Another sender on this slot published this timestamp: sum.
            const int len = std::min (n, (int) same->samples.size());
            const int common = std::min (len, same->length);
            for (int i = 0; i < common; ++i)
                same->samples[(size_t) i] += x[i];
            for (int i = common; i < len; ++i)
                same->samples[(size_t) i] = x[i];
            same->length = std::max (same->length, len);
            same->writers += 1;
        }
        else
        {
            timestampedBuffer* e = nullptr;
            for (int i = 0; i < q.size() && e == nullptr; ++i)
                if (q[i].writers == 0)
                    e = &q[i];

            if (e == nullptr && q.size() < R.mCapacity)
                e = &q.append();

            if (e == nullptr)
            {
                // No free entry: the oldest block is dropped, its storage reused in place.
                e = &q.recycleFront();
                dropped = true;
            }
            else
            {
                e->writers = 0;
            }
            fillEntry (*e, x, n, tsx);
            R.mSenderDropped = dropped;
        }

        R.mWriteCount += 1;
        R.mPublications++;
        size = q.size();
        free = R.freeEntries();
    }

    mLinkStatus = (int32_t) (dropped ? LinkStatus::queueFull : LinkStatus::sent);

    if (exchange::diagnostics())
        platform::log::write (platform::log::notice, "Brisalto ext sidechain Send : %lld   queuesize %d  free %d  isPlaying %d \n",
                              (long long) b.ts, size, free, b.playing ? 1 : 0);
    return true;
}

void BrisaltoAudioProcessor::extSideChainReceive (const RenderBlock& b, int n, int64_t tsx) noexcept
{
    const int slot = b.track;
    if (! validSlot (slot) || n <= 0)
        return;

    auto& R = sExtSideChainData[slot];
    auto& ex = mExchange;

    // A sender that stopped leaves its last blocks behind: its publication count stops.
    const uint32_t publications = R.mPublications;
    if (slot != ex.extSlot || publications != ex.extSeenPublications)
    {
        ex.extSlot = slot;
        ex.extSeenPublications = publications;
        ex.extUnchangedFor = 0;
    }
    else if (ex.extUnchangedFor < ExchangeState::staleAfter)
    {
        ++ex.extUnchangedFor;
    }
    const bool stale = ex.extUnchangedFor >= ExchangeState::staleAfter;

    const int64_t wanted = tsx - n;
    const int64_t half = n / 2;

    LinkStatus status = LinkStatus::noData;
    int posted = 0, size = 0, free = 0;
    int64_t searched = tsx - 65 * (int64_t) n;
    int64_t usedTimestamp = 0, closestFound = 0;
    bool closest = false, tooShort = false, fed = false;
    {
        RecordTryLock lock (R.mMutex);
        if (! lock.owns())
        {
            ex.skippedLocks++;
            return;
        }

        auto& q = R.mSamplesQueue;
        posted = R.mWriteCount;
        size = q.size();
        free = R.freeEntries();

        timestampedBuffer* e = nullptr;
        if (! stale && (int) ex.received.size() >= n && R.copyWindow (wanted, n, ex.received.data()))
        {
            // The samples of the block before this one, from however many entries the sender
            // published them in. Entries older than one more prepared block are done with (a
            // longer block next still finds its samples).
            status = LinkStatus::exactTimestamp;
            searched = wanted;
            usedTimestamp = wanted;
            fed = true;
            R.freeEntriesEndingBy (wanted - mRenderState.preparedBlockSize);
        }
        else if (! stale)
        {
            for (int step = 0; step <= maxBackSteps && e == nullptr; ++step)
            {
                const int64_t w = wanted - (int64_t) step * n;
                for (int i = 0; i < size; ++i)
                {
                    auto& entry = q[i];
                    if (entry.holdsData() && (entry.timestamp == w || distance (entry.timestamp, w) < (uint64_t) half))
                    {
                        e = &entry;
                        searched = w;
                        status = step > 0 ? LinkStatus::olderTimestamp
                                          : (entry.timestamp == w ? LinkStatus::exactTimestamp : LinkStatus::nearTimestamp);
                        break;
                    }
                }
            }

            if (e == nullptr && R.mSenderDropped)
            {
                // Only a queue that really overflowed: the nearest block to this block's own tsx.
                e = R.findBufWithClosestTimestamp (tsx, closestFound);
                if (e != nullptr)
                {
                    closest = true;
                    searched = closestFound;
                    status = LinkStatus::closestTimestamp;
                }
            }
        }

        if (e != nullptr)
        {
            usedTimestamp = e->timestamp;
            if (e->length < n || (int) ex.received.size() < n)
            {
                tooShort = true;
                status = LinkStatus::bufferTooShort;
            }
            else
            {
                std::memcpy (ex.received.data(), e->samples.data(), sizeof (float) * (size_t) n);
                fed = true;
                if (size >= 3)
                    R.removeOldestBuffer();
            }
        }

        R.mWriteCount = 0;
    }

    if (fed)
        input_2_ringbuf (mRingWriteIndex, b.nrIn, ex.received.data(), n);
    mLinkStatus = (int32_t) status;

    if (! exchange::diagnostics())
        return;

    if (closest)
        platform::log::write (platform::log::notice, "Brisalto ext sidechain Receive (at %lld) found closest send timestamp %lld  (future %d) \n",
                              (long long) tsx, (long long) closestFound, (int) ((closestFound - tsx) / n));
    else if (status == LinkStatus::noData && size < R.mCapacity)
        platform::log::write (platform::log::notice, "Brisalto ext sidechain Receive queuesize : %d   (max %d)  free %d  at Ts %lld \n",
                              size, (int) R.mCapacity, free, (long long) tsx);
    if (tooShort)
        platform::log::write (platform::log::notice, "Brisalto ext sidechain Receive queue buf size < blocksize !!! \n");
    if (size > 0)
        platform::log::write (platform::log::notice, "Brisalto ext sidechain Receive : %lld (searched %lld)  Send Ts %lld    Posted %d  free %d  queue %d \n",
                              (long long) tsx, (long long) searched, (long long) (int32_t) usedTimestamp, posted, free, size);
}
