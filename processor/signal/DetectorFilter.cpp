#include "processor/PluginProcessor.h"

#include <cmath>

namespace
{
    constexpr double minFilterHz = 10.0;
    constexpr double maxFilterFraction = 0.45;  // of the sample rate
}

void BrisaltoAudioProcessor::calc_filter_coeffs()
{
    const double fs = (double) mSampleRate;
    // The bilinear design turns unstable (tan changes sign) at and above Nyquist, and its
    // single-precision coefficients lose the pole positions at very low frequencies: keep
    // the frequency within a range that stays stable at every supported rate.
    const double f = juce::jlimit (minFilterHz, maxFilterFraction * fs, (double) mParams[BPFilterFreq] * 20000.0);
    double q = (double) mParams[BPFilterQ] * 10.0;
    if (q <= 0.01)
        q = 0.1;
    const int type = (int) filterTypeFromParameter (mParams[BPFilterType]);

    constexpr double sqrt2 = 1.4142135623730951;
    const double w = juce::MathConstants<double>::pi * f / fs;
    double b0, b1, b2, a1, a2;

    switch (type)
    {
        case (int) FilterType::lowPass:
        {
            const double k = 1.0 / std::tan (w);
            const double norm = 1.0 / (1.0 + sqrt2 * k + k * k);
            b0 = norm; b1 = 2.0 * norm; b2 = norm;
            a1 = 2.0 * (1.0 - k * k) * norm;
            a2 = (1.0 - sqrt2 * k + k * k) * norm;
            break;
        }
        case (int) FilterType::highPass:
        {
            const double k = std::tan (w);
            const double norm = 1.0 / (1.0 + sqrt2 * k + k * k);
            b0 = norm; b1 = -2.0 * norm; b2 = norm;
            a1 = 2.0 * (k * k - 1.0) * norm;
            a2 = (1.0 - sqrt2 * k + k * k) * norm;
            break;
        }
        case (int) FilterType::notch:
        {
            const double k = 1.0 / std::tan (w);
            const double norm = 1.0 / (1.0 + k / q + k * k);
            b0 = (1.0 + k * k) * norm; b1 = 2.0 * (1.0 - k * k) * norm; b2 = b0;
            a1 = 2.0 * (1.0 - k * k) * norm;
            a2 = (1.0 - k / q + k * k) * norm;
            break;
        }
        default:
        {
            const double k = 1.0 / std::tan (w);
            const double norm = 1.0 / (1.0 + k / q + k * k);
            b0 = k / q * norm; b1 = 0.0; b2 = -b0;
            a1 = 2.0 * (1.0 - k * k) * norm;
            a2 = (1.0 - k / q + k * k) * norm;
            break;
        }
    }

    const float coeffs[5] = { (float) b0, (float) b1, (float) b2, (float) a1, (float) a2 };
    mDetectorFilter.publish (coeffs);
}
