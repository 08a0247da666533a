// The output stage's channels side by side in vector lanes against each channel's own scalar
// path, on every instruction set this CPU can run, for channel counts and block sizes that
// leave partial vectors and tiles.

#include "SignalPathFixture.h"

#include "processor/common/DbConversion.h"
#include "processor/signal/Limiter.h"
#include "processor/signal/OutputStage.h"

#include <hwy/targets.h>

#include <limits>
#include <memory>
#include <random>

namespace
{
    template <typename Test>
    void onEveryInstructionSet (Test test)
    {
        for (const int64_t target : hwy::SupportedAndGeneratedTargets())
        {
            SCOPED_TRACE (hwy::TargetName (target));
            hwy::SetSupportedTargetsForTest (target);
            hwy::GetChosenTarget().Update (hwy::SupportedTargets());
            test();
        }
        hwy::SetSupportedTargetsForTest (0);
        hwy::GetChosenTarget().Update (hwy::SupportedTargets());
    }

    // Per channel: loud bursts over the ceiling (limiter engaged), quiet stretches (released),
    // silence, and a NaN and an infinity at a different place in each channel.
    std::vector<std::vector<float>> channelSignals (int channels, int length, unsigned seed)
    {
        std::mt19937 rng (seed);
        std::normal_distribution<float> noise (0.0f, 1.0f);
        std::vector<std::vector<float>> x ((size_t) channels, std::vector<float> ((size_t) length));
        for (int ch = 0; ch < channels; ++ch)
            for (int i = 0; i < length; ++i)
            {
                const int phase = ((i + 311 * ch) / 900) % 4;
                const float level = phase == 0 ? 0.9f : (phase == 1 ? 0.1f : (phase == 2 ? 0.4f : 0.0f));
                x[(size_t) ch][(size_t) i] = level * noise (rng);
            }
        for (int ch = 0; ch < channels; ++ch)
        {
            x[(size_t) ch][(size_t) ((97 * ch + 13) % length)] = std::numeric_limits<float>::quiet_NaN();
            x[(size_t) ch][(size_t) ((53 * ch + 400) % length)] = -std::numeric_limits<float>::infinity();
        }
        return x;
    }

    float largestDifference (const std::vector<std::vector<float>>& a, const std::vector<std::vector<float>>& b)
    {
        float worst = 0.0f;
        for (size_t ch = 0; ch < a.size(); ++ch)
            for (size_t i = 0; i < a[ch].size(); ++i)
            {
                const float d = std::abs (a[ch][i] - b[ch][i]);
                worst = std::isnan (d) ? INFINITY : std::max (worst, d);
            }
        return worst;
    }

    struct LaneCase
    {
        int channels;
        int blockSize;
        int window;
        int release;
    };

    constexpr LaneCase laneCases[] = {
        { 1, 512, 100, 2000 }, { 3, 7, 100, 2000 },   { 8, 512, 48, 960 },
        { 9, 100, 0, 10 },     { 28, 33, 240, 9600 }, { 9, 1, 5, 40 },
    };
}

TEST (OutputLanes, LimitersSideBySideMatchEachLimiterAlone)
{
    onEveryInstructionSet (
        []
        {
            for (const auto& c : laneCases)
            {
                SCOPED_TRACE (testing::Message() << c.channels << " channels, blocks of " << c.blockSize);
                const int length = 6000;
                auto alone = channelSignals (c.channels, length, 5u + (unsigned) c.channels);
                auto together = alone;
                std::vector<zolt_tools::Limiter> scalar ((size_t) c.channels), lanes ((size_t) c.channels);
                for (int ch = 0; ch < c.channels; ++ch)
                {
                    scalar[(size_t) ch].resize (c.release, c.window);
                    lanes[(size_t) ch].resize (c.release, c.window);
                }
                if (c.channels > 2)  // a limiter of another shape amid the others runs alone
                {
                    scalar[1].resize (c.release + 7, c.window);
                    lanes[1].resize (c.release + 7, c.window);
                }

                int hitsAlone = 0, hitsTogether = 0;
                for (int start = 0; start + c.blockSize <= length; start += c.blockSize)
                {
                    std::vector<zolt_tools::Limiter*> limiters;
                    std::vector<float*> blocks;
                    for (int ch = 0; ch < c.channels; ++ch)
                    {
                        scalar[(size_t) ch].process (alone[(size_t) ch].data() + start, c.blockSize);
                        hitsAlone += scalar[(size_t) ch].mHits;
                        limiters.push_back (&lanes[(size_t) ch]);
                        blocks.push_back (together[(size_t) ch].data() + start);
                    }
                    zolt_tools::Limiter::processLanes (limiters.data(), blocks.data(), c.channels, c.blockSize);
                    for (auto* l : limiters)
                        hitsTogether += l->mHits;
                }
                EXPECT_GT (hitsAlone, 0);
                EXPECT_EQ (hitsTogether, hitsAlone);
                EXPECT_LE (largestDifference (alone, together), 1e-6f);
                for (int ch = 0; ch < c.channels; ++ch)
                    EXPECT_EQ (lanes[(size_t) ch].gainQueueAt (c.window + 3), scalar[(size_t) ch].gainQueueAt (c.window + 3));
            }
        });
}

