#include "processor/render/RenderBlock.h"
#include "processor/exchange/ExchangeDetail.h"
#include "processor/exchange/ExchangeState.h"
#include "platform/Log.h"

#include <limits>

// The link group: publication, the summed detector's share of the group and parameter
// adoption. See ExchangeHooks.cpp for what keeps it sound.

using namespace exchange::detail;

//==============================================================================
// Link group.

void BrisaltoAudioProcessor::linkSend (const RenderBlock& b, int offset, int n, int64_t tsx) noexcept
{
    const int index = mExchange.linkRecord;
    if (! validRecord (index) || n <= 0)
        return;

    auto& ex = mExchange;
    auto& R = mInstRMSBuffers[index];

    // Time went back (a loop, a stop restarting the free clock): the entries belong to
    // another pass and must not be mistaken for this one's.
    if (ex.linkSendEndValid && tsx < ex.linkSendEnd)
        ex.pendingClears |= 1u << ownLinkRecordBit;
    retryPendingClears();
    if ((ex.pendingClears & (1u << ownLinkRecordBit)) != 0)
        return;   // the record stayed busy: publish at the next block

    const int nrIn = std::max (0, b.nrIn);
    int size0 = 0, free0 = 0;
    bool dropped = false;
    {
        RecordTryLock lock (R.mMutex);
        if (! lock.owns())
        {
            ex.skippedLocks++;
            return;
        }

        R.mGroupNumber = b.group;

        if (grp_param_sync != 0 && mParamChangeCounter.load() > 0)
        {
            R.mPubThresholdDb = mBlockThresholdDb;
            R.mPubMakeupDb = mBlockMakeupDb;
            R.mPubAttackSamples = (float) mBlockAttackSamples;
            R.mPubReleaseMs = mBlockReleaseMs;
            R.mPubRatio = mBlockRatio;
            R.mPubMix = mDisplayValues[Mix];
            R.mPubChangeCount += 1;
            mParamChangeCounter.exchange (0);
        }

        auto& q = R.mSamplesQueue;
        size0 = q.size();
        free0 = R.freeEntries();

        // This instance writes each timestamp once per pass: an entry of the same timestamp is
        // overwritten, never added to.
        timestampedBuffer* e = nullptr;
        for (int i = 0; i < q.size() && e == nullptr; ++i)
            if (q[i].holdsData() && q[i].timestamp == tsx)
                e = &q[i];
        for (int i = 0; i < q.size() && e == nullptr; ++i)
            if (q[i].writers == 0 || ! q[i].holdsData())
                e = &q[i];
        if (e == nullptr && q.size() < R.mCapacity)
            e = &q.append();
        if (e == nullptr)
        {
            // Full: overwrite the oldest entry; when even that is later than this block, time
            // went back: every entry is cleared and the first one taken.
            for (int i = 0; i < q.size(); ++i)
                if (e == nullptr || q[i].timestamp < e->timestamp)
                    e = &q[i];
            if (e->timestamp > tsx)
            {
                R.clearLocked();
                e = &q[0];
            }
            dropped = true;
        }

        // The mean over the main channels of the weighted squares (a null channel adds 0).
        const int len = std::min (n, (int) e->samples.size());
        float* s = e->samples.data();
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
        e->timestamp = tsx;
        e->writers = 1;
        e->length = len;

        R.mWriteCount += 1;
        R.mPublications++;
        R.mChannelCount = nrIn;
    }

    ex.linkSendEnd = tsx + n;
    ex.linkSendEndValid = true;
    if (dropped)
        mLinkStatus = (int32_t) LinkStatus::queueFull;

    if (exchange::diagnostics())
        for (int ch = 0; ch < nrIn; ++ch)
            platform::log::write (platform::log::notice, "Brisalto linked %d   Send_ts : %lld   lTimeStamp %lld  queuesize %d  free %d  isPlaying %d \n",
                                  (int) mInstanceId, (long long) tsx, (long long) b.ts, size0, free0, b.playing ? 1 : 0);
}

