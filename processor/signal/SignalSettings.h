#pragma once

#include <cstdint>

// What the detector reads for one block: the render loop's per-block copies of the parameters
// and of the values derived from them.
struct DetectorSettings
{
    float sampleRate = 48000.0f;
    float thresholdDb = 0.0f;
    float ratio = 3.0f;
    float releaseMs = 100.0f;
    int32_t attackSamples = 0;
    bool nonLinearRelease = false;
    float releaseExponent = 1.0f;  // 1 is a straight release

    float makeupDb = 0.0f;        // the manual makeup
    float autoMakeupDb = 0.0f;    // the makeup the curve alone asks for
    float makeupTargetDb = 0.0f;  // where the makeup smoother heads
    float mixTarget = 100.0f;     // where the Mix smoother heads, -100 .. 100

    bool bandFilter = false;  // the detector hears the band filter (on, not listening)
    bool softLimiter = false;
    bool adaptive = false;
    float adaptiveRelativeGain = 0.5f;
    float adaptiveRelativeAmount = 0.9f;
    bool autoGain = false;
    float autoGainAmount = 0.5f;
    bool maxMakeup = false;
};

// What the output stage reads for one block.
struct OutputSettings
{
    float mix = 100.0f;   // -100 .. 100
    bool listen = false;  // the band-filtered detector signal goes out instead
    bool tube = false;
    float classA = 0.0f;
    float classAB = 0.0f;
    float distort = 0.0f;
    int32_t tubeDcLength = 1024;
    bool hardLimiter = false;

    // Whether the tube runs at all: switched on with at least one curve above nothing.
    bool tubeRuns() const noexcept
    {
        return tube && ((double) classA > 0.0001 || (double) classAB > 0.0001 || (double) distort > 0.0001);
    }
};
