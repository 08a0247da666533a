#include "processor/render/RenderBlock.h"
#include "processor/exchange/ExchangeDetail.h"
#include "processor/exchange/ExchangeState.h"
#include "platform/Log.h"

#include <cstdlib>
#include <cstring>
#include <limits>

// The render loop's side of the exchange with other instances in the host process: the
// external side-chain (an instance in MixMode::sideChainSend publishes its first input channel
// in one of eight slots, an instance in MixMode::sideChainReceive on the same slot detects on
// it) and the link group (members publish the mean of their weighted squared inputs and, in
// MixMode::sum, add each other's data to their summed detector; with SYNC PARS they also
// publish and adopt six parameters).
//
// Every exchange is made per rendered chunk, with the chunk's own timestamp (the block's tsx
// plus the chunk's offset) and length, so that a host block longer than the prepared size
// exchanges exactly what blocks of the prepared size would.
//
// A receiver takes the samples of the block before its own (tsx - n .. tsx) from however many
// entries they were published in: hosts vary their block sizes, so its blocks seldom start where
// the sender's did. Only when they are not all there does it fall back to the nearest entry.
// While the transport is stopped the timestamps come from the process-wide StoppedClock.
//
// What keeps the exchange sound:
// - Entries carry their valid length; a cleared entry holds nothing, is filled by copying and
//   is never matched. Receives read only the valid length. The own link record is cleared on
//   timestamp jumps too, and whenever its own timestamps go back.
// - Each record counts its publications; a receiver skips a record whose count has not moved
//   for 16 of its own exchanges (external receive: status 0) until it moves again.
// - Every block writes the own record's group, 0 when it does not link.
// - No link send and no adoption in mix modes 4 and 5 (their selector picks a slot, not a group).
// - Slots outside 0..7, records outside the table and empty blocks exchange nothing.
// - A queue is full when the sender found no free entry and dropped its oldest block: status 7
//   and the receive's closest fallback only then.
// - A full queue reuses its oldest entry in place; entry storage is grown at prepareToPlay, so
//   the render threads never allocate here.
// - Render threads take a record with a short bounded spin and skip it for the block when it
//   stays busy; skipped clears are redone at the next block. Adoption refreshes the editor
//   through the render-thread request flag, never through getActiveEditor().
// - The per-block log lines are written only with diagnostics on.
// - The adopted attack is rounded to the nearest sample; under half a sample counts as equal.
// - Link records come from a free list (ExchangeRecord.h); adoption memory is keyed on record
//   and owner generation.

namespace exchange
{
namespace
{
    bool readDiagnosticsSwitch() noexcept
    {
        const char* v = std::getenv ("BRISALTO_EXCHANGE_DIAGNOSTICS");
        return v != nullptr && v[0] != '\0' && std::strcmp (v, "0") != 0;
    }

    RelaxedAtomic<int>& diagnosticsState() noexcept
    {
        static RelaxedAtomic<int> state { readDiagnosticsSwitch() ? 1 : 0 };
        return state;
    }
}

bool diagnostics() noexcept { return diagnosticsState().load() != 0; }
void setDiagnostics (bool on) noexcept { diagnosticsState() = on ? 1 : 0; }
}


using namespace exchange::detail;

//==============================================================================
// Records, clears and the group selector.

void BrisaltoAudioProcessor::attachLinkRecord() noexcept
{
    mExchange.linkRecord = linkrecords::acquire();
    if (mExchange.linkRecord < 0)
        platform::log::write (platform::log::warning, "Brisalto instance %d : all %d link records are in use, this instance takes no part in linking",
                              (int) mInstanceId, NUM_LINK_RECORDS);
}

void BrisaltoAudioProcessor::detachLinkRecord() noexcept
{
    if (groupNumber > 0)
        groupNumber = 0;
    const int record = mExchange.linkRecord.exchange (-1);
    linkrecords::release (record);
}

int BrisaltoAudioProcessor::linkRecordIndex() const noexcept
{
    return mExchange.linkRecord;
}

