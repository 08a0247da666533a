#pragma once

#include <vector>

// One element of the look-ahead ring: one block per channel index, channel k at k*n .. k*n+n-1,
// and the mean square of each channel's block.
struct ringbuf_data
{
    ringbuf_data()
    {
        mSamples.assign (2048, 0.0f);
        mMeanSquares.assign (16, 0.0f);
    }

    std::vector<float> mMeanSquares;
    std::vector<float> mSamples;
};
