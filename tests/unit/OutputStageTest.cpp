#include "SignalPathFixture.h"

namespace
{
    constexpr float minus1Db = 0.8912509f;
}

class OutputStageTest : public SignalPathTest
{
protected:
    // Detector and output of channel `ch` for one block; the detector state is `stateIndex`.
    std::vector<float> render (const std::vector<float>& x, int ch = 0, int stateIndex = 0, bool runDetector = true)
    {
        putBlock (0, ch, x);
        if (runDetector)
            p->calc_gains (state (stateIndex), 0, ch, blockSize, 0);
        std::vector<float> out ((size_t) blockSize, -7.0f);
        p->apply_gain_to_ringbuf (state (stateIndex), 0, ch, out.data(), blockSize);
        return out;
    }

    // Gains fixed by hand instead of the detector: gain g (and its reduction) on every sample.
    std::vector<float> renderWithGain (const std::vector<float>& x, float grDb, int ch = 0)
    {
        putBlock (0, ch, x);
        auto& s = state (ch);
        p->calc_gains (s, 0, ch, blockSize, 0);  // advances the Mix ramp
        std::fill (s.mGrPerSampleDb.begin(), s.mGrPerSampleDb.end(), grDb);
        std::fill (s.mGainPerSample.begin(), s.mGainPerSample.end(), dbToGain (-grDb));
        std::vector<float> out ((size_t) blockSize, -7.0f);
        p->apply_gain_to_ringbuf (s, 0, ch, out.data(), blockSize);
        return out;
    }
};

TEST_F (OutputStageTest, MixAtItsCornerValues)
{
    makeRing (1, 2, 64);
    const auto x = sine (64, 0.05f, 1000.0);  // under the threshold: the detector leaves it alone
    const float gr = 6.0f, g = dbToGain (-6.0f);

    set (Mix, 1.0f);  // +100: wet only
    auto out = renderWithGain (x, gr);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ (out[(size_t) i], x[(size_t) i] * g);

    set (Mix, 0.5f);  // 0: dry
    out = renderWithGain (x, gr);
    for (int i = 0; i < 64; ++i)
        EXPECT_FLOAT_EQ (out[(size_t) i], x[(size_t) i]);

    set (Mix, 0.75f);  // 50
    out = renderWithGain (x, gr);
    for (int i = 0; i < 64; ++i)
        EXPECT_NEAR (out[(size_t) i], (g * 0.5f + 0.5f) * x[(size_t) i], 1e-7f);

    set (Mix, 0.0f);  // -100: silence without reduction, reduction alone with it
    out = renderWithGain (x, 0.0f);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ (out[(size_t) i], 0.0f);
    out = renderWithGain (x, gr);
    for (int i = 0; i < 64; ++i)
        EXPECT_NEAR (out[(size_t) i], (1.0f - dbToGain (gr)) * x[(size_t) i], 1e-7f);  // inverted, boosted
}

TEST_F (OutputStageTest, SharedDetectorGivesEveryChannelTheSameMixRamp)
{
    p->mixMode = (int32_t) MixMode::sum;
    makeRing (1, 4, 480);
    state (2).reset();  // 4800-sample ramps
    set (Mix, 0.75f);   // glide from 0 towards 50
    const auto x = constant (480, 0.05f);
    putBlock (0, 0, x);
    putBlock (0, 1, x);
    putBlock (0, 2, x);
    p->calc_gains (state (2), 0, 2, 480, 0);
    std::vector<float> left (480), right (480);
    p->apply_gain_to_ringbuf (state (2), 0, 0, left.data(), 480);
    p->apply_gain_to_ringbuf (state (2), 0, 1, right.data(), 480);
    EXPECT_EQ (left, right);
    // 480 of the 4800 steps from 0 to 50: m ends at 0.05; gain 1 here, so the output is x.
    EXPECT_NEAR (state (2).mMixPerSample[479], 5.0f, 1e-3f);
}

TEST_F (OutputStageTest, MixAtExactly100KeepsTheRampInStep)
{
    makeRing (1, 2, 480);
    state (0).reset();
    const auto x = constant (480, 0.05f);
    set (Mix, 0.75f);
    for (int b = 0; b < 10; ++b)  // the whole ramp to 50
        render (x);
    set (Mix, 1.0f);
    for (int b = 0; b < 10; ++b)  // the whole ramp to 100, on the wet-only path
        render (x);
    set (Mix, 0.5f);  // now towards 0: the ramp starts from 100, not from 50
    render (x);
    EXPECT_NEAR (state (0).mMixPerSample[0], 100.0f - 100.0f / 4800.0f, 1e-3f);
}