TEST (OutputLanes, ChannelsInOnePassMatchEachChannelRenderedAlone)
{
    struct Case
    {
        const char* name;
        bool tube;
        bool hardLimiter;
        float mix;
        float classA;
    };
    const Case cases[] = {
        { "tube, hard limiter, Mix 70", true, true, 70.0f, 0.5f },
        { "tube without class A, Mix -50", true, false, -50.0f, 0.0f },
        { "gains alone, hard limiter", false, true, 100.0f, 0.0f },
    };
    constexpr int channels = 9, n = 300, blocks = 12;
    onEveryInstructionSet (
        [&cases]
        {
            for (const auto& c : cases)
            {
                SCOPED_TRACE (c.name);
                OutputSettings settings;
                settings.mix = c.mix;
                settings.tube = c.tube;
                settings.classA = c.classA;
                settings.classAB = 0.5f;
                settings.distort = 0.5f;
                settings.tubeDcLength = 700;
                settings.hardLimiter = c.hardLimiter;

                // Two identical sets of states: one rendered a channel at a time, one in one pass.
                std::vector<channelComprStateT> states (2 * channels);
                auto histories = std::make_unique<TubeDcHistory[]> (2 * channels);
                RelaxedAtomic<float> peakAlone { -144.0f }, peakTogether { -144.0f };
                RelaxedAtomic<int32_t> clipsAlone { 0 }, clipsTogether { 0 };
                const auto input = channelSignals (channels, n * blocks, 21u);
                std::vector<std::vector<float>> alone (channels, std::vector<float> (n)), together = alone;

                for (int b = 0; b < blocks; ++b)
                {
                    const channelComprStateT* gains[channels];
                    channelComprStateT* own[channels];
                    TubeDcHistory* dc[channels];
                    const float* src[channels];
                    float* out[channels];
                    std::vector<std::vector<float>> clean (channels);
                    for (int ch = 0; ch < channels; ++ch)
                    {
                        clean[ch].assign (input[ch].begin() + b * n, input[ch].begin() + (b + 1) * n);
                        for (auto& v : clean[ch])
                            v = 2.0f * brisalto::dsp::finiteOrZero (v);  // the ring holds finite samples
                        for (int set = 0; set < 2; ++set)
                        {
                            auto& s = states[(size_t) (set * channels + ch)];
                            s.ensureBlockSize (n);
                            for (int i = 0; i < n; ++i)
                            {
                                s.mGrPerSampleDb[(size_t) i] = 0.02f * (float) ((i + 7 * ch + b) % 300);
                                s.mGainPerSample[(size_t) i] = std::pow (10.0f, -s.mGrPerSampleDb[(size_t) i] / 20.0f);
                                s.mMixPerSample[(size_t) i] = c.mix;
                            }
                        }
                        OutputStage::render ({ states[(size_t) ch], states[(size_t) ch], histories[(size_t) ch] }, settings,
                                             clean[ch].data(), clean[ch].data(), alone[ch].data(), n, { peakAlone, clipsAlone });
                        gains[ch] = own[ch] = &states[(size_t) (channels + ch)];
                        dc[ch] = &histories[(size_t) (channels + ch)];
                        src[ch] = clean[ch].data();
                        out[ch] = together[ch].data();
                    }
                    OutputStage::renderChannels ({ gains, own, dc, src, src, out, channels }, settings, n,
                                                 { peakTogether, clipsTogether });
                    EXPECT_LE (largestDifference (alone, together), 1e-6f) << "block " << b;
                }
                EXPECT_EQ ((float) peakTogether, (float) peakAlone);
                EXPECT_EQ ((int32_t) clipsTogether, (int32_t) clipsAlone);
            }
        });
}
