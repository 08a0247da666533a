#include "processor/state/ParameterTable.h"

#include <cmath>
#include <cstring>

namespace
{
    struct Row
    {
        const char* name;
        float defaultValue;
        bool automatable;
    };

    constexpr Row rows[NUM_PARAMETERS] = {
        { "Threshold", 0.72f, true },
        { "Release", 0.03f, true },
        { "AutoGainMakeupOn", 0.0f, true },
        { "Attack", 0.12f, true },
        { "Lookahead", 0.34f, false },
        { "Ratio", 0.35f, true },
        { "MakeupGain", 0.5f, true },
        { "Non_Lin_Release_On", 0.0f, true },
        { "Adpative_Thresh_On", 0.0f, false },
        { "Tube_Distort_On", 0.0f, true },
        { "TubeClassA_Amount", 0.0f, true },
        { "FreqOut", 0.01f, true },
        { "Mix", 1.0f, true },
        { "Smooth_Orig", 1.0f, false },
        { "SoftLimiterOn", 0.0f, true },
        { "MaxGainLevel", 0.9f, true },
        { "Adaptive_Relative_Gain", 0.5f, true },
        { "Adaptive_Relative_Amount", 0.9f, true },
        { "MaxMakeupOn", 0.0f, true },
        { "AutoGainAmount", 0.5f, true },
        { "DistortAmount", 0.0f, true },
        { "BPFilterOn", 0.0f, true },
        { "BPFilterFreq", 0.05f, true },
        { "BPFilterListenOn", 0.0f, false },
        { "BPFilterType", 0.0f, false },
        { "BPFilterQ", 0.2f, true },
        { "Non_Lin_Release_Amount", 0.1f, true },
        { "TubeClassAB_Amount", 0.0f, true },
        { "HardLimiterOn", 0.0f, true },
        { "HardLimiterRelease", 0.05f, true },
    };
}

namespace brisalto::ParameterTable
{
    bool isValidIndex (int index) noexcept
    {
        return index >= 0 && index < NUM_PARAMETERS;
    }

    const char* name (int index) noexcept
    {
        return isValidIndex (index) ? rows[index].name : nullptr;
    }

    int indexOfName (const char* n) noexcept
    {
        if (n == nullptr)
            return -1;
        for (int i = 0; i < NUM_PARAMETERS; ++i)
            if (std::strcmp (rows[i].name, n) == 0)
                return i;
        return -1;
    }

    float defaultValue (int index) noexcept
    {
        return isValidIndex (index) ? rows[index].defaultValue : 0.0f;
    }

    bool isAutomatable (int index) noexcept
    {
        return ! isValidIndex (index) || rows[index].automatable;
    }

    float sanitise (int index, float v) noexcept
    {
        if (! std::isfinite (v))
            return defaultValue (index);
        return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
    }

    float toNormalised (int index, float d) noexcept
    {
        switch (index)
        {
            case Threshold: return d / 50.0f + 1.0f;
            case Release: return d / 4000.0f;
            case Attack: return d / 50.0f;
            case Lookahead: return d / 1000.0f;
            case Ratio: return (float) (((double) d - 0.5) / 10.0);
            case MakeupGain: return d / 60.0f + 0.5f;
            case TubeClassA_Amount: return d / 100.0f;
            case FreqOut: return d / 10000.0f;
            case Mix: return d / 200.0f + 0.5f;
            case MaxGainLevel: return d / 30.0f + 1.0f;
            case AutoGainAmount: return d / 200.0f + 0.5f;
            case DistortAmount: return d / 100.0f;
            case BPFilterFreq: return d / 20000.0f;
            case BPFilterType: return d / 10.0f;
            case BPFilterQ: return d / 10.0f;
            case Non_Lin_Release_Amount: return d / 200.0f + 0.5f;
            case TubeClassAB_Amount: return d / 100.0f;
            case HardLimiterRelease: return d / 200.0f;
            default: return d;
        }
    }

    float toDisplay (int index, float v) noexcept
    {
        switch (index)
        {
            case Threshold: return (v - 1.0f) * 50.0f;
            case Release: return v * 4000.0f;
            case Attack: return v * 50.0f;
            case Lookahead: return (float) (int) (v * 1000.0f);
            case Ratio: return v * 10.0f + 0.5f;
            case MakeupGain: return (v - 0.5f) * 60.0f;
            case TubeClassA_Amount: return v * 100.0f;
            case FreqOut: return v * 10000.0f;
            case Mix: return (v - 0.5f) * 200.0f;
            case MaxGainLevel: return v * 30.0f - 30.0f;
            case AutoGainAmount: return (v - 0.5f) * 200.0f;
            case DistortAmount: return v * 100.0f;
            case BPFilterFreq: return v * 20000.0f;
            case BPFilterType: return v * 10.0f;
            case BPFilterQ: return v * 10.0f;
            case Non_Lin_Release_Amount: return (v - 0.5f) * 200.0f;
            case TubeClassAB_Amount: return v * 100.0f;
            case HardLimiterRelease: return v * 200.0f;
            default: return v;
        }
    }
}
