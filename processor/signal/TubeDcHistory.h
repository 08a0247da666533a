#pragma once

#include "processor/common/SignalMath.h"

#include <algorithm>
#include <array>

// The recent class-A distortion values of one output channel, oldest first, for the
// moving-average DC removal. Holds at most `capacity` values in fixed storage.
class TubeDcHistory
{
public:
    static constexpr int capacity = 1024;

    int size() const noexcept { return count; }

    // Appends v. When the history already held `length` values, the oldest is dropped into
    // `dropped` and true is returned.
    bool push (float v, int length, float& dropped) noexcept
    {
        const int limit = length < 1 ? 1 : (length > capacity ? capacity : length);
        if (count < limit)
        {
            values[(size_t) wrap (oldest + count)] = v;
            ++count;
            return false;
        }
        dropped = values[(size_t) oldest];
        values[(size_t) wrap (oldest + limit)] = v;
        oldest = wrap (oldest + 1);
        if (limit < count)
            count = limit;
        return true;
    }

    // Sum of the values now held (in partial sums: independent additions, not one chain).
    float sum() const noexcept
    {
        const int first = std::min (count, capacity - oldest);
        return dsp::sum (values.data() + oldest, first) + dsp::sum (values.data(), count - first);
    }

private:
    static int wrap (int i) noexcept { return i >= capacity ? i - capacity : i; }

    std::array<float, capacity> values {};
    int oldest = 0, count = 0;
};
