#pragma once

#include "processor/common/DbConversion.h"

#include <algorithm>
#include <cmath>
#include <deque>

// The hard limiter written step by step as documented, with deques: rescans the window and
// rewrites the whole release on every loud sample. The production limiter must match it
// sample for sample.
struct ReferenceLimiter
{
    int release = 100;
    int window = 100;
    float ceiling = 0.985f;
    int hits = 0;
    std::deque<float> delayLine = std::deque<float> (100, 0.0f);
    std::deque<float> gainQueue = std::deque<float> (201, 0.0f);

    void resize (int newRelease, int newWindow)
    {
        release = newRelease;
        window = std::min (newWindow, newRelease);
        delayLine.resize ((size_t) window, 0.0f);
        gainQueue.resize ((size_t) (release + window + 1), 0.0f);
    }

    void process (float* samples, int n)
    {
        const int w = window, R = release;
        int h = 0;
        for (int i = 0; i < n; ++i)
        {
            const float v = samples[i];
            delayLine.push_back (v);
            const float f = delayLine.front();

            if (std::abs (v) > ceiling)
            {
                float pk = 0.0f;
                for (float s : delayLine)
                    pk = std::max (pk, std::abs (s));
                const float aT = (float) ((double) brisalto::dsp::toDb (ceiling / pk) - 0.1);
                const float bT = (float) ((double) brisalto::dsp::toDb (ceiling / std::abs (v)) - 0.1);

                const float g = gainQueue[(size_t) w];
                const float t = bT - (bT - aT) * g / aT;
                if (g > t)
                    gainQueue[(size_t) w] = t;

                if (w > 0 && gainQueue[(size_t) w - 1] > gainQueue[(size_t) w])
                {
                    int k = 0;
                    for (int j = 0; j < w; ++j)
                    {
                        const float a = delayLine[(size_t) j], b = delayLine[(size_t) j + 1];
                        if ((a > 0.0f && b < 0.0f) || (a < 0.0f && b > 0.0f))
                            k = j;
                    }
                    for (int j = k; j < w; ++j)
                    {
                        const float q = (float) (w - j) * (-1.0f / (float) R) + 1.0f;
                        gainQueue[(size_t) j] = std::min (gainQueue[(size_t) j], q * t);
                    }
                }

                ++h;

                // With no look-ahead there is no earlier entry to compare with.
                if (R > 0 && (w == 0 || (double) gainQueue[(size_t) w - 1] + 1.0 > (double) gainQueue[(size_t) w]))
                    for (int c2 = 0; c2 < R; ++c2)
                        gainQueue[(size_t) (w + R - c2)] = (float) c2 * t / (float) R;
            }

            const float g0 = gainQueue.front();
            samples[i] = g0 != 0.0f ? f * std::pow (10.0f, g0 / 20.0f) : f;
            gainQueue.pop_front();
            gainQueue.push_back (0.0f);
            delayLine.pop_front();
        }
        hits = h;
    }
};
