// The signal path's stages driven directly, each with nothing but its settings struct and the
// channel states: against the scalar reference, and against each other where two paths must agree.

#include "ReferenceSignalPath.h"
#include "SignalPathFixture.h"

#include "processor/signal/AdaptiveThreshold.h"
#include "processor/signal/Envelope.h"
#include "processor/signal/GainComputer.h"

#include <hwy/targets.h>

#include <cstdio>
#include <memory>
#include <random>

namespace
{
    // Noise bursts at two levels with pauses: attacks, releases and soft-limiter peaks.
    std::vector<float> bursts (int length, unsigned seed)
    {
        std::mt19937 rng (seed);
        std::normal_distribution<float> noise (0.0f, 1.0f);
        std::vector<float> x ((size_t) length, 0.0f);
        for (int i = 0; i < length; ++i)
        {
            const int phase = (i / 3000) % 3;
            x[(size_t) i] = phase == 2 ? 0.0f : (phase == 0 ? 0.5f : 0.05f) * noise (rng);
        }
        return x;
    }

    // The reference reads the processor's per-block copies: give it the values of the settings.
    void mirror (BrisaltoAudioProcessor& p, const DetectorSettings& s, float autoGainDb)
    {
        const auto flag = [] (bool on) { return on ? 1.0f : 0.0f; };
        p.mSampleRate = s.sampleRate;
        p.mBlockRatio = s.ratio;
        p.mBlockReleaseMs = s.releaseMs;
        p.mBlockMakeupDb = s.makeupDb;
        p.mBlockAutoMakeupDb = s.autoMakeupDb;
        p.mAutoGainDb = autoGainDb;
        p.mParamSnapshot[Adpative_Thresh_On] = flag (s.adaptive);
        p.mParamSnapshot[AutoGainMakeupOn] = flag (s.autoGain);
        p.mParamSnapshot[MaxMakeupOn] = flag (s.maxMakeup);
        p.mParamSnapshot[SoftLimiterOn] = flag (s.softLimiter);
        p.mParamSnapshot[Adaptive_Relative_Gain] = s.adaptiveRelativeGain;
    }

    DetectorSettings makeSettings (float ratio, float releaseMs, float makeupDb)
    {
        DetectorSettings s;
        s.ratio = ratio;
        s.releaseMs = releaseMs;
        s.makeupDb = makeupDb;
        s.makeupTargetDb = makeupDb;
        return s;
    }
}

