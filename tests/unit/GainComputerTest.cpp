#include "SignalPathFixture.h"

#include <limits>

namespace
{
    constexpr float tenDbUnder = 0.31622777f;  // -10 dBFS: 10 dB over the -20 dB threshold
    constexpr float wantedAtRatio3 = 10.0f - 10.0f / 3.0f;
}

TEST_F (SignalPathTest, AttackRampsToTheStaticCurveThenHoldsIt)
{
    set (Attack, 0.02f);  // 1 ms = 48 samples
    ASSERT_EQ (p->mBlockAttackSamples, 48);
    makeRing (1, 2, 512);
    runDetector (constant (512, tenDbUnder));

    const auto& s = state (0);
    const float step = wantedAtRatio3 / 48.0f;  // the target divided by the attack length
    EXPECT_FLOAT_EQ (s.mGrPerSampleDb[0], 0.0f);
    EXPECT_NEAR (s.mGrPerSampleDb[24], 24.0f * step, 1e-4f);
    EXPECT_NEAR (s.mGrPerSampleDb[47], 47.0f * step, 1e-3f);
    EXPECT_NEAR (s.mGainPerSample[24], dbToGain (-24.0f * step), 1e-5f);

    // After the attack: the target, alternating with one release step below it.
    const float releaseStep = wantedAtRatio3 / 4800.0f;
    for (int i = 60; i < 512; ++i)
    {
        const float gr = s.mGrPerSampleDb[(size_t) i];
        EXPECT_TRUE (std::abs (gr - wantedAtRatio3) < 1e-4f || std::abs (gr - (wantedAtRatio3 - releaseStep)) < 1e-4f)
            << i << " " << gr;
    }
    EXPECT_NEAR (s.mBlockMaxGrDb, wantedAtRatio3, 1e-4f);
}

TEST_F (SignalPathTest, ZeroAttackJumpsAndLinearReleaseFallsBackOverTheReleaseTime)
{
    makeRing (1, 2, 4800);
    auto x = constant (4800, tenDbUnder);
    runDetector (x);
    EXPECT_NEAR (state (0).mGrPerSampleDb[0], wantedAtRatio3, 1e-4f);
    EXPECT_NEAR (state (0).mGainPerSample[100], dbToGain (-wantedAtRatio3), 1e-5f);

    runDetector (constant (4800, 0.0f));
    const auto& gr = state (0).mGrPerSampleDb;
    const float step = wantedAtRatio3 / 4800.0f;  // 100 ms at 48 kHz
    EXPECT_NEAR (gr[0], wantedAtRatio3 - step, 1e-4f);
    EXPECT_NEAR (gr[2399], wantedAtRatio3 * 0.5f, 2e-3f);
    EXPECT_EQ (gr[4799], 0.0f);  // ends once 0.01 dB or less is left
}

TEST_F (SignalPathTest, NonLinearReleaseFollowsItsCurve)
{
    struct Case
    {
        float amount;
        float exponent;
    };
    for (auto c : { Case { 1.0f, 3.0f }, Case { 0.5f, 1.0f }, Case { 0.0f, 0.2f } })
    {
        SCOPED_TRACE (c.amount);
        SetUp();
        set (Non_Lin_Release_On, 1.0f);
        set (Non_Lin_Release_Amount, c.amount);
        makeRing (1, 2, 4800);
        state (0).mGrDb = wantedAtRatio3;  // at rest at the static curve, nothing running
        runDetector (constant (4800, 0.0f));
        const auto& gr = state (0).mGrPerSampleDb;
        EXPECT_FLOAT_EQ (gr[0], wantedAtRatio3);
        // k samples into the release of R = 4800 samples: start * (1 - (k/R)^e)
        for (int k : { 1200, 2400, 3600 })
            EXPECT_NEAR (gr[(size_t) k], wantedAtRatio3 * (1.0f - std::pow ((float) k / 4800.0f, c.exponent)), 2e-3f) << k;
    }
}

TEST_F (SignalPathTest, LongNonLinearReleaseKeepsMoving)
{
    // 4 s release: a small reduction gives a per-sample step below the "running" mark.
    set (Release, 1.0f);
    set (Non_Lin_Release_On, 1.0f);
    set (Non_Lin_Release_Amount, 0.5f);
    makeRing (1, 2, 512);
    state (0).mGrDb = 0.015f;
    for (int b = 0; b < 200; ++b)  // 102400 samples; the curve reaches 0.01 dB after 64000
        runDetector (constant (512, 0.0f));
    EXPECT_EQ (state (0).mGrDb, 0.0f);
}

TEST_F (SignalPathTest, MakeupJumpsBeforeResetAndGlidesAfter)
{
    makeRing (1, 2, 4800);
    set (MakeupGain, 0.6f);  // +6 dB
    runDetector (constant (4800, 0.001f));
    EXPECT_NEAR (state (0).mGainPerSample[0], dbToGain (6.0f), 1e-4f);

    SetUp();
    makeRing (1, 2, 4800);
    state (0).reset();  // 4800-sample ramps from now on
    set (MakeupGain, 0.6f);
    runDetector (constant (4800, 0.001f));
    EXPECT_NEAR (state (0).mGainPerSample[2399], dbToGain (3.0f), 1e-3f);
    EXPECT_NEAR (state (0).mGainPerSample[4799], dbToGain (6.0f), 1e-4f);
}