int BrisaltoAudioProcessor::linkReceive (const RenderBlock& b, float* S, int n, int64_t tsx) noexcept
{
    const int group = b.group;
    if (group <= 0 || n <= 0 || S == nullptr)
        return 0;

    auto& ex = mExchange;
    const int own = ex.linkRecord;
    const bool sync = grp_param_sync != 0 && b.mode == MixMode::sum;
    const int64_t wanted = tsx - n;
    int L = 0;

    for (int u = 0; u < NUM_LINK_RECORDS; ++u)
    {
        if (u == own)
            continue;

        auto& R = mInstRMSBuffers[u];
        if (R.mGroupNumber != group || R.mWriteCount <= 0)
        {
            ex.tracked[u] = false;
            continue;
        }

        // A member that stopped rendering keeps its last block: skip it once its publication
        // count has not moved for a while, take it back when it moves again.
        const uint32_t publications = R.mPublications;
        if (! ex.tracked[u] || publications != ex.seenPublications[u])
        {
            ex.tracked[u] = true;
            ex.seenPublications[u] = publications;
            ex.unchangedFor[u] = 0;
        }
        else if (ex.unchangedFor[u] < ExchangeState::staleAfter)
        {
            ++ex.unchangedFor[u];
        }
        if (ex.unchangedFor[u] >= ExchangeState::staleAfter)
            continue;

        bool adopt = false;
        int32_t count = 0;
        float pubThreshold = 0.0f, pubMakeup = 0.0f, pubRelease = 0.0f, pubAttack = 0.0f, pubRatio = 0.0f, pubMix = 0.0f;
        bool haveEntry = false;
        int64_t found = std::numeric_limits<int64_t>::max();
        int foundIndex = -1;
        {
            RecordTryLock lock (R.mMutex);
            if (! lock.owns())
            {
                ex.skippedLocks++;
                continue;
            }

            if (sync && R.mPubChangeCount >= 2)
            {
                const uint32_t generation = R.mGeneration;
                if (ex.seenGeneration[u] != generation)
                {
                    // A new owner: what was adopted from the previous one says nothing.
                    ex.seenGeneration[u] = generation;
                    mSeenParamChangeCount[u] = 0;
                }
                if (R.mPubChangeCount != mSeenParamChangeCount[u])
                {
                    adopt = true;
                    count = R.mPubChangeCount;
                    pubThreshold = R.mPubThresholdDb;
                    pubMakeup = R.mPubMakeupDb;
                    pubRelease = R.mPubReleaseMs;
                    pubAttack = R.mPubAttackSamples;
                    pubRatio = R.mPubRatio;
                    pubMix = R.mPubMix;
                }
            }

            const int c = std::max (1, (int) R.mChannelCount);
            const float cf = (float) c;
            float* window = ex.received.data();
            if ((int) ex.received.size() >= n && R.copyWindow (wanted, n, window))
            {
                // The member's samples of the block before this one, from however many of its
                // entries they lie in.
                for (int i = 0; i < n; ++i)
                    S[i] += cf * window[i];
                L += c;
                haveEntry = true;
                found = wanted;
            }
            else if (const auto* e = R.findBufWithClosestTimestamp (wanted, found))
            {
                const int len = std::min (n, e->length);
                const float* x = e->samples.data();
                for (int i = 0; i < len; ++i)
                    S[i] += cf * x[i];
                L += c;
                haveEntry = true;
                for (int i = 0; i < R.mSamplesQueue.size(); ++i)
                    if (R.mSamplesQueue[i].timestamp == found)
                    {
                        foundIndex = i;
                        break;
                    }
            }
        }

        if (adopt)
            adoptLinkedParameters (u, count, pubThreshold, pubMakeup, pubRelease, pubAttack, pubRatio, pubMix);

        const bool mismatch = ! haveEntry || distance (wanted, found) >= (uint64_t) n;
        if (! mismatch)
        {
            ex.mismatchArmed = true;
            continue;
        }

        const bool logIt = b.playing || ex.stoppedSamples <= stoppedMismatchLogLimit;
        if (! logIt)
            continue;
        if (! exchange::diagnostics())
        {
            if (! ex.mismatchArmed || ! exchangeLogAllowed())
                continue;
            ex.mismatchArmed = false;
            ex.samplesSinceLog = 0;
        }
        platform::log::write (platform::log::warning,
                              b.playing ? "\nBrisalto linked %d  : timestamp not found : our %lld   found %lld   at indx %d"
                                        : "\nBrisalto linked %d  : timestamp not playing  found : our %lld   found %lld   at indx %d",
                              (int) mInstanceId, (long long) wanted, (long long) found, foundIndex);
    }

    ex.lastLinkedChannels = L;
    return L;
}

void BrisaltoAudioProcessor::adoptLinkedParameters (int record, int32_t count, float t, float m, float r,
                                                    float a, float q, float x) noexcept
{
    // Each row: write the member and the parameter with the gate open. The wrappers hear of
    // it from the hand-off timer on the message thread, as an edit inside a gesture: telling
    // them here would take their locks and make the VST3 wrapper post from the render thread.
    const auto notify = [this] (int index, float value)
    {
        mParamNotifyGate = 0;
        mCurrentProgram = 0;
        setParameter (index, value);
        mAdoptedToTell.fetch_or (1u << (unsigned) index);
        mParamNotifyGate++;
        mExchange.adoptions++;
    };

    if (std::abs (t - mBlockThresholdDb) > 0.05f)
    {
        mThresholdDb = t;
        notify (Threshold, t / 50.0f + 1.0f);
    }
    if (std::abs (m - mBlockMakeupDb) > 0.05f)
    {
        mMakeupDb = m;
        notify (MakeupGain, m / 60.0f + 0.5f);
    }
    if (std::abs (r - mBlockReleaseMs) > 0.1f)
    {
        mReleaseMs = r;
        notify (Release, r / 4000.0f);
    }
    // Attack in whole samples: rounded, and under half a sample counts as equal, so the value
    // neither loses a sample on the way nor travels back to its publisher.
    if (std::abs (a - (float) mBlockAttackSamples) >= 0.5f)
    {
        const float sampleRate = mSampleRate;
        const double ms = (double) a * 1000.0 / (double) sampleRate;
        const auto samples = (int32_t) std::lround ((double) sampleRate * ms / 1000.0);
        mAttackSamples = samples;
        notify (Attack, (float) (ms / 50.0));
        mAttackSamples = samples;   // setParameter derives it again, truncating
    }
    if (std::abs (q - mBlockRatio) > 0.01f)
    {
        mRatio = q;
        notify (Ratio, (float) (((double) q - 0.5) / 10.0));
    }
    if (std::abs (x - mDisplayValues[Mix]) > 0.01f)
        notify (Mix, x / 200.0f + 0.5f);

    mSeenParamChangeCount[record] = count;

    // No message loop: no wrapper and no timer either; whoever listens hears it now.
    if (juce::MessageManager::getInstanceWithoutCreating() == nullptr)
        tellValues (mAdoptedToTell.exchange (0), false);

    // The editor refreshes from its timer: never getActiveEditor() here, whose lock JUCE holds
    // for the whole construction of an editor.
    mEditorRefreshPending = 1;
}
