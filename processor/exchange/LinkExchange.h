#pragma once

#include "processor/common/ProcessorTypes.h"
#include "processor/common/RelaxedAtomic.h"
#include "processor/exchange/ExchangeBlockView.h"
#include "processor/exchange/ExchangeRecord.h"

#include <array>
#include <cstdint>
#include <vector>

class ExchangeLogPace;

// One instance's side of the link group: members publish the mean of their weighted squared
// inputs in their own link record and, in MixMode::sum, add each other's data to their summed
// detector; with SYNC PARS they also publish and adopt six parameters. Owns the instance's
// link record (handed out at attach) and what it remembers of the other members; the records
// are the process-wide table it is given, the adoption memory the processor's.
//
// attach, detach and prepare: message thread. leaveGroup: any thread (one atomic store).
// Everything else: the instance's render thread only, with no allocation and records taken
// with a short bounded spin.
class LinkExchange
{
public:
    using Records = extSideChainData[NUM_LINK_RECORDS];
    using SeenCounts = int32_t[NUM_LINK_RECORDS];

    // The six parameters a member publishes, in display units (attack in samples).
    struct Settings
    {
        float thresholdDb = 0.0f, makeupDb = 0.0f, releaseMs = 0.0f, attackSamples = 0.0f, ratio = 0.0f, mix = 0.0f;
    };

    // Settings published by the member of a record, with its publication count.
    struct Adoption
    {
        int record = -1;
        int32_t count = 0;
        Settings settings;
    };

    LinkExchange (Records& records, SeenCounts& seenChangeCounts) noexcept
        : records (records)
        , seenChangeCounts (seenChangeCounts)
    {
    }

    // Takes a free link record (false when all are taken: the instance takes no part), and
    // gives it back, out of any group.
    bool attach (int instanceId) noexcept;
    void detach() noexcept;
    int record() const noexcept { return ownRecord; }

    // Entry storage of the own record, and the receive copy, for chunks of the prepared size.
    void prepare (int preparedSize);

    // Whether the block publishes to and reads from its group.
    bool linksThisBlock (const brisalto::exchange::BlockView&) const noexcept;

    // The own record under no group.
    void leaveGroup() noexcept;

    struct SendResult
    {
        bool published = false;  // the settings given went out
        bool queueFull = false;  // the oldest entry was overwritten
    };

    // Publishes the chunk at `offset` of the block's main inputs at tsx (n samples), and the
    // settings when given.
    SendResult send (const brisalto::exchange::BlockView&, int offset, int n, int64_t tsx, const Settings* publish) noexcept;

    struct ReceiveOptions
    {
        bool syncParameters = false;  // SYNC PARS on and the block in MixMode::sum
        bool logMismatches = false;   // playing, or not long stopped
        float sampleRate = 48000.0f;
    };

    struct Receipt
    {
        int linkedChannels = 0;  // what the members added to S
        const Adoption* adoptions = nullptr;
        int adoptionCount = 0;
    };

    // Adds the other members' data of the block before this one (tsx - n .. tsx) to S,
    // weighted by their channel counts; lists the settings to adopt.
    Receipt receive (const brisalto::exchange::BlockView&, float* S, int n, int64_t tsx, const ReceiveOptions&,
                     ExchangeLogPace&) noexcept;

    // Empties the own record; when it stays busy, at a later retry.
    void clearOwnRecord() noexcept;
    void retryPendingClear() noexcept;

    // For tests and diagnostics.
    RelaxedAtomic<int32_t> lastLinkedChannels { 0 };  // L of the last receive
    RelaxedAtomic<int32_t> skippedLocks { 0 };        // records skipped because they stayed busy

private:
    bool isStale (int u, uint32_t publications) noexcept;
    bool takeAdoption (int u, const extSideChainData& R, Adoption& out) noexcept;
    bool addMemberData (extSideChainData& R, float* S, int n, int64_t wanted, int64_t& found, int& foundIndex, int& L) noexcept;
    void logMismatch (const brisalto::exchange::BlockView&, int64_t wanted, int64_t found, int foundIndex, const ReceiveOptions&,
                      ExchangeLogPace&) const noexcept;
    static void writeMeanSquares (const brisalto::exchange::BlockView&, int offset, int nrIn, timestampedBuffer& e,
                                  int n) noexcept;

    Records& records;
    SeenCounts& seenChangeCounts;

    RelaxedAtomic<int32_t> ownRecord { -1 };  // set by attach and detach, read by every thread
    int32_t instanceId = -1;

    // Per link record: the owner generation the adoption memory belongs to, and the
    // publication count last seen with the number of exchanges it has not moved.
    uint32_t seenGeneration[NUM_LINK_RECORDS] {};
    uint32_t seenPublications[NUM_LINK_RECORDS] {};
    int32_t unchangedFor[NUM_LINK_RECORDS] {};
    bool tracked[NUM_LINK_RECORDS] {};

    // The end (tsx + n) of the last chunk published to the own record: an earlier start
    // means time went back and the record's entries belong to another pass.
    int64_t sendEnd = 0;
    bool sendEndValid = false;
    bool clearPending = false;

    std::vector<float> received;                       // a member's window, copied under its lock
    std::array<Adoption, NUM_LINK_RECORDS> adoptions;  // those of the last receive
};