TEST_F (SignalPathTest, AutoGainMakesUpTheAverageReduction)
{
    makeRing (1, 2, 512);
    set (AutoGainMakeupOn, 1.0f);
    runDetector (constant (512, 0.001f));  // nothing over the threshold
    EXPECT_EQ (p->mAutoGainDb, 0.0f);

    runDetector (constant (512, tenDbUnder));
    // One block averaging 6.67 dB: at AutoGainAmount 0.5 exactly that.
    EXPECT_NEAR (p->mAutoGainDb, wantedAtRatio3, 1e-3f);
    set (AutoGainAmount, 1.0f);
    runDetector (constant (512, tenDbUnder));
    EXPECT_NEAR (p->mAutoGainDb, 2.0f * wantedAtRatio3, 2e-3f);

    // The next block applies it as makeup.
    EXPECT_NEAR (state (0).mGainPerSample[10], dbToGain (-wantedAtRatio3 + wantedAtRatio3), 1e-3f);
}

TEST_F (SignalPathTest, SoftLimiterHoldsLevelPlusMakeupAtZeroDb)
{
    set (Threshold, 1.0f);  // 0 dB
    set (SoftLimiterOn, 1.0f);
    p->mBlockThresholdDb = 6.0f;  // even above the sample level
    makeRing (1, 2, 64);
    auto x = constant (64, 0.0f);
    x[10] = 1.4125376f;  // +3 dBFS
    runDetector (x);
    EXPECT_NEAR (state (0).mGrPerSampleDb[10], 3.0f, 1e-4f);
    EXPECT_NEAR (x[10] * state (0).mGainPerSample[10], 1.0f, 1e-4f);
}

TEST_F (SignalPathTest, SoftLimiterWithStrongAutoGainStaysBounded)
{
    set (SoftLimiterOn, 1.0f);
    set (AutoGainMakeupOn, 1.0f);
    set (AutoGainAmount, 1.0f);
    makeRing (1, 2, 512);
    for (int b = 0; b < 2000; ++b)
    {
        runDetector (sine (512, 0.9f, 440.0, 48000.0, b * 512));
        ASSERT_TRUE (std::isfinite (p->mAutoGainDb));
        ASSERT_TRUE (std::isfinite (state (0).mGrDb));
    }
    EXPECT_LE (p->mAutoGainDb, 30.0f);
    for (int i = 0; i < 512; ++i)
        ASSERT_TRUE (std::isfinite (state (0).mGainPerSample[(size_t) i]));
}

TEST_F (SignalPathTest, AdaptiveThresholdMovesTowardsTheProgrammeLevel)
{
    set (Adpative_Thresh_On, 1.0f);
    set (Threshold, 0.72f);  // -14 dB
    makeRing (3, 2, 256);

    // Silence: a state that never adapted keeps 0 dB.
    p->calc_gains (state (0), 0, 0, 256, 2);
    EXPECT_EQ (state (0).mAdaptiveThresholdDb, 0.0f);

    // -20 dB RMS in the analysed block and the two blocks ahead of it.
    const float rms = 0.1f;
    for (int e = 0; e < 3; ++e)
        putBlock (e, 0, constant (256, rms));
    p->calc_gains (state (0), 0, 0, 256, 2);
    const float amount = p->mParams[Adaptive_Relative_Amount];  // the live value, 0.9
    EXPECT_NEAR (state (0).mAdaptiveThresholdDb, -14.0f - (-14.0f + 20.0f) * amount, 1e-3f);

    // Silence again keeps the last adapted threshold.
    for (int e = 0; e < 3; ++e)
        putBlock (e, 0, constant (256, 0.0f));
    state (0).mLevelHistory.fill (0.0f);
    p->calc_gains (state (0), 0, 0, 256, 2);
    EXPECT_NEAR (state (0).mAdaptiveThresholdDb, -14.0f - 6.0f * amount, 1e-3f);
}

TEST_F (SignalPathTest, NonFiniteDetectorInputLeavesTheStateUsable)
{
    makeRing (1, 2, 256);
    auto x = constant (256, tenDbUnder);
    x[3] = std::numeric_limits<float>::quiet_NaN();
    x[4] = std::numeric_limits<float>::infinity();
    p->input_2_ringbuf (0, 0, x.data(), 256);
    EXPECT_EQ (p->mRingBuffer[0].mSamples[3], 0.0f);
    EXPECT_TRUE (std::isfinite (p->mRingBuffer[0].mMeanSquares[0]));
    p->calc_gains (state (0), 0, 0, 256, 0);

    // A corrupted mean square from elsewhere does not reach the histories either.
    p->mRingBuffer[0].mMeanSquares[0] = std::numeric_limits<float>::quiet_NaN();
    p->calc_gains (state (0), 0, 0, 256, 0);
    for (int i = 0; i < state (0).mLevelHistory.size(); ++i)
        ASSERT_TRUE (std::isfinite (state (0).mLevelHistory[i]));

    runDetector (constant (256, tenDbUnder));
    EXPECT_NEAR (state (0).mGrPerSampleDb[255], wantedAtRatio3, 1e-3f);
}

TEST_F (SignalPathTest, OutOfRangeRingAccessIsIgnored)
{
    makeRing (1, 2, 256);
    p->mRingBuffer[0].mMeanSquares.resize (1);  // an element not grown for this channel count
    p->calc_gains (state (1), 0, 1, 256, 3);    // mean square past the end, look-ahead past the ring
    p->calc_gains (state (0), 5, 0, 256, 0);    // element past the ring
    p->calc_gains (state (0), 0, 7, 256, 0);    // channel block past the samples
    std::vector<float> x (256, 0.5f);
    p->input_2_ringbuf (0, 9, x.data(), 256);
    p->input_2_ringbuf (3, 0, x.data(), 256);
    p->input_2_ringbuf (0, 0, nullptr, 256);
    EXPECT_EQ (state (0).mGrDb, 0.0f);
    EXPECT_GE (state (0).mGainPerSample.size(), 256u);
}