TEST_F (SignalPathTest, EnvelopeStageFollowsTheReferenceFromItsSettingsAlone)
{
    struct Case
    {
        const char* name;
        DetectorSettings settings;
        int attackSamples;
        float adaptiveLevelDb;
    };
    std::vector<Case> cases;
    {
        auto s = makeSettings (3.0f, 100.0f, 0.0f);
        s.softLimiter = true;
        s.autoGain = true;
        cases.push_back ({ "soft limiter, auto gain, 6 ms attack", s, 288, 0.0f });
    }
    {
        auto s = makeSettings (10.0f, 250.0f, 6.0f);
        s.nonLinearRelease = true;
        s.releaseExponent = 2.2f;
        cases.push_back ({ "non-linear release, 10:1, makeup", s, 96, 0.0f });
    }
    {
        auto s = makeSettings (4.0f, 50.0f, 2.0f);
        s.adaptive = true;
        s.maxMakeup = true;
        s.autoMakeupDb = 8.0f;
        s.adaptiveRelativeGain = 0.7f;
        cases.push_back ({ "adaptive, max makeup, quiet programme", s, 0, -30.0f });
    }
    {
        auto s = makeSettings (2.0f, 30.0f, 0.0f);
        s.adaptive = true;
        s.autoGain = true;
        s.softLimiter = true;
        s.sampleRate = 96000.0f;
        cases.push_back ({ "adaptive, auto gain, soft limiter at 96 kHz", s, 960, -20.0f });
    }

    const int n = 512, blocks = 60;
    const auto x = bursts (n * blocks, 11u);
    const auto side = bursts (n * blocks, 12u);
    std::vector<float> peaks ((size_t) n);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        SetUp();
        mirror (*p, c.settings, 4.0f);
        auto& stage = state (0);
        auto& scalar = state (1);
        float worstGrDb = 0.0f, worstGain = 0.0f;
        for (int b = 0; b < blocks; ++b)
        {
            const float* det = x.data() + b * n;
            for (int i = 0; i < n; ++i)
                peaks[(size_t) i] = side[(size_t) (b * n + i)] * side[(size_t) (b * n + i)];
            for (auto* s : { &stage, &scalar })
            {
                s->ensureBlockSize (n);
                s->mAttackLength = c.attackSamples;
                s->mMakeupSmoother.setTargetValue (c.settings.makeupTargetDb);
            }
            Envelope::run (stage, { det, peaks.data(), n, -20.0f, c.adaptiveLevelDb }, c.settings, 4.0f);
            brisalto::reference::referenceEnvelope (*p, scalar, det, peaks.data(), n, -20.0f, c.adaptiveLevelDb,
                                                    c.settings.nonLinearRelease, c.settings.releaseExponent);
            for (int i = 0; i < n; ++i)
            {
                worstGrDb = std::max (worstGrDb, std::abs (stage.mGrPerSampleDb[(size_t) i] - scalar.mGrPerSampleDb[(size_t) i]));
                worstGain = std::max (worstGain,
                                      std::abs (stage.mGainPerSample[(size_t) i] - scalar.mGainPerSample[(size_t) i])
                                          / std::max (1.0f, scalar.mGainPerSample[(size_t) i]));
            }
        }
        EXPECT_GT (scalar.mGrHistory.size(), 0);
        EXPECT_LE (worstGrDb, 1.0e-3f);
        EXPECT_LE (worstGain, 1.0e-6f);
    }
}

TEST_F (SignalPathTest, LevelsAheadForAllChannelsAtOnceMatchOneChannelAtATime)
{
    // Mean squares that count, that are too small to count, and that are not finite.
    const float table[] = { 0.01f, 1.0e-7f, 0.2f, std::nanf (""), 0.0f, 3.0f, INFINITY, 2.0e-6f, 0.04f };
    const int channels = 5, elements = 6;
    makeRing (elements, channels, 8);
    for (int e = 0; e < elements; ++e)
        for (int ch = 0; ch < channels; ++ch)
            p->mRingBuffer[(size_t) e].mMeanSquares[(size_t) ch] = table[(size_t) (e * 7 + ch * 3) % std::size (table)];

    AdaptiveThreshold::LevelSum all[channels];
    for (int ringIndex = 0; ringIndex < elements; ++ringIndex)
        for (int lookahead = 0; lookahead <= elements + 1; ++lookahead)
        {
            AdaptiveThreshold::levelsAhead (p->mRingBuffer, ringIndex, channels, lookahead, all);
            for (int ch = 0; ch < channels; ++ch)
            {
                const auto one = AdaptiveThreshold::levelsAhead (p->mRingBuffer, ringIndex, ch, lookahead);
                EXPECT_EQ (all[ch].sum, one.sum) << ringIndex << " " << lookahead << " " << ch;
                EXPECT_EQ (all[ch].count, one.count) << ringIndex << " " << lookahead << " " << ch;
                EXPECT_TRUE (std::isfinite (one.sum));
            }
        }
}

