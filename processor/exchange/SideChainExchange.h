#pragma once

#include "processor/common/ProcessorTypes.h"
#include "processor/common/RelaxedAtomic.h"
#include "processor/exchange/ExchangeBlockView.h"
#include "processor/exchange/ExchangeRecord.h"

#include <cstdint>
#include <optional>
#include <vector>

// One instance's side of the external side-chain: an instance in MixMode::sideChainSend
// publishes its first input channel in one of the eight slots, an instance in
// MixMode::sideChainReceive on the same slot detects on it. Owns what the instance remembers
// of the exchange; the slots are the process-wide table it is given. send, receive and the
// clears run on the instance's render thread only (no allocation, records taken with a short
// bounded spin); prepare on the message thread, never while rendering.
class SideChainExchange
{
public:
    using Slots = extSideChainData[NUM_EXT_SIDECHAIN_SLOTS];

    explicit SideChainExchange (Slots& slots) noexcept
        : slots (slots)
    {
    }

    // Entry storage of every slot, and the receive copy, for chunks of the prepared size.
    void prepare (int preparedSize);

    // Publishes n samples of x at tsx in the block's slot. The status to show, or nothing when
    // nothing was sent (no slot, no samples, the slot stayed busy).
    std::optional<LinkStatus> send (const brisalto::exchange::BlockView&, const float* x, int n, int64_t tsx) noexcept;

    struct Receipt
    {
        LinkStatus status = LinkStatus::noData;
        const float* samples = nullptr;  // n samples to feed as the side detector, or null
    };

    // The samples of the block before this one (tsx - n .. tsx) from the block's slot; entries
    // ending more than keepSamples before them are freed. Nothing when the receive did not
    // take place (no slot, no samples, the slot stayed busy).
    std::optional<Receipt> receive (const brisalto::exchange::BlockView&, int n, int64_t tsx, int keepSamples) noexcept;

    // Empties every slot; a slot that stays busy is emptied at a later retry.
    void clearAll() noexcept;
    void retryPendingClears() noexcept;

    // Slots skipped because they stayed busy (for tests and diagnostics).
    RelaxedAtomic<int32_t> skippedLocks { 0 };

private:
    bool staleSender (int slot, uint32_t publications) noexcept;

    Slots& slots;

    // The slot received from, its publication count and how long it has not moved.
    int32_t seenSlot = -1;
    uint32_t seenPublications = 0;
    int32_t unchangedFor = 0;

    uint32_t pendingClears = 0;   // bit s: slot s still to be emptied
    std::vector<float> received;  // copy of a received block, taken under the slot's lock
};
