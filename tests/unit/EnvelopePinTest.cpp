// Behaviours of the detector that the other signal-path tests do not reach: every makeup
// variant, the soft limiter on the summed and side detectors, the adaptive threshold's window
// and the release that falls back to the attack length.

#include "SignalPathFixture.h"

#include <limits>

namespace
{
    constexpr float quiet = 0.01f;  // -40 dBFS: under every threshold used here
    constexpr float wantedAtRatio3 = 10.0f - 10.0f / 3.0f;

    // The automatic makeup of the fixture's curve: MaxGainLevel -3 dB, threshold -20 dB, 3:1.
    constexpr float autoMakeupDb = -3.0f + (1.0f - 1.0f / 3.0f) * 20.0f;

    // The adaptive relative makeup for a programme level (dB) at Adaptive_Relative_Gain 0.5.
    float relativeMakeup (float levelDb)
    {
        return levelDb < -10.0f ? 0.5f * 18.0f * ((-10.0f - std::max (-60.0f, levelDb)) / 20.0f) : 0.0f;
    }
}

TEST_F (SignalPathTest, EveryMakeupVariantGivesItsGain)
{
    struct Case
    {
        const char* name;
        bool adaptive, autoGain, maxMakeup;
        float levelDb;     // the (quiet) programme level
        float expectedDb;  // makeup with no reduction
    };
    const float manual = 6.0f, autoGain = 4.0f;
    const Case cases[] = {
        { "manual", false, false, false, -40.0f, manual },
        { "automatic", false, true, false, -40.0f, manual + autoGain },
        { "max makeup", false, false, true, -40.0f, autoMakeupDb },
        { "max makeup with automatic", false, true, true, -40.0f, manual + autoGain },
        { "max makeup, adaptive", true, false, true, -40.0f, autoMakeupDb * 0.5f + relativeMakeup (-40.0f) },
        { "max makeup, adaptive, automatic", true, true, true, -40.0f, autoMakeupDb * 0.5f },
        { "adaptive relative", true, false, false, -40.0f, manual + relativeMakeup (-40.0f) },
        { "adaptive relative, quieter", true, false, false, -55.0f, manual + relativeMakeup (-55.0f) },
        { "adaptive relative over -10 dB", true, false, false, -9.0f, manual },
        { "adaptive with automatic", true, true, false, -40.0f, manual + autoGain },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        SetUp();
        set (MakeupGain, 0.6f);  // +6 dB
        set (Adaptive_Relative_Gain, 0.5f);
        set (Adpative_Thresh_On, c.adaptive ? 1.0f : 0.0f);
        set (AutoGainMakeupOn, c.autoGain ? 1.0f : 0.0f);
        set (MaxMakeupOn, c.maxMakeup ? 1.0f : 0.0f);
        ASSERT_NEAR (p->mBlockAutoMakeupDb, autoMakeupDb, 1e-4f);
        p->mAutoGainDb = autoGain;

        // Silence in the block (no reduction), the programme level in the block's mean square.
        makeRing (1, 2, 256);
        putBlock (0, 0, constant (256, 0.0f));
        p->mRingBuffer[0].mMeanSquares[0] = std::pow (10.0f, c.levelDb / 10.0f);
        p->calc_gains (state (0), 0, 0, 256, 0);

        const auto& s = state (0);
        for (int i : { 0, 100, 255 })
        {
            ASSERT_EQ (s.mGrPerSampleDb[(size_t) i], 0.0f);
            EXPECT_NEAR (s.mGainPerSample[(size_t) i], dbToGain (c.expectedDb), 2e-4f * dbToGain (c.expectedDb)) << i;
        }
    }
}

TEST_F (SignalPathTest, SoftLimiterOnTheSummedDetectorHearsThePeakBlock)
{
    // Sum mode with two inputs: the summed detector is ring channel 2, the peak block
    // (squares of the loudest input) ring channel 3.
    p->mixMode = (int32_t) MixMode::sum;
    set (SoftLimiterOn, 1.0f);
    makeRing (1, 5, 64);
    putBlock (0, 2, constant (64, quiet));
    auto peaks = constant (64, quiet * quiet);
    peaks[10] = 2.0f;  // +3.01 dBFS
    peaks[20] = std::numeric_limits<float>::quiet_NaN();
    putBlock (0, 3, peaks);

    auto& shared = state (MAX_CHANNELS);
    p->calc_gains (shared, 0, 2, 64, 0);
    EXPECT_NEAR (shared.mGrPerSampleDb[10], 10.0f * std::log10 (2.0f), 1e-4f);
    EXPECT_EQ (shared.mGrPerSampleDb[9], 0.0f);
    EXPECT_LT (shared.mGrPerSampleDb[20], shared.mGrPerSampleDb[10]);  // releasing: the NaN is silence
    EXPECT_TRUE (std::isfinite (shared.mGainPerSample[20]));
    EXPECT_NEAR (shared.mGainPerSample[10], dbToGain (-10.0f * std::log10 (2.0f)), 1e-5f);

    // With one input the summed detector limits on its own level.
    SetUp();
    p->mixMode = (int32_t) MixMode::sum;
    p->mNrInChannels = 1;
    p->mNrTotalInChannels = 1;
    set (SoftLimiterOn, 1.0f);
    p->mBlockThresholdDb = 6.0f;
    makeRing (1, 4, 64);
    auto x = constant (64, quiet);
    x[10] = 1.4125376f;  // +3 dBFS
    putBlock (0, 1, x);
    putBlock (0, 2, peaks);  // ignored
    p->calc_gains (state (MAX_CHANNELS), 0, 1, 64, 0);
    EXPECT_NEAR (state (MAX_CHANNELS).mGrPerSampleDb[10], 3.0f, 1e-4f);
    EXPECT_EQ (state (MAX_CHANNELS).mGrPerSampleDb[9], 0.0f);
    EXPECT_LT (state (MAX_CHANNELS).mGrPerSampleDb[30], 3.0f);
}

