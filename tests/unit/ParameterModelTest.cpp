#include "common/ParameterExpectations.h"
#include "processor/PluginProcessor.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{
    using brisalto::test::parameterDefaults;
    using brisalto::test::parameterNames;

    struct ParameterModel : ::testing::Test
    {
        ScopedXdgFolders folders;
        BrisaltoAudioProcessor p;
    };
}

TEST_F (ParameterModel, TableAsHostsSeeIt)
{
    ASSERT_EQ (p.getNumParameters(), 30);
    for (int i = 0; i < 30; ++i)
    {
        EXPECT_EQ (p.getParameterName (i), juce::String (parameterNames[(size_t) i])) << i;
        EXPECT_FLOAT_EQ (p.getParameterDefaultValue (i), parameterDefaults[(size_t) i]) << i;
        EXPECT_FLOAT_EQ (p.getParameter (i), parameterDefaults[(size_t) i]) << i;
        const bool fixed = i == 4 || i == 8 || i == 13 || i == 23 || i == 24;
        EXPECT_EQ (p.isParameterAutomatable (i), ! fixed) << i;
    }

    EXPECT_EQ (p.getParameterName (30), "param_30");
    EXPECT_EQ (p.getParameterName (-1), "param_-1");
    EXPECT_EQ (p.getParameter (30), 0.0f);
    EXPECT_EQ (p.getParameterDefaultValue (-3), 0.0f);
    EXPECT_EQ (p.getParameterText (30), "");
    EXPECT_TRUE (p.isParameterAutomatable (99));

    // The text is the normalised value, not the display value.
    EXPECT_EQ (p.getParameterText (0), juce::String ((double) 0.72f));
}

TEST_F (ParameterModel, FreshInstanceDerivedValues)
{
    EXPECT_FLOAT_EQ (p.mThresholdDb, -14.0f);
    EXPECT_NEAR (p.mReleaseMs, 120.0f, 1e-3f);
    EXPECT_EQ (p.mAttackSamples.load(), 288);
    EXPECT_EQ (p.mLookaheadMs.load(), 340);
    EXPECT_EQ (p.mLookaheadBlocks.load(), 15);
    EXPECT_FLOAT_EQ (p.mRatio, 4.0f);
    EXPECT_FLOAT_EQ (p.mMakeupDb, 0.0f);
    // max (0, -3 - (1 - 1/4) * -14) = 7.5
    EXPECT_NEAR (p.mAutoMakeupDb, 7.5f, 1e-4f);
    EXPECT_EQ (p.mLimiterReleaseSamples.load(), 480);
    EXPECT_EQ (p.getLatencySamples(), 0);
    EXPECT_EQ (p.mUserPresetModified.load(), 0);
}

TEST_F (ParameterModel, DisplayToNormalisedConversions)
{
    EXPECT_NEAR (BrisaltoAudioProcessor::parameterValue2Plugin (Ratio, 4.0f), 0.35f, 1e-7f);
    EXPECT_NEAR (BrisaltoAudioProcessor::parameterValue2Plugin (Threshold, -14.0f), 0.72f, 1e-6f);
    EXPECT_EQ (BrisaltoAudioProcessor::parameterValue2Plugin (AutoGainMakeupOn, 1.0f), 1.0f);
    EXPECT_FLOAT_EQ (BrisaltoAudioProcessor::parameterValue2Plugin (Mix, -100.0f), 0.0f);
    EXPECT_FLOAT_EQ (BrisaltoAudioProcessor::parameterValue2Plugin (HardLimiterRelease, 10.0f), 0.05f);
    // No clamping on this path, and unknown indices pass through.
    EXPECT_FLOAT_EQ (BrisaltoAudioProcessor::parameterValue2Plugin (MakeupGain, 60.0f), 1.5f);
    EXPECT_FLOAT_EQ (BrisaltoAudioProcessor::parameterValue2Plugin (42, 3.5f), 3.5f);
}

TEST_F (ParameterModel, LookaheadBlocksAndLatency)
{
    p.setParameter (Lookahead, 0.0f);
    EXPECT_EQ (p.mLookaheadBlocks.load(), 0);

    p.setParameter (Lookahead, 0.01f);  // 10 ms is less than one 1024-sample block: still one block
    EXPECT_EQ (p.mLookaheadBlocks.load(), 1);

    p.setParameter (Lookahead, 0.34f);
    EXPECT_EQ (p.mLookaheadBlocks.load(), 15);
    EXPECT_EQ (p.getLatencySamples(), 0);  // the look-ahead switch is off

    p.setParameter (Adpative_Thresh_On, 1.0f);
    EXPECT_EQ (p.getLatencySamples(), 15360);
    p.setParameter (HardLimiterOn, 1.0f);
    EXPECT_EQ (p.getLatencySamples(), 15460);
    p.setParameter (Adpative_Thresh_On, 0.0f);
    EXPECT_EQ (p.getLatencySamples(), 100);
    p.setParameter (HardLimiterOn, 0.0f);
    EXPECT_EQ (p.getLatencySamples(), 0);
}

