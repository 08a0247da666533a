#pragma once

#include "processor/common/ProcessorTypes.h"

// The detector band filter's settings: the parameters as normalised values, the type decoded.
struct FilterSettings
{
    double sampleRate = 48000.0;
    float frequency = 0.05f;  // x 20 kHz
    float q = 0.2f;           // x 10
    FilterType type = FilterType::bandPass;
};

// The biquad of the detector filter, bilinear design: b0, b1, b2, a1, a2.
struct DetectorFilterDesign
{
    static void coefficients (const FilterSettings& settings, float (&out)[5]) noexcept;
};
