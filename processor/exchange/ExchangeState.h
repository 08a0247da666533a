#pragma once

#include "processor/common/ProcessorTypes.h"
#include "processor/common/RelaxedAtomic.h"
#include "processor/exchange/StoppedClock.h"

#include <cstdint>
#include <vector>

// What one instance keeps for its exchange with the others, besides the members the Part names
// (mLinkStatus, mSeenParamChangeCount). Touched by the instance's render thread only, except
// `linkRecord` (set at construction and destruction) and the counters read by tests.
struct ExchangeState
{
    // The link record this instance publishes in (handed out at construction), or -1.
    RelaxedAtomic<int32_t> linkRecord { -1 };

    // A receiver skips a publisher whose publication count has not moved for this many of its
    // own exchanges (a member that stopped rendering, a sender that stopped sending).
    static constexpr int staleAfter = 16;

    // Per link record: the owner generation the adoption memory belongs to, and the
    // publication count last seen with the number of exchanges it has not moved.
    uint32_t seenGeneration[NUM_LINK_RECORDS] {};
    uint32_t seenPublications[NUM_LINK_RECORDS] {};
    int32_t unchangedFor[NUM_LINK_RECORDS] {};
    bool tracked[NUM_LINK_RECORDS] {};

    // The external slot received from, its publication count and how long it has not moved.
    int32_t extSlot = -1;
    uint32_t extSeenPublications = 0;
    int32_t extUnchangedFor = 0;

    // Clears that found their record busy, retried at the next block: bit s for external
    // slot s, bit 8 for the own link record.
    uint32_t pendingClears = 0;

    // The end (tsx + n) of the last chunk published to the own link record: an earlier start
    // means time went back and the record's entries belong to another pass.
    int64_t linkSendEnd = 0;
    bool linkSendEndValid = false;

    // Copy of a received block, taken under the record's lock and fed after unlocking.
    std::vector<float> received;

    // Logging without diagnostics: status changes and the first mismatch after a match, at
    // most one line per second of rendered audio.
    int32_t loggedStatus = 0;
    bool mismatchArmed = true;
    int64_t samplesSinceLog = 0;
    bool noRecordLogged = false;

    // This instance's part in the process-wide clock of stopped transports, and the samples
    // rendered since the transport stopped.
    exchange::StoppedClock::Follower stoppedClock;
    int64_t stoppedSamples = 0;

    // For tests and diagnostics.
    RelaxedAtomic<int32_t> lastLinkedChannels { 0 };   // L of the last link receive
    RelaxedAtomic<int32_t> skippedLocks { 0 };         // records skipped because they stayed busy
    RelaxedAtomic<int32_t> adoptions { 0 };            // parameter rows adopted
};

namespace exchange
{
    // The per-block exchange log lines are written only while diagnostics are on: the
    // environment variable BRISALTO_EXCHANGE_DIAGNOSTICS (non-empty, not "0"), read once.
    bool diagnostics() noexcept;

    // For tests.
    void setDiagnostics (bool on) noexcept;
}
