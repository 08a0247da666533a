#include "processor/signal/TubeDcHistory.h"

#include "processor/common/LaneMath.h"

namespace
{
    constexpr int maxLanes = 16;  // the widest vector of floats used
    constexpr int tile = 32;      // steps per transposed tile
}

void TubeDcHistory::removeMeans (TubeDcHistory* const* histories, float* const* v, float* sums, int count, int n,
                                 int length) noexcept
{
    const int limit = length < 1 ? 1 : (length > capacity ? capacity : length);
    const int width = dsp::lanes::laneWidth();
    const auto joins = [&] (const TubeDcHistory& h, const TubeDcHistory& lead)
    {
        return h.count == limit && h.oldest == lead.oldest;
    };

    for (int first = 0; first < count;)
    {
        // Lanes need full histories long enough that no value of a tile drops another of it.
        int group = 1;
        if (limit >= tile && width <= maxLanes && joins (*histories[first], *histories[first]))
            while (first + group < count && group < width && joins (*histories[first + group], *histories[first]))
                ++group;
        if (group < 2)
            histories[first]->removeMean (v[first], n, length, sums[first]);
        else
            removeMeansTogether (histories + first, v + first, sums + first, group, n, length, width);
        first += group;
    }
}

// The values and the ones they drop go into step-major tiles (one history per lane); the new
// values go into the histories before the tile is computed, as removeMean stores each value
// before it takes the mean off it.
void TubeDcHistory::removeMeansTogether (TubeDcHistory* const* histories, float* const* v, float* sums, int count,
                                         int n, int length, int width) noexcept
{
    alignas (64) float values[tile * maxLanes], dropped[tile * maxLanes];
    float laneSums[maxLanes] {};
    for (int k = 0; k < count; ++k)
        laneSums[k] = sums[k];

    const int limit = length > capacity ? capacity : length;
    const int oldest = histories[0]->oldest;
    for (int start = 0; start < n; start += tile)
    {
        const int steps = std::min (tile, n - start);
        for (int k = 0; k < count; ++k)
        {
            auto& h = *histories[k];
            const float* x = v[k] + start;
            for (int j = 0; j < steps; ++j)
            {
                values[j * width + k] = x[j];
                dropped[j * width + k] = h.values[(size_t) ((oldest + start + j) % capacity)];
            }
            for (int j = 0; j < steps; ++j)
                h.values[(size_t) ((oldest + start + limit + j) % capacity)] = x[j];
        }
        dsp::lanes::removeRunningMean (values, dropped, values, laneSums, steps, (float) length);
        for (int k = 0; k < count; ++k)
            for (int j = 0; j < steps; ++j)
                v[k][start + j] = values[j * width + k];
    }

    for (int k = 0; k < count; ++k)
    {
        histories[k]->oldest = (oldest + n) % capacity;
        sums[k] = laneSums[k];
    }
}
