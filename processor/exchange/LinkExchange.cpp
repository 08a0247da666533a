#include "processor/exchange/LinkExchange.h"
#include "processor/exchange/ExchangeDetail.h"
#include "processor/exchange/ExchangeState.h"
#include "platform/Log.h"

#include <algorithm>
#include <limits>

// The link group: publication, the summed detector's share of the group and the settings to
// adopt. See ExchangeHooks.cpp for what keeps it sound.

using namespace brisalto::exchange::detail;

//==============================================================================
// The own record.

bool LinkExchange::attach (int id) noexcept
{
    instanceId = id;
    ownRecord = brisalto::linkrecords::acquire();
    if (ownRecord >= 0)
        return true;
    brisalto::platform::log::write (
        brisalto::platform::log::warning,
        "Brisalto instance %d : all %d link records are in use, this instance takes no part in linking", id, NUM_LINK_RECORDS);
    return false;
}

void LinkExchange::detach() noexcept
{
    brisalto::linkrecords::release (ownRecord.exchange (-1));
}

void LinkExchange::prepare (int preparedSize)
{
    const int own = ownRecord;
    if (validRecord (own))
        records[own].reserveSamples (preparedSize);
    if ((int) received.size() < preparedSize)
        received.assign ((size_t) preparedSize, 0.0f);
}

bool LinkExchange::linksThisBlock (const brisalto::exchange::BlockView& b) const noexcept
{
    return b.group > 0 && validRecord (ownRecord) && b.mode != MixMode::sideChainSend && b.mode != MixMode::sideChainReceive;
}

void LinkExchange::leaveGroup() noexcept
{
    // One atomic store: the render thread writes its own record's group once per block from
    // its block copy, so a block in flight writes the old group at most once more.
    const int own = ownRecord;
    if (validRecord (own))
        records[own].mGroupNumber = 0;
}

void LinkExchange::clearOwnRecord() noexcept
{
    clearPending = true;
    retryPendingClear();
}

void LinkExchange::retryPendingClear() noexcept
{
    if (! clearPending)
        return;

    const int own = ownRecord;
    if (validRecord (own))
    {
        RecordTryLock lock (records[own].mMutex);
        if (! lock.owns())
        {
            skippedLocks++;
            return;  // done at the next block
        }
        records[own].clearLocked();
    }
    sendEndValid = false;
    clearPending = false;
}

//==============================================================================
// Send.

void LinkExchange::writeMeanSquares (const brisalto::exchange::BlockView& b, int offset, int nrIn, timestampedBuffer& e,
                                     int n) noexcept
{
    // The mean over the main channels of the weighted squares (a null channel adds 0).
    const int len = std::min (n, (int) e.samples.size());
    float* s = e.samples.data();
    std::fill (s, s + len, 0.0f);
    for (int ch = 0; ch < nrIn; ++ch)
    {
        const float* x = b.mainChannel (ch, offset);
        if (x == nullptr)
            continue;
        const float w2 = b.weights[ch] * b.weights[ch];
        for (int i = 0; i < len; ++i)
            s[i] += w2 * x[i] * x[i];
    }
    if (nrIn > 1)
    {
        const float scale = 1.0f / (float) nrIn;
        for (int i = 0; i < len; ++i)
            s[i] *= scale;
    }
    e.length = len;
}

namespace
{
    void publishSettings (extSideChainData& R, const LinkExchange::Settings& s) noexcept
    {
        R.mPubThresholdDb = s.thresholdDb;
        R.mPubMakeupDb = s.makeupDb;
        R.mPubAttackSamples = s.attackSamples;
        R.mPubReleaseMs = s.releaseMs;
        R.mPubRatio = s.ratio;
        R.mPubMix = s.mix;
        R.mPubChangeCount += 1;
    }