TEST_F (SignalPathTest, SoftLimiterInSideModeFollowsTheMainInputsNotTheSideChain)
{
    // Two mains, one side-chain channel (ring channel 2, the side detector); the peak block
    // is ring channel nrTotal + 1 = 4.
    p->mixMode = (int32_t) MixMode::side;
    p->mNrTotalInChannels = 3;
    set (SoftLimiterOn, 1.0f);
    makeRing (1, 6, 64);

    auto main0 = constant (64, quiet), main1 = constant (64, quiet);
    main0[5] = 1.4125376f;    // +3 dBFS on the first main
    main1[40] = -1.9952623f;  // +6 dBFS on the second
    const auto side = constant (64, quiet);
    p->input_2_ringbuf (0, 0, main0.data(), 64);
    p->input_2_ringbuf (0, 1, main1.data(), 64);
    p->input_2_ringbuf (0, 2, side.data(), 64);

    auto& detector = state (2);
    p->calc_gains (detector, 0, 2, 64, 0);
    EXPECT_NEAR (detector.mGrPerSampleDb[5], 3.0f, 1e-3f);
    EXPECT_NEAR (detector.mGrPerSampleDb[40], 6.0f, 1e-3f);
    EXPECT_EQ (detector.mGrPerSampleDb[4], 0.0f);
    EXPECT_LT (detector.mGrPerSampleDb[20], 3.0f);
    EXPECT_NEAR (detector.mGainPerSample[40] * 1.9952623f, 1.0f, 1e-4f);
}

TEST_F (SignalPathTest, AdaptiveThresholdAveragesItsWindowOfBlocks)
{
    // Without look-ahead the window is the 50 newest blocks; with look-ahead L it is the L
    // newest blocks and the L blocks ahead.
    struct Case
    {
        int lookahead;
        int window;
    };
    for (auto c : { Case { 0, 50 }, Case { 2, 2 }, Case { 5, 5 } })
    {
        SCOPED_TRACE (c.lookahead);
        SetUp();
        set (Adpative_Thresh_On, 1.0f);
        const float amount = p->mParams[Adaptive_Relative_Amount];
        const int elements = c.lookahead + 1;
        makeRing (elements, 2, 64);

        const float loudMs = 0.01f, quietMs = 1.0e-4f;  // -20 and -40 dB
        const auto runWith = [&] (float ms)
        {
            for (int e = 1; e < elements; ++e)
                p->mRingBuffer[(size_t) e].mMeanSquares[0] = quietMs;
            p->mRingBuffer[0].mMeanSquares[0] = ms;
            p->calc_gains (state (0), 0, 0, 64, c.lookahead);
        };

        runWith (loudMs);
        for (int b = 1; b < c.window; ++b)
            runWith (quietMs);
        // Still in the window: one loud block among window - 1 quiet ones (and those ahead).
        const int count = c.window + c.lookahead;
        const float mean = (loudMs + (float) (count - 1) * quietMs) / (float) count;
        const float withLoud = 10.0f * std::log10 (mean);
        EXPECT_NEAR (state (0).mAdaptiveThresholdDb, -20.0f - (-20.0f - withLoud) * amount, 2e-3f);

        runWith (quietMs);  // the loud block leaves the window
        EXPECT_NEAR (state (0).mAdaptiveThresholdDb, -20.0f - 20.0f * amount, 2e-3f);
    }
}

TEST_F (SignalPathTest, ReleaseZeroFallsBackToTheAttackLength)
{
    struct Case
    {
        float attack;
        int releaseSamples;
    };
    for (auto c : { Case { 0.02f, 48 }, Case { 0.1f, 240 }, Case { 0.0f, 1 } })
    {
        SCOPED_TRACE (c.releaseSamples);
        SetUp();
        set (Attack, c.attack);
        set (Release, 0.0f);
        ASSERT_EQ (p->mBlockReleaseMs, 0.0f);
        makeRing (1, 2, 512);
        state (0).mGrDb = wantedAtRatio3;  // at rest on the static curve, nothing running
        runDetector (constant (512, 0.0f));

        const auto& gr = state (0).mGrPerSampleDb;
        const float step = wantedAtRatio3 / (float) c.releaseSamples;
        for (int k = 0; k + 1 < c.releaseSamples; ++k)
            ASSERT_NEAR (gr[(size_t) k], wantedAtRatio3 - (float) (k + 1) * step, 1e-3f) << k;
        EXPECT_EQ (gr[(size_t) c.releaseSamples], 0.0f);
        EXPECT_EQ (gr[511], 0.0f);
    }

    // A release that is not 0 does not fall back.
    SetUp();
    set (Attack, 0.02f);
    makeRing (1, 2, 512);
    state (0).mGrDb = wantedAtRatio3;
    runDetector (constant (512, 0.0f));
    EXPECT_NEAR (state (0).mGrPerSampleDb[99], wantedAtRatio3 * (1.0f - 100.0f / 4800.0f), 1e-3f);
    EXPECT_NEAR (state (0).mGrPerSampleDb[0] - state (0).mGrPerSampleDb[1], wantedAtRatio3 / 4800.0f, 1e-5f);
}
