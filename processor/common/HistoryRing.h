#pragma once

#include <algorithm>
#include <vector>

// A fixed-length FIFO of floats, oldest first: every push drops the oldest value.
// Storage is allocated once, at construction.
class HistoryRing
{
public:
    explicit HistoryRing (int length = 0)
        : values ((size_t) std::max (0, length), 0.0f)
    {
    }

    int size() const noexcept { return (int) values.size(); }

    void push (float v) noexcept
    {
        if (values.empty())
            return;
        values[oldest] = v;
        oldest = oldest + 1 == values.size() ? 0 : oldest + 1;
    }

    // Index 0 is the oldest value, size() - 1 the newest.
    float operator[] (int index) const noexcept
    {
        auto i = oldest + (size_t) index;
        if (i >= values.size())
            i -= values.size();
        return values[i];
    }

    float newest (int age) const noexcept { return (*this)[size() - 1 - age]; }

    void fill (float v) noexcept { std::fill (values.begin(), values.end(), v); }

private:
    std::vector<float> values;
    size_t oldest = 0;
};