    // The entry this timestamp goes in. This instance writes each timestamp once per pass: an
    // entry of the same timestamp is overwritten, never added to. Caller holds the lock.
    timestampedBuffer& entryForTimestamp (extSideChainData& R, int64_t tsx, bool& dropped) noexcept
    {
        auto& q = R.mSamplesQueue;
        for (int i = 0; i < q.size(); ++i)
            if (q[i].holdsData() && q[i].timestamp == tsx)
                return q[i];
        for (int i = 0; i < q.size(); ++i)
            if (q[i].writers == 0 || ! q[i].holdsData())
                return q[i];
        if (q.size() < R.mCapacity)
            return q.append();

        // Full: overwrite the oldest entry; when even that is later than this block, time
        // went back: every entry is cleared and the first one taken.
        dropped = true;
        timestampedBuffer* e = &q[0];
        for (int i = 1; i < q.size(); ++i)
            if (q[i].timestamp < e->timestamp)
                e = &q[i];
        if (e->timestamp > tsx)
        {
            R.clearLocked();
            e = &q[0];
        }
        return *e;
    }
}

LinkExchange::SendResult LinkExchange::send (const brisalto::exchange::BlockView& b, int offset, int n, int64_t tsx,
                                             const Settings* publish) noexcept
{
    SendResult result;
    const int index = ownRecord;
    if (! validRecord (index) || n <= 0)
        return result;

    // Time went back (a loop, a stop restarting the free clock): the entries belong to
    // another pass and must not be mistaken for this one's.
    if (sendEndValid && tsx < sendEnd)
        clearPending = true;
    retryPendingClear();
    if (clearPending)
        return result;  // the record stayed busy: publish at the next block

    auto& R = records[index];
    const int nrIn = std::max (0, b.nrIn);
    int size0 = 0, free0 = 0;
    {
        RecordTryLock lock (R.mMutex);
        if (! lock.owns())
        {
            skippedLocks++;
            return result;
        }

        R.mGroupNumber = b.group;
        if (publish != nullptr)
        {
            publishSettings (R, *publish);
            result.published = true;
        }

        size0 = R.mSamplesQueue.size();
        free0 = R.freeEntries();

        auto& e = entryForTimestamp (R, tsx, result.queueFull);
        writeMeanSquares (b, offset, nrIn, e, n);
        e.timestamp = tsx;
        e.writers = 1;

        R.mWriteCount += 1;
        R.mPublications++;
        R.mChannelCount = nrIn;
    }

    sendEnd = tsx + n;
    sendEndValid = true;

    if (brisalto::exchange::diagnostics())
        for (int ch = 0; ch < nrIn; ++ch)
            brisalto::platform::log::write (
                brisalto::platform::log::notice,
                "Brisalto linked %d   Send_ts : %lld   lTimeStamp %lld  queuesize %d  free %d  isPlaying %d \n", (int) instanceId,
                (long long) tsx, (long long) b.ts, size0, free0, b.playing ? 1 : 0);
    return result;
}

//==============================================================================
// Receive.

bool LinkExchange::isStale (int u, uint32_t publications) noexcept
{
    // A member that stopped rendering keeps its last block: skip it once its publication
    // count has not moved for a while, take it back when it moves again.
    if (! tracked[u] || publications != seenPublications[u])
    {
        tracked[u] = true;
        seenPublications[u] = publications;
        unchangedFor[u] = 0;
    }
    else if (unchangedFor[u] < ExchangeState::staleAfter)
    {
        ++unchangedFor[u];
    }
    return unchangedFor[u] >= ExchangeState::staleAfter;
}

