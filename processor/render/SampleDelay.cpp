#include "processor/render/SampleDelay.h"

#include <algorithm>
#include <cstring>

void SampleDelay::prepare (int numChannels, int capacity)
{
    channels = std::max (0, numChannels);
    length = std::max (1, capacity);
    data.assign ((size_t) channels * (size_t) length, 0.0f);
    writePosition = 0;
}

void SampleDelay::clear() noexcept
{
    std::fill (data.begin(), data.end(), 0.0f);
    writePosition = 0;
}

void SampleDelay::write (int channel, const float* source, int n) noexcept
{
    if (channel < 0 || channel >= channels || n <= 0 || n > length)
        return;

    if (source == nullptr)
    {
        float* dest = line (channel);
        const int first = std::min (n, length - writePosition);
        std::fill (dest + writePosition, dest + writePosition + first, 0.0f);
        std::fill (dest, dest + (n - first), 0.0f);
        return;
    }
    store (channel, source, n, writePosition);
}

void SampleDelay::writeEarlier (int channel, const float* source, int n, int ago) noexcept
{
    if (source == nullptr || channel < 0 || channel >= channels || n <= 0 || n > length || ago < 0 || ago > length)
        return;
    store (channel, source, n, writePosition - ago);
}

void SampleDelay::writeRecent (int channel, const float* source, int n, int reach) noexcept
{
    if (source == nullptr || channel < 0 || channel >= channels || n <= 0 || n > length)
    {
        write (channel, source, n);
        return;
    }
    const int kept = std::clamp (reach, 0, n);
    store (channel, source + (n - kept), kept, writePosition + (n - kept));
}

void SampleDelay::store (int channel, const float* source, int n, int start) noexcept
{
    if (start < 0)
        start += length;
    else if (start >= length)
        start -= length;
    float* dest = line (channel);
    const int first = std::min (n, length - start);
    std::memcpy (dest + start, source, sizeof (float) * (size_t) first);
    std::memcpy (dest, source + first, sizeof (float) * (size_t) (n - first));
}

void SampleDelay::read (int channel, float* destination, int n, int delay) const noexcept
{
    if (destination == nullptr || n <= 0)
        return;

    if (channel < 0 || channel >= channels || n > length)
    {
        std::fill (destination, destination + n, 0.0f);
        return;
    }

    delay = std::clamp (delay, 0, length - n);
    int start = writePosition - delay;
    if (start < 0)
        start += length;

    const float* src = line (channel);
    const int first = std::min (n, length - start);
    std::memmove (destination, src + start, sizeof (float) * (size_t) first);
    std::memmove (destination + first, src, sizeof (float) * (size_t) (n - first));
}

void SampleDelay::advance (int n) noexcept
{
    if (n <= 0 || length <= 0)
        return;
    writePosition = (int) (((int64_t) writePosition + n) % length);
}
