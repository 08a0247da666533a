#include "processor/signal/DetectorFilter.h"

#include <algorithm>
#include <cmath>

namespace
{
    constexpr double minFilterHz = 10.0;
    constexpr double maxFilterFraction = 0.45;  // of the sample rate
    constexpr double pi = 3.14159265358979323846;
}

void DetectorFilterDesign::coefficients (const FilterSettings& settings, float (&out)[5]) noexcept
{
    const double fs = settings.sampleRate;
    // The bilinear design turns unstable (tan changes sign) at and above Nyquist, and its
    // single-precision coefficients lose the pole positions at very low frequencies: keep
    // the frequency within a range that stays stable at every supported rate.
    const double wanted = (double) settings.frequency * 20000.0;
    const double f = wanted < minFilterHz ? minFilterHz : (maxFilterFraction * fs < wanted ? maxFilterFraction * fs : wanted);
    double q = (double) settings.q * 10.0;
    if (q <= 0.01)
        q = 0.1;
    const int type = (int) settings.type;

    constexpr double sqrt2 = 1.4142135623730951;
    const double w = pi * f / fs;
    double b0, b1, b2, a1, a2;

    switch (type)
    {
        case (int) FilterType::lowPass:
        {
            const double k = 1.0 / std::tan (w);
            const double norm = 1.0 / (1.0 + sqrt2 * k + k * k);
            b0 = norm;
            b1 = 2.0 * norm;
            b2 = norm;
            a1 = 2.0 * (1.0 - k * k) * norm;
            a2 = (1.0 - sqrt2 * k + k * k) * norm;
            break;
        }
        case (int) FilterType::highPass:
        {
            const double k = std::tan (w);
            const double norm = 1.0 / (1.0 + sqrt2 * k + k * k);
            b0 = norm;
            b1 = -2.0 * norm;
            b2 = norm;
            a1 = 2.0 * (k * k - 1.0) * norm;
            a2 = (1.0 - sqrt2 * k + k * k) * norm;
            break;
        }
        case (int) FilterType::notch:
        {
            const double k = 1.0 / std::tan (w);
            const double norm = 1.0 / (1.0 + k / q + k * k);
            b0 = (1.0 + k * k) * norm;
            b1 = 2.0 * (1.0 - k * k) * norm;
            b2 = b0;
            a1 = 2.0 * (1.0 - k * k) * norm;
            a2 = (1.0 - k / q + k * k) * norm;
            break;
        }
        default:
        {
            const double k = 1.0 / std::tan (w);
            const double norm = 1.0 / (1.0 + k / q + k * k);
            b0 = k / q * norm;
            b1 = 0.0;
            b2 = -b0;
            a1 = 2.0 * (1.0 - k * k) * norm;
            a2 = (1.0 - k / q + k * k) * norm;
            break;
        }
    }

    const float coeffs[5] = { (float) b0, (float) b1, (float) b2, (float) a1, (float) a2 };
    std::copy (coeffs, coeffs + 5, out);
}
