#pragma once

#include "processor/common/HistoryRing.h"

// The adaptive threshold's look back over several channels' level histories side by side in
// vector lanes: for each, the sum (newest first) and the count of its newest `window` entries
// over 1e-6, added in the same order as one channel at a time. Dispatched at run time like
// brisalto::dsp::block.
namespace brisalto::LevelHistoryLanes
{
    void sumRecent (const HistoryRing* const* histories, const int* windows, int count, float* sums, int* counts) noexcept;
}