TEST_F (ParameterModel, PrepareToPlayRederivesFromRealRateAndBlockSize)
{
    p.setParameter (Adpative_Thresh_On, 1.0f);
    const int modifiedBefore = p.mUserPresetModified;
    const int changesBefore = p.mParamChangeCounter;

    p.prepareToPlay (44100.0, 512);
    EXPECT_EQ (p.mLookaheadBlocks.load(), 29);
    EXPECT_EQ (p.getLatencySamples(), 29 * 512);
    EXPECT_EQ (p.mAttackSamples.load(), (int) (0.12f * 50.0f * 44100.0f / 1000.0f));
    EXPECT_EQ (p.mLimiterReleaseSamples.load(), (int) (0.05f * 200.0f * 44100.0f / 1000.0f));

    // Quietly: a new rate is not a user change.
    EXPECT_EQ (p.mUserPresetModified.load(), modifiedBefore);
    EXPECT_EQ (p.mParamChangeCounter.load(), changesBefore);

    // Nonsense from the host leaves the last good values.
    p.prepareToPlay (0.0, 0);
    EXPECT_FLOAT_EQ (p.mSampleRate, 44100.0f);
    EXPECT_EQ (p.mBlocksize.load(), 512);
    p.prepareToPlay (std::numeric_limits<double>::quiet_NaN(), -7);
    EXPECT_FLOAT_EQ (p.mSampleRate, 44100.0f);
    EXPECT_EQ (p.mBlocksize.load(), 512);
}

TEST_F (ParameterModel, ExtremeRatesAndBlockSizesStayBounded)
{
    p.setParameter (Lookahead, 1.0f);
    p.setParameter (Attack, 1.0f);
    p.setParameter (HardLimiterRelease, 1.0f);
    p.setParameter (Adpative_Thresh_On, 1.0f);

    p.prepareToPlay (1.0e12, 1 << 30);
    EXPECT_GT (p.mSampleRate, 0.0f);
    EXPECT_LE (p.mSampleRate, 768000.0f);
    EXPECT_LE (p.mBlocksize.load(), 1 << 16);
    EXPECT_GE (p.mLookaheadBlocks.load(), 1);
    EXPECT_GE (p.getLatencySamples(), 0);
    EXPECT_GE (p.mLimiterReleaseSamples.load(), 0);
    EXPECT_LE (p.mLimiterReleaseSamples.load(), 200 * 768);

    p.prepareToPlay (1.0, 1);
    EXPECT_GE (p.mSampleRate, 8000.0f);
    EXPECT_GE (p.getLatencySamples(), 0);
}

TEST_F (ParameterModel, ValuesFromOutsideAreSanitised)
{
    p.setParameter (Threshold, std::numeric_limits<float>::quiet_NaN());
    EXPECT_FLOAT_EQ (p.getParameter (Threshold), 0.72f);
    EXPECT_FLOAT_EQ (p.mThresholdDb, -14.0f);

    p.setParameter (Release, std::numeric_limits<float>::infinity());
    EXPECT_FLOAT_EQ (p.getParameter (Release), 0.03f);

    p.setParameter (Ratio, 2.0f);
    EXPECT_FLOAT_EQ (p.getParameter (Ratio), 1.0f);
    EXPECT_FLOAT_EQ (p.mRatio, 10.5f);

    p.setParameter (Ratio, -5.0f);
    EXPECT_FLOAT_EQ (p.getParameter (Ratio), 0.0f);
    EXPECT_FLOAT_EQ (p.mRatio, 0.5f);  // never 0: 1 / ratio stays finite
    EXPECT_TRUE (std::isfinite (p.mAutoMakeupDb.load()));

    // Indices outside the table change nothing.
    const float before = p.getParameter (29);
    p.setParameter (30, 0.9f);
    p.setParameter (-1, 0.9f);
    EXPECT_FLOAT_EQ (p.getParameter (29), before);
}

TEST_F (ParameterModel, RatioKeepsAutomaticMakeupCurrent)
{
    p.setParameter (Ratio, 0.95f);  // ratio 10
    // max (0, -3 - (1 - 1/10) * -14) = 9.6
    EXPECT_NEAR (p.mAutoMakeupDb, 9.6f, 1e-4f);

    p.setParameter (MaxGainLevel, 0.0f);  // -30 dB ceiling: nothing to make up
    EXPECT_FLOAT_EQ (p.mAutoMakeupDb, 0.0f);
}

