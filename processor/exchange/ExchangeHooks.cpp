#include "processor/render/RenderBlock.h"
#include "processor/exchange/ExchangeState.h"
#include "processor/exchange/ExchangeDetail.h"
#include "platform/Log.h"

#include <cstdlib>
#include <cstring>

// The processor's side of the exchange with other instances in the host process (the
// exchange itself lives in SideChainExchange and LinkExchange): the
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

namespace brisalto::exchange
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

    bool diagnostics() noexcept
    {
        return diagnosticsState().load() != 0;
    }
    void setDiagnostics (bool on) noexcept
    {
        diagnosticsState() = on ? 1 : 0;
    }
}

//==============================================================================
// The group selector, clears and the status log.

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
        mLink.leaveGroup();
        trackNumber = 0;
        return;
    }

    // The link record is not touched: the render loop publishes the new group. trackNumber may
    // leave 0..7 here (up to 15); the exchange checks its slot itself.
    groupNumber = k - 1;
    trackNumber = k - 1;
}

void BrisaltoAudioProcessor::clearExchangeRecords() noexcept
{
    mSideChain.clearAll();
    mLink.clearOwnRecord();
}

void BrisaltoAudioProcessor::finishExchangeBlock (int n) noexcept
{
    auto& pace = mExchange.logPace;
    pace.advance (n);

    const int32_t status = mLinkStatus;
    int32_t previous = 0;
    if (pace.takeStatusChange (status, mSampleRate.load(), previous))
        brisalto::platform::log::write (brisalto::platform::log::notice, "Brisalto instance %d : link status %d  (was %d)",
                                        (int) mInstanceId, (int) status, (int) previous);
}

//==============================================================================
// The link group, per rendered chunk.

void BrisaltoAudioProcessor::linkSend (const RenderBlock& b, int offset, int n, int64_t tsx) noexcept
{
    // Skipped slot clears are retried with each chunk, as the own record's are.
    mSideChain.retryPendingClears();

    LinkExchange::Settings settings;
    const bool publish = grp_param_sync != 0 && mParamChangeCounter.load() > 0;
    if (publish)
        settings = { mBlockThresholdDb,           mBlockMakeupDb, mBlockReleaseMs,
                     (float) mBlockAttackSamples, mBlockRatio,    mDisplayValues[Mix] };

    const auto sent = mLink.send (b, offset, n, tsx, publish ? &settings : nullptr);
    if (sent.published)
        mParamChangeCounter.exchange (0);
    if (sent.queueFull)
        mLinkStatus = (int32_t) LinkStatus::queueFull;
}

int BrisaltoAudioProcessor::linkReceive (const RenderBlock& b, float* S, int n, int64_t tsx) noexcept
{
    LinkExchange::ReceiveOptions options;
    options.syncParameters = grp_param_sync != 0 && b.mode == MixMode::sum;
    options.logMismatches = b.playing || mExchange.stoppedSamples <= brisalto::exchange::detail::stoppedMismatchLogLimit;
    options.sampleRate = mSampleRate.load();

    const auto receipt = mLink.receive (b, S, n, tsx, options, mExchange.logPace);
    for (int i = 0; i < receipt.adoptionCount; ++i)
        adoptLinkedParameters (receipt.adoptions[i]);
    return receipt.linkedChannels;
}
