#include "processor/common/LinearSmoother.h"

#include <gtest/gtest.h>

TEST (LinearSmoother, JumpsWithoutRampLengthAndGlidesAfterReset)
{
    LinearSmoother s;
    s.setTargetValue (6.0f);
    EXPECT_EQ (s.getNextValue(), 6.0f);

    s.reset (4);
    s.setTargetValue (2.0f);  // (2 - 6) / 4 per step, landing exactly on the target
    EXPECT_FLOAT_EQ (s.getNextValue(), 5.0f);
    EXPECT_FLOAT_EQ (s.getNextValue(), 4.0f);
    EXPECT_FLOAT_EQ (s.getNextValue(), 3.0f);
    EXPECT_EQ (s.getNextValue(), 2.0f);
    EXPECT_EQ (s.getNextValue(), 2.0f);
}

TEST (LinearSmoother, TargetsWithinOneEpsilonOfTheLargerMagnitudeChangeNothing)
{
    LinearSmoother s;
    s.reset (100);
    s.setTargetValue (100.0f);  // ramping from 0
    s.getNextValue();
    const float before = s.getCurrentValue();

    s.setTargetValue (100.0f + 1.0e-5f);  // within 1.19e-7 * 100: the ramp goes on unchanged
    EXPECT_FLOAT_EQ (s.getNextValue(), before + 1.0f);

    s.setTargetValue (100.1f);  // a real change restarts the ramp from where it is
    EXPECT_TRUE (s.isSmoothing());
    EXPECT_NEAR (s.getNextValue(), before + 1.0f + (100.1f - before - 1.0f) / 100.0f, 1e-4f);
}
