#pragma once

#include "processor/common/ProcessorTypes.h"
#include "processor/common/RelaxedAtomic.h"
#include "processor/exchange/StoppedClock.h"

#include <algorithm>
#include <cstdint>
#include <limits>

// Logging of the exchange without diagnostics: status changes and the first mismatch after a
// match, at most one line per second of rendered audio per instance. Render thread only.
class ExchangeLogPace
{
public:
    bool allowed (float sampleRate) const noexcept { return samplesSinceLog >= (int64_t) sampleRate; }

    void advance (int n) noexcept
    {
        samplesSinceLog = std::min<int64_t> (samplesSinceLog + n, std::numeric_limits<int32_t>::max());
    }

    // A found block arms the next mismatch line.
    void noteMatch() noexcept { mismatchArmed = true; }

    // Whether a mismatch may be logged now; taking the turn disarms until the next match.
    bool takeMismatchTurn (float sampleRate) noexcept
    {
        if (! mismatchArmed || ! allowed (sampleRate))
            return false;
        mismatchArmed = false;
        samplesSinceLog = 0;
        return true;
    }

    // Whether a status change is logged now; true records it as the logged one.
    bool takeStatusChange (int32_t status, float sampleRate, int32_t& previous) noexcept
    {
        if (status == loggedStatus || ! allowed (sampleRate))
            return false;
        previous = loggedStatus;
        loggedStatus = status;
        samplesSinceLog = 0;
        return true;
    }

private:
    int32_t loggedStatus = 0;
    bool mismatchArmed = true;
    int64_t samplesSinceLog = 0;
};

// What one instance keeps for its exchange with the others besides the side-chain and link
// objects and the members the design names (mLinkStatus, mSeenParamChangeCount). Touched by
// the instance's render thread only, except the counter read by tests.
struct ExchangeState
{
    // A receiver skips a publisher whose publication count has not moved for this many of its
    // own exchanges (a member that stopped rendering, a sender that stopped sending).
    static constexpr int staleAfter = 16;

    ExchangeLogPace logPace;

    // This instance's part in the process-wide clock of stopped transports, and the samples
    // rendered since the transport stopped.
    brisalto::exchange::StoppedClock::Follower stoppedClock;
    int64_t stoppedSamples = 0;

    // For tests and diagnostics: parameter rows adopted from the link group.
    RelaxedAtomic<int32_t> adoptions { 0 };
};

namespace brisalto::exchange
{
    // The per-block exchange log lines are written only while diagnostics are on: the
    // environment variable BRISALTO_EXCHANGE_DIAGNOSTICS (non-empty, not "0"), read once.
    bool diagnostics() noexcept;

    // For tests.
    void setDiagnostics (bool on) noexcept;
}