TEST_F (SignalPathTest, GainComputerChannelsShareNothingButTheirSettings)
{
    auto settings = makeSettings (4.0f, 80.0f, 3.0f);
    settings.attackSamples = 144;
    settings.softLimiter = true;
    settings.adaptive = true;
    settings.nonLinearRelease = true;
    settings.releaseExponent = 0.6f;

    const int n = 256, blocks = 40;
    const auto a = bursts (n * blocks, 21u);
    const auto b = bursts (n * blocks, 22u);

    const auto runBlock = [&] (channelComprStateT& s, const std::vector<float>& x, int block)
    {
        s.ensureBlockSize (n);
        GainComputer::advanceMixRamp (s, settings, n);
        GainComputer::Block input;
        input.samples = x.data() + block * n;
        input.meanSquare = 0.01f * (float) (block % 5);
        input.n = n;
        input.lookaheadBlocks = 3;
        float autoGainDb = 0.0f;
        GainComputer::run (s, input, { 0.02f, 2 }, settings, autoGainDb);
    };

    // Channel 0 alone, then channel 1 alone ...
    std::vector<std::vector<float>> alone;
    for (int b0 = 0; b0 < blocks; ++b0)
    {
        runBlock (state (0), a, b0);
        alone.emplace_back (state (0).mGainPerSample.begin(), state (0).mGainPerSample.begin() + n);
    }
    // ... and both interleaved, block by block, on fresh states.
    for (int b0 = 0; b0 < blocks; ++b0)
    {
        runBlock (state (2), a, b0);
        runBlock (state (3), b, b0);
        for (int i = 0; i < n; ++i)
            ASSERT_EQ (state (2).mGainPerSample[(size_t) i], alone[(size_t) b0][(size_t) i]) << b0 << " " << i;
    }
}

namespace
{
    // Channel ch's detector: loud, quiet and silent stretches of its own length, with NaN and
    // infinite samples now and then.
    std::vector<float> laneSignal (int length, int ch)
    {
        std::mt19937 rng (100u + (unsigned) ch);
        std::normal_distribution<float> noise (0.0f, 1.0f);
        std::vector<float> x ((size_t) length);
        const int stretch = 150 + 23 * ch;
        for (int i = 0; i < length; ++i)
        {
            const int phase = (i / stretch) % 3;
            x[(size_t) i] = phase == 2 ? 0.0f : (phase == 0 ? 0.6f : 0.08f) * noise (rng);
            if ((i + 7 * ch) % 997 == 0)
                x[(size_t) i] = (i / 997) % 2 ? std::nanf ("") : INFINITY;
        }
        return x;
    }
}