bool LinkExchange::takeAdoption (int u, const extSideChainData& R, Adoption& out) noexcept
{
    if (R.mPubChangeCount < 2)
        return false;  // a member's first publication is never adopted

    const uint32_t generation = R.mGeneration;
    if (seenGeneration[u] != generation)
    {
        // A new owner: what was adopted from the previous one says nothing.
        seenGeneration[u] = generation;
        seenChangeCounts[u] = 0;
    }
    if (R.mPubChangeCount == seenChangeCounts[u])
        return false;

    out.record = u;
    out.count = R.mPubChangeCount;
    out.settings = { R.mPubThresholdDb, R.mPubMakeupDb, R.mPubReleaseMs, R.mPubAttackSamples, R.mPubRatio, R.mPubMix };
    return true;
}

bool LinkExchange::addMemberData (extSideChainData& R, float* S, int n, int64_t wanted, int64_t& found, int& foundIndex,
                                  int& L) noexcept
{
    const int c = std::max (1, (int) R.mChannelCount);
    const float cf = (float) c;
    float* window = received.data();
    if ((int) received.size() >= n && R.copyWindow (wanted, n, window))
    {
        // The member's samples of the block before this one, from however many of its
        // entries they lie in.
        for (int i = 0; i < n; ++i)
            S[i] += cf * window[i];
        L += c;
        found = wanted;
        return true;
    }

    const auto* e = R.findBufWithClosestTimestamp (wanted, found);
    if (e == nullptr)
        return false;

    const int len = std::min (n, e->length);
    const float* x = e->samples.data();
    for (int i = 0; i < len; ++i)
        S[i] += cf * x[i];
    L += c;
    for (int i = 0; i < R.mSamplesQueue.size(); ++i)
        if (R.mSamplesQueue[i].timestamp == found)
        {
            foundIndex = i;
            break;
        }
    return true;
}

void LinkExchange::logMismatch (const brisalto::exchange::BlockView& b, int64_t wanted, int64_t found, int foundIndex,
                                const ReceiveOptions& options, ExchangeLogPace& pace) const noexcept
{
    if (! options.logMismatches)
        return;
    if (! brisalto::exchange::diagnostics() && ! pace.takeMismatchTurn (options.sampleRate))
        return;
    brisalto::platform::log::write (
        brisalto::platform::log::warning,
        b.playing ? "\nBrisalto linked %d  : timestamp not found : our %lld   found %lld   at indx %d"
                  : "\nBrisalto linked %d  : timestamp not playing  found : our %lld   found %lld   at indx %d",
        (int) instanceId, (long long) wanted, (long long) found, foundIndex);
}

LinkExchange::Receipt LinkExchange::receive (const brisalto::exchange::BlockView& b, float* S, int n, int64_t tsx,
                                             const ReceiveOptions& options, ExchangeLogPace& pace) noexcept
{
    Receipt receipt;
    const int group = b.group;
    if (group <= 0 || n <= 0 || S == nullptr)
        return receipt;

    const int own = ownRecord;
    const int64_t wanted = tsx - n;
    int L = 0, adopted = 0;

    for (int u = 0; u < NUM_LINK_RECORDS; ++u)
    {
        if (u == own)
            continue;

        auto& R = records[u];
        if (R.mGroupNumber != group || R.mWriteCount <= 0)
        {
            tracked[u] = false;
            continue;
        }
        if (isStale (u, R.mPublications))
            continue;

        bool haveEntry = false;
        int64_t found = std::numeric_limits<int64_t>::max();
        int foundIndex = -1;
        {
            RecordTryLock lock (R.mMutex);
            if (! lock.owns())
            {
                skippedLocks++;
                continue;
            }
            if (options.syncParameters && takeAdoption (u, R, adoptions[(size_t) adopted]))
                ++adopted;
            haveEntry = addMemberData (R, S, n, wanted, found, foundIndex, L);
        }

        if (haveEntry && distance (wanted, found) < (uint64_t) n)
            pace.noteMatch();
        else
            logMismatch (b, wanted, found, foundIndex, options, pace);
    }

    lastLinkedChannels = L;
    receipt.linkedChannels = L;
    receipt.adoptions = adoptions.data();
    receipt.adoptionCount = adopted;
    return receipt;
}
