#include "SignalPathFixture.h"

#include <random>

namespace
{
    // Steady-state gain of a state's filter for a sine, from the RMS over whole periods.
    float measuredGain (channelComprStateT& s, double hz, double fs)
    {
        const int settle = (int) fs, measure = (int) fs / 2;
        std::vector<float> x ((size_t) (settle + measure));
        for (size_t i = 0; i < x.size(); ++i)
            x[i] = (float) std::sin (2.0 * M_PI * hz * (double) i / fs);
        for (size_t start = 0; start < x.size(); start += 512)
            s.runFilter (x.data() + start, (int) std::min ((size_t) 512, x.size() - start));
        double sum = 0.0;
        for (int i = settle; i < settle + measure; ++i)
            sum += (double) x[(size_t) i] * x[(size_t) i];
        return (float) std::sqrt (2.0 * sum / measure);
    }

    // Prewarped frequency of the bilinear design.
    double warped (double hz, double fs)
    {
        return std::tan (M_PI * hz / fs);
    }
}

class DetectorFilterTest : public SignalPathTest
{
protected:
    // Coefficients for type, centre and Q, handed to a fresh state.
    std::unique_ptr<channelComprStateT> filterFor (float typeValue, float hz, float q, float fs = 48000.0f)
    {
        p->mSampleRate = fs;
        p->setParameter (BPFilterType, typeValue);
        p->setParameter (BPFilterQ, q / 10.0f);
        p->setParameter (BPFilterFreq, hz / 20000.0f);
        float coeffs[5];
        p->mDetectorFilter.read (coeffs, true);
        auto s = std::make_unique<channelComprStateT>();
        s->handOverFilterCoeffs (coeffs);
        return s;
    }
};

TEST_F (DetectorFilterTest, ResponsesAtTheCentreAndAnOctaveAway)
{
    const double fs = 48000.0, fc = 1000.0, q = 2.0;
    const double r = warped (2000.0, fs) / warped (fc, fs);  // an octave up, in the analogue plane
    const double bandOffset = q * (r - 1.0 / r);

    auto bandPass = filterFor (0.0f, 1000.0f, 2.0f);
    EXPECT_NEAR (measuredGain (*bandPass, fc, fs), 1.0f, 0.01f);
    EXPECT_NEAR (measuredGain (*bandPass, 2000.0, fs), 1.0 / std::sqrt (1.0 + bandOffset * bandOffset), 0.01);

    auto lowPass = filterFor (0.1f, 1000.0f, 2.0f);
    EXPECT_NEAR (measuredGain (*lowPass, fc, fs), std::sqrt (0.5), 0.01);
    EXPECT_NEAR (measuredGain (*lowPass, 2000.0, fs), 1.0 / std::sqrt (1.0 + std::pow (r, 4.0)), 0.01);

    auto highPass = filterFor (0.2f, 1000.0f, 2.0f);
    EXPECT_NEAR (measuredGain (*highPass, fc, fs), std::sqrt (0.5), 0.01);
    const double rDown = warped (500.0, fs) / warped (fc, fs);
    EXPECT_NEAR (measuredGain (*highPass, 500.0, fs), std::pow (rDown, 2.0) / std::sqrt (1.0 + std::pow (rDown, 4.0)), 0.01);

    auto notch = filterFor (0.3f, 1000.0f, 2.0f);
    EXPECT_NEAR (measuredGain (*notch, fc, fs), 0.0f, 0.01f);
    EXPECT_NEAR (measuredGain (*notch, 2000.0, fs), std::abs (bandOffset) / std::sqrt (1.0 + bandOffset * bandOffset), 0.01);

    // Type values 4..10 are band-pass.
    auto other = filterFor (0.7f, 1000.0f, 2.0f);
    EXPECT_NEAR (measuredGain (*other, fc, fs), 1.0f, 0.01f);
}

TEST_F (DetectorFilterTest, FrequencyIsKeptInAStableRange)
{
    for (float fs : { 32000.0f, 44100.0f, 48000.0f })
        for (float hz : { 0.0f, 1.0f, 20000.0f })
            for (float type : { 0.0f, 0.1f, 0.2f, 0.3f })
            {
                SCOPED_TRACE (testing::Message() << fs << " Hz, " << hz << " Hz, type " << type);
                auto s = filterFor (type, hz, 10.0f, fs);
                std::mt19937 rng (3);
                std::uniform_real_distribution<float> uni (-1.0f, 1.0f);
                std::vector<float> x (512);
                float peak = 0.0f;
                for (int b = 0; b < 400; ++b)
                {
                    for (auto& v : x)
                        v = uni (rng);
                    s->runFilter (x.data(), 512);
                    for (float v : x)
                        peak = std::max (peak, std::abs (v));
                }
                EXPECT_TRUE (std::isfinite (peak));
                EXPECT_LT (peak, 1000.0f);
            }
}

