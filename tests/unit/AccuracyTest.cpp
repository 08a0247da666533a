// The block-at-a-time vector passes against the sample-by-sample reference: gain reduction
// within 0.001 dB, gains and saturated samples within 1e-6 of full scale (relative to the
// value where it exceeds full scale).

#include "ReferenceSignalPath.h"
#include "SignalPathFixture.h"

#include <random>

namespace
{
    // Noise and tone bursts between -24 and -8 dBFS, pauses, and now and then a peak over
    // full scale: a programme that attacks, releases and limits.
    std::vector<float> programme (int length, unsigned seed)
    {
        std::mt19937 rng (seed);
        std::normal_distribution<float> noise (0.0f, 1.0f);
        std::uniform_real_distribution<float> uni (0.0f, 1.0f);
        std::vector<float> x ((size_t) length, 0.0f);
        for (int i = 0; i < length;)
        {
            const int burst = 1000 + (int) (uni (rng) * 6000.0f);
            const bool tone = uni (rng) < 0.5f;
            const float level = 0.0631f * (1.0f + 2.5f * uni (rng));
            for (int k = 0; k < burst && i < length; ++k, ++i)
            {
                float v = tone ? level * 1.41f * (float) std::sin (0.03 * i) : level * noise (rng);
                if (uni (rng) < 0.001f)
                    v = (v < 0.0f ? -1.0f : 1.0f) * (1.0f + 0.5f * uni (rng));
                x[(size_t) i] = v;
            }
            i += (int) (uni (rng) * 2000.0f);
        }
        return x;
    }
}

TEST_F (SignalPathTest, VectorPassesStayWithinTheAccuracyContract)
{
    struct Case
    {
        const char* name;
        std::vector<std::pair<int, float>> settings;
        bool nonLinear = false;
        float exponent = 1.0f;
    };
    const Case cases[] = {
        { "instant attack", {} },
        { "6 ms attack, soft limiter, auto gain", { { Attack, 0.12f }, { SoftLimiterOn, 1.0f }, { AutoGainMakeupOn, 1.0f } } },
        { "non-linear release, 10:1, makeup", { { Attack, 0.04f }, { Ratio, 0.95f }, { MakeupGain, 0.7f } }, true, 2.2f },
        { "adaptive, max makeup", { { Adpative_Thresh_On, 1.0f }, { MaxMakeupOn, 1.0f }, { Attack, 0.02f } } },
        { "saturation, mix 70",
          { { Attack, 0.12f },
            { Tube_Distort_On, 1.0f },
            { TubeClassA_Amount, 0.5f },
            { TubeClassAB_Amount, 0.5f },
            { DistortAmount, 0.5f },
            { Mix, 0.85f } } },
        { "saturation, mix -50",
          { { Tube_Distort_On, 1.0f },
            { TubeClassA_Amount, 0.1f },
            { TubeClassAB_Amount, 0.9f },
            { DistortAmount, 1.0f },
            { Mix, 0.25f } } },
    };

    const int n = 512, blocks = 120;
    const auto x = programme (n * blocks, 5u);
    const auto sideX = programme (n * blocks, 6u);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        SetUp();
        for (auto [index, value] : c.settings)
            set (index, value);
        p->mAutoGainDb = 3.0f;
        auto& vector = state (0);
        auto& scalar = state (1);
        TubeDcHistory scalarHistory;

        float worstGrDb = 0.0f, worstGain = 0.0f, worstSample = 0.0f;
        std::vector<float> peaks ((size_t) n), out ((size_t) n), expected ((size_t) n);
        for (int b = 0; b < blocks; ++b)
        {
            const float* det = x.data() + b * n;
            for (int i = 0; i < n; ++i)
                peaks[(size_t) i] = sideX[(size_t) (b * n + i)] * sideX[(size_t) (b * n + i)];
            for (auto* s : { &vector, &scalar })
            {
                s->ensureBlockSize (n);
                s->mMakeupSmoother.setTargetValue (p->mDisplayValues[MakeupGain]);
                p->advanceMixRamp (*s, n);
            }
            p->runEnvelope (vector, det, peaks.data(), n, -20.0f, -30.0f, c.nonLinear, c.exponent);
            brisalto::reference::referenceEnvelope (*p, scalar, det, peaks.data(), n, -20.0f, -30.0f, c.nonLinear, c.exponent);

            for (int i = 0; i < n; ++i)
            {
                worstGrDb =
                    std::max (worstGrDb, std::abs (vector.mGrPerSampleDb[(size_t) i] - scalar.mGrPerSampleDb[(size_t) i]));
                worstGain = std::max (worstGain,
                                      std::abs (vector.mGainPerSample[(size_t) i] - scalar.mGainPerSample[(size_t) i])
                                          / std::max (1.0f, scalar.mGainPerSample[(size_t) i]));
            }

            // The output stage on the same gains.
            if (brisalto::reference::isOn (p->mParamSnapshot[Tube_Distort_On]))
            {
                p->applyTube (vector, 0, det, out.data(), n);
                brisalto::reference::referenceTube (*p, vector, scalarHistory, det, expected.data(), n);
                for (int i = 0; i < n; ++i)
                    worstSample = std::max (worstSample,
                                            std::abs (out[(size_t) i] - expected[(size_t) i])
                                                / std::max (1.0f, std::abs (expected[(size_t) i])));
            }
        }
        EXPECT_LE (worstGrDb, 1.0e-3f);
        EXPECT_LE (worstGain, 1.0e-6f);
        EXPECT_LE (worstSample, 1.0e-6f);
        std::printf ("  %-40s worst: reduction %.2e dB, gain %.2e, sample %.2e\n", c.name, worstGrDb, worstGain, worstSample);
    }
}
