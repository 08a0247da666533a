#include "processor/PluginProcessor.h"

// The render loop's side of the exchange with other instances in the host process: the
// external side-chain (one instance sends its first input channel, another detects on it) and
// the link group (instances add each other's inputs to their summed detector). The records
// live in sExtSideChainData and mInstRMSBuffers; the exchange itself is not built yet, so
// these hooks exchange nothing and the render loop runs as an instance without partners.

// Publishes one block in slot `slot` (0..7); returns whether it was queued.
bool BrisaltoAudioProcessor::extSideChainSend (int, const float*, int, int64_t) noexcept
{
    return false;
}

// Feeds the block of slot `slot` nearest to the wanted timestamp into the side detector
// channel of ring element `ringIndex`.
void BrisaltoAudioProcessor::extSideChainReceive (int, int, int, int64_t) noexcept {}

void BrisaltoAudioProcessor::linkSend (const float* const*, int, int, int64_t) noexcept {}

int BrisaltoAudioProcessor::linkReceive (float*, int, int64_t) noexcept
{
    return 0;   // no linked channels added
}

void BrisaltoAudioProcessor::clearExchangeRecords (bool) noexcept {}
