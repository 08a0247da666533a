#pragma once

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

    // Sum of the values now held, in eight interleaved partial sums (independent additions
    // instead of one chain of 1024).
    float sum() const noexcept
    {
        const int first = std::min (count, capacity - oldest);
        return spanSum (values.data() + oldest, first) + spanSum (values.data(), count - first);
    }

private:
    static int wrap (int i) noexcept { return i >= capacity ? i - capacity : i; }

    static float spanSum (const float* x, int n) noexcept
    {
        float lanes[8] {};
        int i = 0;
        for (; i + 8 <= n; i += 8)
            for (int k = 0; k < 8; ++k)
                lanes[k] += x[i + k];
        for (; i < n; ++i)
            lanes[0] += x[i];
        return ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) + ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
    }

    std::array<float, capacity> values {};
    int oldest = 0, count = 0;
};
