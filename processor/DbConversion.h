#pragma once

#include <cmath>

namespace dsp
{
    // Magnitude, RMS value or ratio in dB; anything at or below 6.4e-8 (and NaN) is -144 dB.
    inline float toDb (float v) noexcept
    {
        return (double) v > 6.4e-8 ? 20.0f * std::log10 (v) : -144.0f;
    }

    inline bool isFinite (float v) noexcept { return std::isfinite (v); }

    // Non-finite samples become silence.
    inline float finiteOrZero (float v) noexcept { return std::isfinite (v) ? v : 0.0f; }
}