TEST_F (ParameterModel, SwitchesAndTimes)
{
    p.setParameter (AutoGainMakeupOn, 0.51f);
    EXPECT_EQ (p.mAutoGainOn.load(), 1);
    p.setParameter (AutoGainMakeupOn, 0.5f);
    EXPECT_EQ (p.mAutoGainOn.load(), 0);

    p.setParameter (MakeupGain, 1.0f);
    EXPECT_FLOAT_EQ (p.mMakeupDb, 30.0f);
    p.setParameter (Release, 1.0f);
    EXPECT_FLOAT_EQ (p.mReleaseMs, 4000.0f);
    p.setParameter (Attack, 0.0f);
    EXPECT_EQ (p.mAttackSamples.load(), 0);
}

TEST_F (ParameterModel, LimiterLengthsFollowTheRelease)
{
    const auto limiterOf = [this] (int k) -> const zolt_tools::Limiter& { return p.mChannelStates[(size_t) k].mLimiter; };

    p.prepareToPlay (48000.0, 1024);
    EXPECT_EQ (limiterOf (0).mReleaseSamples, 480);
    EXPECT_EQ (limiterOf (27).mWindow, 100);

    p.setParameter (HardLimiterRelease, 0.001f);  // 0.2 ms: 9 samples, shorter than the look-ahead
    p.prepareToPlay (48000.0, 1024);              // hands the change to the channel states
    EXPECT_EQ (limiterOf (5).mReleaseSamples, 9);
    EXPECT_EQ (limiterOf (5).mWindow, 9);

    p.setParameter (HardLimiterRelease, 0.0f);
    p.prepareToPlay (48000.0, 1024);
    EXPECT_EQ (limiterOf (27).mReleaseSamples, 0);
    EXPECT_EQ (limiterOf (27).mWindow, 0);
}

TEST_F (ParameterModel, ReleaseOrAttackRestartTheEnvelopes)
{
    for (auto& s : p.mChannelStates)
    {
        s.mReleaseStepDb = 0.5f;
        s.mReleaseCountdown = 12;
        s.mAttackStepDb = 0.25f;
    }

    p.setParameter (Release, p.getParameter (Release));  // even without a change of value
    p.prepareToPlay (48000.0, 1024);

    for (int k = 0; k < 28; ++k)
    {
        EXPECT_EQ (p.mChannelStates[(size_t) k].mReleaseStepDb, 0.0f) << k;
        EXPECT_EQ (p.mChannelStates[(size_t) k].mReleaseCountdown, 0) << k;
        EXPECT_EQ (p.mChannelStates[(size_t) k].mAttackStepDb, 0.0f) << k;
    }
}

TEST_F (ParameterModel, NotificationGate)
{
    ASSERT_EQ (p.mUserPresetModified.load(), 0);
    const int changes = p.mParamChangeCounter;
    const int gate = p.mParamNotifyGate;

    p.setParameter (Threshold, 0.5f);  // the first change after a preset marks it modified
    EXPECT_EQ (p.mUserPresetModified.load(), 1);
    EXPECT_EQ (p.mParamNotifyGate.load(), gate + 1);
    EXPECT_EQ (p.mParamChangeCounter.load(), changes + 1);

    // A bulk operation closes the gate: its changes are not counted.
    p.mParamNotifyGate = 0;
    p.setParameter (Threshold, 0.4f);
    p.setParameter (Release, 0.4f);
    EXPECT_EQ (p.mParamChangeCounter.load(), changes + 1);
    EXPECT_FLOAT_EQ (p.getParameter (Release), 0.4f);
}

TEST_F (ParameterModel, SetParameterValueTakesDisplayUnits)
{
    p.setParameterValue (Ratio, 4.0f, 0);
    EXPECT_NEAR (p.getParameter (Ratio), 0.35f, 1e-6f);
    EXPECT_NEAR (p.mRatio, 4.0f, 1e-5f);
    EXPECT_EQ (p.mCurrentProgram.load(), 0);

    p.setParameterValue (Threshold, -20.0f, 0);
    EXPECT_NEAR (p.getParameter (Threshold), 0.6f, 1e-6f);
    EXPECT_NEAR (p.mThresholdDb, -20.0f, 1e-4f);

    // Out of range display values end clamped; non-finite ones change nothing.
    p.setParameterValue (MakeupGain, 100.0f, 0);
    EXPECT_FLOAT_EQ (p.getParameter (MakeupGain), 1.0f);
    p.setParameterValue (MakeupGain, std::numeric_limits<float>::quiet_NaN(), 0);
    EXPECT_FLOAT_EQ (p.getParameter (MakeupGain), 1.0f);
}
