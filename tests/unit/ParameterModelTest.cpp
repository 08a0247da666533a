#include "processor/PluginProcessor.h"

#include <gtest/gtest.h>

TEST (ParameterModel, FreshInstanceDerivesDefaults)
{
    BrisaltoAudioProcessor p;
    EXPECT_EQ (p.getNumParameters(), 30);
    EXPECT_FLOAT_EQ (p.mThresholdDb, -14.0f);
}
