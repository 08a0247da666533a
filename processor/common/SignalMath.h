#pragma once

#include <cmath>

namespace brisalto::dsp
{
    // Hyperbolic tangent of a float, evaluated in double and rounded once: as accurate as the
    // C library's tanhf and about twice as fast here, which matters at two per sample.
    inline float tanh (float x) noexcept
    {
        const double d = x;
        const double magnitude = std::abs (d);
        if (magnitude < 1.0e-4)
            return (float) (d - d * d * d / 3.0);
        if (magnitude > 20.0)
            return d < 0.0 ? -1.0f : 1.0f;
        const double e = std::exp (2.0 * d);
        return (float) ((e - 1.0) / (e + 1.0));
    }

    // Sum of n values in eight interleaved partial sums: independent additions instead of one
    // chain of n (the rounding differs from a left-to-right sum by a few ulp).
    inline float sum (const float* x, int n) noexcept
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
}
