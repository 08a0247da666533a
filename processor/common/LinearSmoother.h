#pragma once

#include <cmath>
#include <algorithm>
#include <limits>

// A linear ramp towards a target, one step per sample. A new target that is approximately
// equal to the present one changes nothing; without a ramp length the value jumps.
class LinearSmoother
{
public:
    void reset (int rampLengthSamples) noexcept
    {
        rampLength = rampLengthSamples;
        current = target;
        countdown = 0;
    }

    void setTargetValue (float newTarget) noexcept
    {
        if (approximatelyEqual (newTarget, target))
            return;

        if (rampLength <= 0)
        {
            current = target = newTarget;
            countdown = 0;
            return;
        }

        target = newTarget;
        countdown = rampLength;
        step = (target - current) / (float) rampLength;
    }

    float getNextValue() noexcept
    {
        if (countdown <= 0)
            return target;

        --countdown;
        current = countdown > 0 ? current + step : target;
        return current;
    }

    // Advances by n samples at once, as n calls of getNextValue would.
    void skip (int n) noexcept
    {
        for (int i = 0; i < n && countdown > 0; ++i)
            getNextValue();
    }

    bool isSmoothing() const noexcept { return countdown > 0; }
    float getCurrentValue() const noexcept { return current; }
    float getTargetValue() const noexcept { return target; }

private:
    static bool approximatelyEqual (float a, float b) noexcept
    {
        const auto diff = std::abs (a - b);
        return diff <= std::numeric_limits<float>::min()
            || diff <= std::numeric_limits<float>::epsilon() * std::max (std::abs (a), std::abs (b));
    }

    float current = 0.0f, target = 0.0f, step = 0.0f;
    int countdown = 0, rampLength = 0;
};