// Every multi-mono configuration whose channels do not chain through the auto gain runs its
// envelopes side by side in vector lanes; the channels one at a time stay the oracle, on every
// instruction set this CPU runs.
TEST (EnvelopeLanes, ChannelsSideBySideFollowTheChannelsOneAtATime)
{
    struct Config
    {
        const char* name;
        int attackSamples;
        float releaseMs;
        float exponent;  // 0: a straight release
        bool softLimiter, autoGain, adaptive, maxMakeup;
    };
    const Config configs[] = {
        { "no attack, straight release, auto gain", 0, 5.0f, 0.0f, false, true, false, false },
        { "attack, straight release, soft limiter", 144, 20.0f, 0.0f, true, false, false, false },
        { "attack, non-linear release 2.2, adaptive", 96, 8.0f, 2.2f, false, false, true, false },
        { "no attack, non-linear release 0.36, soft limiter", 0, 3.0f, 0.36f, true, false, true, false },
        { "release 0 (the attack length), auto gain", 48, 0.0f, 0.0f, false, true, false, false },
        { "soft limiter with max makeup's auto gain", 30, 10.0f, 3.0f, true, true, true, true },
        { "soft limiter and auto gain: a chain", 60, 10.0f, 0.0f, true, true, false, false },
    };
    struct Layout
    {
        int channels, n;
    };
    const Layout layouts[] = { { 1, 37 }, { 3, 301 }, { 8, 64 }, { 9, 1 }, { 28, 255 } };

    const auto targets = hwy::SupportedAndGeneratedTargets();
    for (const int64_t target : targets)
    {
        SCOPED_TRACE (hwy::TargetName (target));
        hwy::SetSupportedTargetsForTest (target);
        hwy::GetChosenTarget().Update (hwy::SupportedTargets());
        float worstGrDb = 0.0f, worstGain = 0.0f;
        long differing = 0, compared = 0;

        for (const auto& c : configs)
            for (const auto& l : layouts)
            {
                SCOPED_TRACE (testing::Message() << c.name << ", " << l.channels << " channels of " << l.n);
                DetectorSettings s = makeSettings (4.0f, c.releaseMs, 3.0f);
                s.attackSamples = c.attackSamples;
                s.nonLinearRelease = c.exponent > 0.0f;
                s.releaseExponent = c.exponent > 0.0f ? c.exponent : 1.0f;
                s.softLimiter = c.softLimiter;
                s.autoGain = c.autoGain;
                s.adaptive = c.adaptive;
                s.maxMakeup = c.maxMakeup;
                s.autoMakeupDb = 7.0f;
                s.thresholdDb = -20.0f;
                EXPECT_EQ (GainComputer::envelopesChain (s), c.softLimiter && c.autoGain && ! c.maxMakeup);

                const int count = l.channels, n = l.n, blocks = std::max (4, 3000 / n);
                auto lanes = std::make_unique<channelComprStateT[]> ((size_t) count);
                auto oneByOne = std::make_unique<channelComprStateT[]> ((size_t) count);
                std::vector<std::vector<float>> x;
                std::vector<channelComprStateT*> laneStates;
                for (int ch = 0; ch < count; ++ch)
                {
                    x.push_back (laneSignal (n * blocks, ch));
                    laneStates.push_back (&lanes[(size_t) ch]);
                }
                lanes[0].mAttackSumSquares = oneByOne[0].mAttackSumSquares = INFINITY;  // starts over
                float laneAutoGain = 2.0f, autoGain = 2.0f;

                for (int b = 0; b < blocks; ++b)
                {
                    std::vector<GainComputer::Block> input ((size_t) count);
                    std::vector<AdaptiveThreshold::LevelSum> ahead ((size_t) count, { 0.05f, 2 });
                    for (int ch = 0; ch < count; ++ch)
                    {
                        auto& in = input[(size_t) ch];
                        in.samples = x[(size_t) ch].data() + b * n;
                        in.meanSquare = 0.002f * (float) ((b + ch) % 7);
                        in.n = n;
                        in.lookaheadBlocks = b % 2 ? 0 : 3;  // 0: the last 50 blocks
                        lanes[(size_t) ch].ensureBlockSize (n);
                        oneByOne[(size_t) ch].ensureBlockSize (n);
                    }
                    GainComputer::runChannels (laneStates.data(), input.data(), ahead.data(), count, s, laneAutoGain);
                    for (int ch = 0; ch < count; ++ch)
                        GainComputer::run (oneByOne[(size_t) ch], input[(size_t) ch], ahead[(size_t) ch], s, autoGain);

                    for (int ch = 0; ch < count; ++ch)
                        for (int i = 0; i < n; ++i)
                        {
                            const float gr = lanes[(size_t) ch].mGrPerSampleDb[(size_t) i];
                            const float grOracle = oneByOne[(size_t) ch].mGrPerSampleDb[(size_t) i];
                            const float gain = lanes[(size_t) ch].mGainPerSample[(size_t) i];
                            const float gainOracle = oneByOne[(size_t) ch].mGainPerSample[(size_t) i];
                            worstGrDb = std::max (worstGrDb, std::abs (gr - grOracle));
                            worstGain = std::max (worstGain, std::abs (gain - gainOracle));
                            differing += gr != grOracle || gain != gainOracle;
                            ++compared;
                            ASSERT_TRUE (std::isfinite (gr) && std::isfinite (gain)) << b << " " << ch << " " << i;
                        }
                    ASSERT_NEAR (laneAutoGain, autoGain, 1.0e-3f) << b;
                }
                for (int ch = 0; ch < count; ++ch)
                {
                    EXPECT_NEAR (lanes[(size_t) ch].mGrDb, oneByOne[(size_t) ch].mGrDb, 1.0e-3f) << ch;
                    EXPECT_NEAR (lanes[(size_t) ch].mBlockMaxGrDb, oneByOne[(size_t) ch].mBlockMaxGrDb, 1.0e-3f) << ch;
                }
            }
        std::printf ("  %s: worst %.3g dB, %.3g of full scale; %ld of %ld samples not bit-identical\n", hwy::TargetName (target),
                     worstGrDb, worstGain, differing, compared);
        EXPECT_LE (worstGrDb, 1.0e-3f);
        EXPECT_LE (worstGain, 1.0e-6f);
    }
    hwy::SetSupportedTargetsForTest (0);
    hwy::GetChosenTarget().Update (hwy::SupportedTargets());
}
