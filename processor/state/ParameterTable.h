#pragma once

#include "processor/common/ProcessorTypes.h"

// The 30 parameters as hosts, state chunks and factory programs address them: by index,
// normalised 0..1. Display units (dB, ms, ratio, percent, Hz) are what the editor and the
// factory programs speak.
enum ParamIndex : int
{
    Threshold = 0,
    Release,
    AutoGainMakeupOn,
    Attack,
    Lookahead,
    Ratio,
    MakeupGain,
    Non_Lin_Release_On,
    Adpative_Thresh_On,
    Tube_Distort_On,
    TubeClassA_Amount,
    FreqOut,
    Mix,
    Smooth_Orig,
    SoftLimiterOn,
    MaxGainLevel,
    Adaptive_Relative_Gain,
    Adaptive_Relative_Amount,
    MaxMakeupOn,
    AutoGainAmount,
    DistortAmount,
    BPFilterOn,
    BPFilterFreq,
    BPFilterListenOn,
    BPFilterType,
    BPFilterQ,
    Non_Lin_Release_Amount,
    TubeClassAB_Amount,
    HardLimiterOn,
    HardLimiterRelease
};

namespace brisalto::ParameterTable
{
    bool isValidIndex (int index) noexcept;

    // The parameter's name, or nullptr outside 0..29.
    const char* name (int index) noexcept;

    // Index of the parameter with this exact name, or -1.
    int indexOfName (const char* name) noexcept;

    float defaultValue (int index) noexcept;  // 0 outside 0..29
    bool isAutomatable (int index) noexcept;  // true outside 0..29

    // A value from outside (host, chunk, preset, linked instance) made safe to store:
    // non-finite takes the default, anything else is clamped to 0..1.
    float sanitise (int index, float normalised) noexcept;

    // Display value to normalised value; indices whose display value is the normalised
    // value, and indices outside 0..29, return the value unchanged. No clamping.
    float toNormalised (int index, float displayValue) noexcept;

    // Normalised value to display value, for the rows that convert by formula alone.
    float toDisplay (int index, float normalised) noexcept;
}
