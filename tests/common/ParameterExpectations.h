#pragma once

#include <array>

// What every test layer expects of the parameter table: names and defaults by index.
namespace brisalto::test
{
    // The plug-in's parameters as hosts and the processor show them, in index order.
    inline const std::array<const char*, 30> parameterNames { "Threshold",
                                                              "Release",
                                                              "AutoGainMakeupOn",
                                                              "Attack",
                                                              "Lookahead",
                                                              "Ratio",
                                                              "MakeupGain",
                                                              "Non_Lin_Release_On",
                                                              "Adpative_Thresh_On",
                                                              "Tube_Distort_On",
                                                              "TubeClassA_Amount",
                                                              "FreqOut",
                                                              "Mix",
                                                              "Smooth_Orig",
                                                              "SoftLimiterOn",
                                                              "MaxGainLevel",
                                                              "Adaptive_Relative_Gain",
                                                              "Adaptive_Relative_Amount",
                                                              "MaxMakeupOn",
                                                              "AutoGainAmount",
                                                              "DistortAmount",
                                                              "BPFilterOn",
                                                              "BPFilterFreq",
                                                              "BPFilterListenOn",
                                                              "BPFilterType",
                                                              "BPFilterQ",
                                                              "Non_Lin_Release_Amount",
                                                              "TubeClassAB_Amount",
                                                              "HardLimiterOn",
                                                              "HardLimiterRelease" };

    inline const std::array<float, 30> parameterDefaults { 0.72f, 0.03f, 0.0f,  0.12f, 0.34f, 0.35f, 0.5f, 0.0f, 0.0f, 0.0f,
                                                           0.0f,  0.01f, 1.0f,  1.0f,  0.0f,  0.9f,  0.5f, 0.9f, 0.0f, 0.5f,
                                                           0.0f,  0.0f,  0.05f, 0.0f,  0.0f,  0.2f,  0.1f, 0.0f, 0.0f, 0.05f };
}