TEST_F (DetectorFilterTest, GlideStartsAtTheFirstSetAndEndsExactlyOnTheNext)
{
    channelComprStateT s;
    const float first[5] = { 0.1f, 0.0f, -0.1f, -1.8f, 0.81f };
    const float second[5] = { 0.0003f, 0.0f, -0.0003f, -1.9993f, 0.9994f };
    s.handOverFilterCoeffs (first);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ (s.mFilterCoeffs[k], first[k]);  // nothing to glide from
    EXPECT_TRUE (s.mFilterReady);

    s.handOverFilterCoeffs (second);
    std::vector<float> x (300, 0.0f);
    s.runFilter (x.data(), 300);
    EXPECT_NEAR (s.mFilterCoeffs[3], first[3] + (second[3] - first[3]) * 300.0f / 1024.0f, 1e-4f);  // float accumulation
    for (int b = 0; b < 3; ++b)
        s.runFilter (x.data(), 300);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ (s.mFilterCoeffs[k], second[k]);
}

TEST_F (DetectorFilterTest, DetectorUsesTheFilterUnlessListening)
{
    makeRing (1, 2, 512);
    set (BPFilterOn, 1.0f);
    float coeffs[5];
    p->mDetectorFilter.read (coeffs, true);
    state (0).handOverFilterCoeffs (coeffs);

    // 100 Hz at -10 dBFS: the 1 kHz band-pass (Q 2) takes it well under the -20 dB threshold.
    putBlock (0, 0, sine (512, 0.4472f, 100.0));
    for (int b = 0; b < 4; ++b)
        p->calc_gains (state (0), 0, 0, 512, 0);
    EXPECT_LT (state (0).mBlockMaxGrDb, 0.5f);

    set (BPFilterListenOn, 1.0f);
    p->calc_gains (state (0), 0, 0, 512, 0);
    EXPECT_GT (state (0).mBlockMaxGrDb, 3.0f);
}

TEST_F (DetectorFilterTest, FiltersSideBySideMatchOneByOne)
{
    // 19 states (a partial group of lanes at every vector width): different designs, one
    // gliding, one without coefficients; runFilters against runFilter on each.
    const float types[] = { 0.0f, 0.1f, 0.2f, 0.3f };
    std::vector<std::unique_ptr<channelComprStateT>> lanes, single;
    for (int k = 0; k < 19; ++k)
        for (auto* set : { &lanes, &single })
            set->push_back (k == 5 ? std::make_unique<channelComprStateT>()
                                   : filterFor (types[k % 4], 100.0f + 150.0f * (float) k, 0.5f + 0.2f * (float) k));
    float next[5];
    std::copy (lanes[3]->mFilterCoeffs, lanes[3]->mFilterCoeffs + 5, next);
    lanes[7]->handOverFilterCoeffs (next);
    single[7]->handOverFilterCoeffs (next);

    std::mt19937 rng (3);
    std::normal_distribution<float> noise (0.0f, 0.3f);
    std::vector<std::vector<float>> a (19, std::vector<float> (512)), b;
    for (int block = 0; block < 4; ++block)
    {
        for (auto& x : a)
            for (auto& v : x)
                v = noise (rng);
        b = a;
        channelComprStateT* states[19];
        float* blocks[19];
        for (int k = 0; k < 19; ++k)
        {
            states[k] = lanes[(size_t) k].get();
            blocks[k] = a[(size_t) k].data();
            single[(size_t) k]->runFilter (b[(size_t) k].data(), 512);
        }
        channelComprStateT::runFilters (states, blocks, 19, 512);
        for (int k = 0; k < 19; ++k)
            for (int i = 0; i < 512; ++i)
                ASSERT_NEAR (a[(size_t) k][(size_t) i], b[(size_t) k][(size_t) i], 1e-5f) << "state " << k << " sample " << i;
    }
}

TEST_F (DetectorFilterTest, PreparedDetectorsMatchTheChannelByChannelPath)
{
    // Multi-mono with the band filter and the adaptive threshold over 3 blocks ahead:
    // channels 0 and 1 prepared together give what calc_gains alone gives channels 2 and 3
    // on the same signals.
    set (BPFilterOn, 1.0f);
    set (Adpative_Thresh_On, 1.0f);
    makeRing (4, 7, 256);
    float coeffs[5];
    p->mDetectorFilter.read (coeffs, true);
    for (int ch = 0; ch < 4; ++ch)
        state (ch).handOverFilterCoeffs (coeffs);

    std::mt19937 rng (9);
    std::normal_distribution<float> noise (0.0f, 0.02f);  // under the threshold: it adapts
    for (int block = 0; block < 8; ++block)
    {
        for (int e = 0; e < 4; ++e)
            for (int ch = 0; ch < 2; ++ch)
            {
                std::vector<float> x (256);
                for (auto& v : x)
                    v = noise (rng) * (float) (1 + (block + e + ch) % 3);
                putBlock (e, ch, x);
                putBlock (e, ch + 2, x);
            }

        p->prepareDetectors (0, 2, 256, 3);
        for (int ch = 0; ch < 2; ++ch)
        {
            p->calc_gains (state (ch), 0, ch, 256, 3, true);
            p->calc_gains (state (ch + 2), 0, ch + 2, 256, 3);
            EXPECT_EQ (state (ch).mAdaptiveThresholdDb, state (ch + 2).mAdaptiveThresholdDb);
            EXPECT_LT (state (ch).mAdaptiveThresholdDb, -21.0f);
            for (int i = 0; i < 256; ++i)
                ASSERT_NEAR (state (ch).mGrPerSampleDb[(size_t) i], state (ch + 2).mGrPerSampleDb[(size_t) i], 1e-4f) << block;
        }
    }
}