void BrisaltoAudioProcessor::groupSelectorChanged (int k) noexcept
{
    // The main panel's group selector: its meaning follows the mix mode.
    const int mode = mixMode;
    if (mode == (int32_t) MixMode::sideMidi)
    {
        midiSideChan = k - 2;
        return;
    }

    // The side-chain modes choose the external side-chain slot only: a group written here would
    // make the instance join that link group once it leaves the side-chain mode.
    if (mode == (int32_t) MixMode::sideChainSend || mode == (int32_t) MixMode::sideChainReceive)
    {
        trackNumber = k - 1;
        return;
    }

    if (k <= 1)
    {
        groupNumber = 0;
        // One atomic store: the render thread writes its own record's group once per block
        // from its block copy, so a block in flight writes the old group at most once more.
        const int record = mExchange.linkRecord;
        if (validRecord (record))
            mInstRMSBuffers[record].mGroupNumber = 0;
        trackNumber = 0;
        return;
    }

    // The link record is not touched: the render loop publishes the new group. trackNumber may
    // leave 0..7 here (up to 15); the exchange checks its slot itself.
    groupNumber = k - 1;
    trackNumber = k - 1;
}

void BrisaltoAudioProcessor::prepareExchange (int preparedSize)
{
    // Entry storage for chunks of the prepared size: the render threads then never grow it.
    for (auto& record : sExtSideChainData)
        record.reserveSamples (preparedSize);
    const int own = mExchange.linkRecord;
    if (validRecord (own))
        mInstRMSBuffers[own].reserveSamples (preparedSize);
    if ((int) mExchange.received.size() < preparedSize)
        mExchange.received.assign ((size_t) preparedSize, 0.0f);
}

void BrisaltoAudioProcessor::clearExchangeRecords (bool includeOwnLinkRecord) noexcept
{
    mExchange.pendingClears |= (1u << NUM_EXT_SIDECHAIN_SLOTS) - 1u;
    if (includeOwnLinkRecord)
        mExchange.pendingClears |= 1u << ownLinkRecordBit;
    retryPendingClears();
}

void BrisaltoAudioProcessor::retryPendingClears() noexcept
{
    if (mExchange.pendingClears == 0)
        return;

    for (int bit = 0; bit <= ownLinkRecordBit; ++bit)
    {
        if ((mExchange.pendingClears & (1u << bit)) == 0)
            continue;

        extSideChainData* record = nullptr;
        if (bit < NUM_EXT_SIDECHAIN_SLOTS)
            record = &sExtSideChainData[bit];
        else if (validRecord (mExchange.linkRecord))
            record = &mInstRMSBuffers[(int) mExchange.linkRecord];

        if (record != nullptr)
        {
            RecordTryLock lock (record->mMutex);
            if (! lock.owns())
            {
                mExchange.skippedLocks++;
                continue;   // done at the next block
            }
            record->clearLocked();
        }
        if (bit == ownLinkRecordBit)
            mExchange.linkSendEndValid = false;
        mExchange.pendingClears &= ~(1u << bit);
    }
}

void BrisaltoAudioProcessor::publishNoGroup() noexcept
{
    const int record = mExchange.linkRecord;
    if (validRecord (record))
        mInstRMSBuffers[record].mGroupNumber = 0;
}

bool BrisaltoAudioProcessor::linksThisBlock (const RenderBlock& b) const noexcept
{
    return b.group > 0
        && validRecord (mExchange.linkRecord)
        && b.mode != MixMode::sideChainSend
        && b.mode != MixMode::sideChainReceive;
}

//==============================================================================
// Logging without diagnostics: at most one line per second of rendered audio per instance.

bool BrisaltoAudioProcessor::exchangeLogAllowed() const noexcept
{
    return mExchange.samplesSinceLog >= (int64_t) mSampleRate.load();
}

void BrisaltoAudioProcessor::finishExchangeBlock (int n) noexcept
{
    mExchange.samplesSinceLog = std::min<int64_t> (mExchange.samplesSinceLog + n, std::numeric_limits<int32_t>::max());

    const int32_t status = mLinkStatus;
    if (status != mExchange.loggedStatus && exchangeLogAllowed())
    {
        platform::log::write (platform::log::notice, "Brisalto instance %d : link status %d  (was %d)",
                              (int) mInstanceId, (int) status, (int) mExchange.loggedStatus);
        mExchange.loggedStatus = status;
        mExchange.samplesSinceLog = 0;
    }
}
