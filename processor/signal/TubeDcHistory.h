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

    // Pushes each of the n values of v, keeping dcSum the sum of the values held; once the
    // history holds `length` values, subtracts their mean dcSum / length from the value.
    void removeMean (float* v, int n, int length, float& dcSum) noexcept
    {
        const int limit = length < 1 ? 1 : (length > capacity ? capacity : length);
        int i = 0;
        for (; i < n && count != limit; ++i)
        {
            float dropped = 0.0f;
            if (push (v[i], length, dropped))
            {
                dcSum += v[i] - dropped;
                v[i] -= dcSum / (float) length;
            }
            else
            {
                dcSum += v[i];  // still filling
            }
        }

        // Full: the same steps on local copies, four values at a time where the history is
        // long enough that none of them drops another of the four. The running sum then
        // takes one addition per four values (partial sums of the four alongside).
        int first = oldest;
        float sum = dcSum;
        const float scale = 1.0f / (float) length;
        for (; limit >= 4 && i + 4 <= n; i += 4)
        {
            float d[4];
            for (int k = 0; k < 4; ++k)
                d[k] = v[i + k] - values[(size_t) wrap (first + k)];
            for (int k = 0; k < 4; ++k)
                values[(size_t) wrap (wrap (first + limit) + k)] = v[i + k];
            first = wrap (first + 4);
            const float p1 = d[0] + d[1], p2 = p1 + d[2], p3 = p2 + d[3];
            v[i] -= (sum + d[0]) * scale;
            v[i + 1] -= (sum + p1) * scale;
            v[i + 2] -= (sum + p2) * scale;
            sum += p3;
            v[i + 3] -= sum * scale;
        }
        for (; i < n; ++i)
        {
            const float dropped = values[(size_t) first];
            values[(size_t) wrap (first + limit)] = v[i];
            first = wrap (first + 1);
            sum += v[i] - dropped;
            v[i] -= sum / (float) length;
        }
        oldest = first;
        dcSum = sum;
    }

    // Sum of the values now held (in partial sums: independent additions, not one chain).
    float sum() const noexcept
    {
        const int first = std::min (count, capacity - oldest);
        return brisalto::dsp::sum (values.data() + oldest, first) + brisalto::dsp::sum (values.data(), count - first);
    }

private:
    static int wrap (int i) noexcept { return i >= capacity ? i - capacity : i; }

    std::array<float, capacity> values {};
    int oldest = 0, count = 0;
};
