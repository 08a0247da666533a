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

    // Stores n samples of one channel that start `ago` samples before the current position
    // (0: the current block, as write() does); 0 <= ago <= capacity(). Whatever was stored
    // since at the same positions is overwritten: the caller writes older samples only where
    // nothing newer is kept.
    void writeEarlier (int channel, const float* source, int n, int ago) noexcept;

    // write() for a line that is never read deeper than `reach` samples before a block: only
    // the block's last `reach` samples are stored, the positions before them keep old samples.
    void writeRecent (int channel, const float* source, int n, int reach) noexcept;

    // The n samples of one channel that were written `delay` samples before the current block.
    void read (int channel, float* destination, int n, int delay) const noexcept;

    void advance (int n) noexcept;

private:
    // n <= length samples from position start (-length < start < 2 * length), wrapping.
    void store (int channel, const float* source, int n, int start) noexcept;
    float* line (int channel) noexcept { return data.data() + (size_t) channel * (size_t) length; }
    const float* line (int channel) const noexcept { return data.data() + (size_t) channel * (size_t) length; }

    std::vector<float> data;
    int channels = 0;
    int length = 0;
    int writePosition = 0;
};
