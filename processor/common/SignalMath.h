#pragma once

#include <cmath>

namespace dsp
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
}
