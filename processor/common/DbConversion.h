#pragma once

#include <cmath>
#include <limits>

namespace brisalto::dsp
{
    // Magnitude, RMS value or ratio in dB; anything at or below 6.4e-8 (and NaN) is -144 dB.
    // 20 * log10(v), evaluated in double and rounded once.
    inline float toDb (float v) noexcept
    {
        constexpr double dbPerNeper = 8.685889638065035;  // 20 / ln(10)
        return (double) v > 6.4e-8 ? (float) (std::log ((double) v) * dbPerNeper) : -144.0f;
    }

    // Non-finite samples become silence (written as a comparison, so that loops over blocks
    // vectorise: NaN and infinities fail it).
    inline float finiteOrZero (float v) noexcept
    {
        return std::abs (v) <= std::numeric_limits<float>::max() ? v : 0.0f;
    }
}
