// The vector passes on every instruction set this CPU can run (not only the one chosen for it)
// against the scalar formulas, with block lengths that leave a partial vector.

#include "processor/common/BlockMath.h"
#include "processor/common/DbConversion.h"
#include "processor/common/SignalMath.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

TEST (BlockMath, EveryInstructionSetFollowsTheScalarFormulas)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::vector<float> x;
    for (int i = 0; i < 37; ++i)
        x.push_back ((i % 2 ? -1.0f : 1.0f) * std::pow (10.0f, -9.0f + 0.26f * (float) i));  // 1e-9 .. 4
    x[5] = 0.0f;
    x[6] = nan;
    x[7] = inf;

    const auto targets = hwy::SupportedAndGeneratedTargets();
    ASSERT_FALSE (targets.empty());
    for (const int64_t target : targets)
    {
        SCOPED_TRACE (hwy::TargetName (target));
        std::printf ("  instruction set %s\n", hwy::TargetName (target));
        hwy::SetSupportedTargetsForTest (target);
        hwy::GetChosenTarget().Update (hwy::SupportedTargets());

        for (const int n : { 37, 32, 1 })
        {
            std::vector<float> y ((size_t) n), z ((size_t) n);
            brisalto::dsp::block::magnitudesToDb (x.data(), y.data(), n);
            brisalto::dsp::block::powersToDb (x.data(), z.data(), n);
            for (int i = 0; i < n; ++i)
            {
                const float v = x[(size_t) i];
                if (std::isinf (v))
                    EXPECT_EQ (y[(size_t) i], inf);
                else
                    EXPECT_NEAR (y[(size_t) i], brisalto::dsp::toDb (std::abs (v)), 1e-4f) << v;
                EXPECT_NEAR (z[(size_t) i], 0.5f * brisalto::dsp::toDb (brisalto::dsp::finiteOrZero (v)), 1e-4f) << v;
            }

            std::vector<float> db ((size_t) n);
            for (int i = 0; i < n; ++i)
                db[(size_t) i] = -60.0f + 3.1f * (float) i;
            db[0] = 0.0f;
            brisalto::dsp::block::dbToGains (db.data(), y.data(), n);
            brisalto::dsp::block::tanhOf (x.data() + 8, z.data(), std::min (n, 29), 1.7f, 0.7f);
            EXPECT_EQ (y[0], 1.0f);
            for (int i = 0; i < n; ++i)
            {
                const float expected = std::pow (10.0f, db[(size_t) i] / 20.0f);
                EXPECT_NEAR (y[(size_t) i], expected, 1e-6f * expected);
            }
            for (int i = 0; i < std::min (n, 29); ++i)
                EXPECT_NEAR (z[(size_t) i], brisalto::dsp::tanh (1.7f * x[(size_t) i + 8] + 0.7f), 1e-6f);

            std::vector<float> m ((size_t) n);
            for (int i = 0; i < n; ++i)
                m[(size_t) i] = std::abs (brisalto::dsp::finiteOrZero (x[(size_t) i]));
            brisalto::dsp::block::powerOf (m.data(), y.data(), n, 0.75f);
            for (int i = 0; i < n; ++i)
            {
                const float expected = std::pow (m[(size_t) i], 0.75f);
                EXPECT_NEAR (y[(size_t) i], expected, 2e-6f * expected);
            }
        }

        // Three biquads (one lane group, partly used) against the same recursion in scalar.
        std::vector<float> a (37 * 3), b;
        for (size_t i = 0; i < a.size(); ++i)
            a[i] = (float) std::sin (0.37 * (double) i);
        b = a;
        const float coeffs[15] = { 0.2f,  0.4f,  0.2f,  -0.5f, 0.25f,  0.9f,  -1.8f, 0.9f,
                                   -1.7f, 0.75f, 0.01f, 0.0f,  -0.01f, -1.9f, 0.92f };
        float state[6] = { 0.1f, -0.1f, 0.0f, 0.0f, 0.3f, 0.2f }, expectedState[6];
        std::copy (state, state + 6, expectedState);
        float* blocks[3] = { a.data(), a.data() + 37, a.data() + 74 };
        brisalto::dsp::block::biquads (blocks, 3, 37, coeffs, state);
        for (int k = 0; k < 3; ++k)
        {
            const float* c = coeffs + 5 * k;
            float z1 = expectedState[2 * k], z2 = expectedState[2 * k + 1];
            for (int i = 0; i < 37; ++i)
            {
                const float in = b[(size_t) (37 * k + i)];
                const float out = c[0] * in + z1;
                z1 = c[1] * in - c[3] * out + z2;
                z2 = c[2] * in - c[4] * out;
                EXPECT_NEAR (a[(size_t) (37 * k + i)], out, 1e-5f) << k << " " << i;
            }
            EXPECT_NEAR (state[2 * k], z1, 1e-5f);
            EXPECT_NEAR (state[2 * k + 1], z2, 1e-5f);
        }
    }
    hwy::SetSupportedTargetsForTest (0);
    hwy::GetChosenTarget().Update (hwy::SupportedTargets());
}
