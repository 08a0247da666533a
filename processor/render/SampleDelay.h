#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A bank of circular delay lines of equal length that share one write position. Sized once
// by prepare(); afterwards writing and reading never allocate.
//
// Per block: write() every channel, read() any channel at any delay up to
// capacity() - n, then advance(n). A delay of 0 reads back the block just written.
class SampleDelay
{
public:
    // `capacity` must cover the longest delay plus the longest block.
    void prepare (int numChannels, int capacity);
    void clear() noexcept;

    int numChannels() const noexcept { return channels; }
    int capacity() const noexcept { return length; }

    // The longest delay at which a block of n samples can be read.
    int maxDelayFor (int n) const noexcept { return length - n; }

    // Stores n samples of one channel at the current position; a null source stores zeros.
    void write (int channel, const float* source, int n) noexcept;

    // The n samples of one channel that were written `delay` samples before the current block.
    void read (int channel, float* destination, int n, int delay) const noexcept;

    void advance (int n) noexcept;

private:
    float* line (int channel) noexcept { return data.data() + (size_t) channel * (size_t) length; }
    const float* line (int channel) const noexcept { return data.data() + (size_t) channel * (size_t) length; }

    std::vector<float> data;
    int channels = 0;
    int length = 0;
    int writePosition = 0;
};