TEST_F (OutputStageTest, SaturationCurvesPassTheirReferencePoints)
{
    makeRing (1, 2, 8);
    set (Threshold, 1.0f);  // no reduction: the curves alone
    set (Tube_Distort_On, 1.0f);

    // Class A: 0.125 maps to 0.125 / 10^(-1/20) whatever the amount (full amount: the curve).
    set (TubeClassA_Amount, 1.0f);
    auto out = render (constant (8, 0.125f));
    EXPECT_NEAR (out[0], 0.125f / minus1Db, 1e-5f);
    set (TubeClassA_Amount, 0.5f);
    p->mTubeDcHistory[0] = TubeDcHistory();
    out = render (constant (8, 0.125f));
    EXPECT_NEAR (out[0], 0.125f + 0.5f * (0.125f / minus1Db - 0.125f), 1e-5f);
    // Asymmetric: the negative half is bent differently.
    p->mTubeDcHistory[0] = TubeDcHistory();
    out = render (constant (8, -0.125f));
    EXPECT_GT (std::abs (std::abs (out[0]) - 0.125f / minus1Db), 1e-3f);

    // Class AB: 0.25 maps to 0.25 / 10^(-1/20); symmetric.
    set (TubeClassA_Amount, 0.0f);
    set (TubeClassAB_Amount, 1.0f);
    out = render (constant (8, 0.25f));
    EXPECT_NEAR (out[0], 0.25f / minus1Db, 1e-5f);
    out = render (constant (8, -0.25f));
    EXPECT_NEAR (out[0], -0.25f / minus1Db, 1e-5f);

    // Power law at full amount: exponent 0.5, divisor 1.13, weight 4.
    set (TubeClassAB_Amount, 0.0f);
    set (DistortAmount, 1.0f);
    out = render (constant (8, 0.25f));
    EXPECT_NEAR (out[0], 0.25f + 4.0f * (0.5f / 1.13f - 0.25f), 1e-5f);
    out = render (constant (8, -0.25f));
    EXPECT_NEAR (out[0], -0.25f - 4.0f * (0.5f / 1.13f - 0.25f), 1e-5f);

    // All amounts at 0.0001 or less: the plain mix path.
    set (DistortAmount, 0.0001f);
    out = render (constant (8, 0.25f));
    EXPECT_EQ (out[0], 0.25f);
}

TEST_F (OutputStageTest, ClassADcRemovalIsExactWhenTheBlockSizeDoesNotDivideItsLength)
{
    makeRing (1, 2, 500);
    set (Threshold, 1.0f);
    set (Tube_Distort_On, 1.0f);
    set (TubeClassA_Amount, 1.0f);
    // A constant input: once 1024 values are held, the moving average removes the whole offset.
    const float y = 0.1f;
    const float kA = (std::tanh (1.7f) - 0.6043678f) * minus1Db;
    const float curve = (std::tanh (8.0f * y + 0.7f) - 0.6043678f) / (8.0f * kA);
    auto out = render (constant (500, y));
    EXPECT_NEAR (out[0], curve, 1e-5f);
    out = render (constant (500, y));
    EXPECT_NEAR (out[499], curve, 1e-5f);  // sample 999: still filling
    out = render (constant (500, y));      // samples 1000..1499: the history fills at 1023
    EXPECT_NEAR (out[23], curve, 1e-5f);
    EXPECT_NEAR (out[30], y, 1e-5f);
    EXPECT_NEAR (out[499], y, 1e-5f);
}

TEST_F (OutputStageTest, ListenOutputsTheFilteredInputWithoutGain)
{
    makeRing (1, 2, 256);
    set (BPFilterOn, 1.0f);
    set (BPFilterListenOn, 1.0f);
    float coeffs[5];
    p->mDetectorFilter.read (coeffs, true);
    state (0).handOverFilterCoeffs (coeffs);

    channelComprStateT probe;
    probe.handOverFilterCoeffs (coeffs);
    auto expected = sine (256, 0.9f, 3000.0);  // loud: a gain would show
    const auto x = expected;
    probe.runFilter (expected.data(), 256);

    const auto out = render (x);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ (out[(size_t) i], expected[(size_t) i]);
}

TEST_F (OutputStageTest, HardLimiterDelaysLimitsAndStartsEmptyWhenSwitchedOn)
{
    makeRing (1, 2, 256);
    set (Ratio, 0.05f);  // 1:1, the compressor leaves the level alone
    set (HardLimiterOn, 1.0f);
    auto x = constant (256, 0.5f);
    x[10] = 1.5f;
    auto out = render (x);
    // w = 100 (release 480): everything leaves 100 samples later, the loud sample at the ceiling.
    EXPECT_EQ (out[50], 0.0f);
    EXPECT_NEAR (out[110], 0.985f * dbToGain (-0.1f), 1e-5f);
    EXPECT_EQ (state (0).mLimiter.mHits, 1);

    set (HardLimiterOn, 0.0f);
    out = render (constant (256, 0.3f));
    EXPECT_FLOAT_EQ (out[0], 0.3f);  // off: no delay

    set (HardLimiterOn, 1.0f);
    out = render (constant (256, 0.2f));
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ (out[(size_t) i], 0.0f) << i;  // no stale audio from before it was off
    EXPECT_FLOAT_EQ (out[100], 0.2f);
}

TEST_F (OutputStageTest, PeakAndClipMeters)
{
    makeRing (1, 2, 64);
    set (Ratio, 0.05f);
    p->mOutputPeakDb = -144.0f;
    p->mClipCount = 0;
    render (constant (64, 0.5f));
    EXPECT_NEAR (p->mOutputPeakDb, 20.0f * std::log10 (0.5f), 1e-4f);
    EXPECT_EQ (p->mClipCount, 0);

    auto x = constant (64, 0.5f);
    x[3] = -1.2f;
    render (x);
    EXPECT_NEAR (p->mOutputPeakDb, 20.0f * std::log10 (1.2f), 1e-4f);
    EXPECT_EQ (p->mClipCount, 1);
    render (constant (64, 0.1f));  // the held peak is still above 0 dBFS
    EXPECT_EQ (p->mClipCount, 2);
}

TEST_F (OutputStageTest, NothingIsWrittenWithoutGainsForTheBlock)
{
    makeRing (1, 2, 64);
    std::vector<float> out (64, -7.0f);
    channelComprStateT fresh;
    p->apply_gain_to_ringbuf (fresh, 0, 0, out.data(), 64);
    EXPECT_EQ (out[0], -7.0f);
}
