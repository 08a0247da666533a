// Two instances of one bundle in one host process, on one shared play head: the external
// side-chain (one sends, the other's gain follows the sender's bursts) and a link group (a loud
// signal into one member compresses the other).

#include "HostTestSupport.h"
#include "StateChunkEdit.h"

#include <cmath>

namespace brisalto::host::test
{
namespace
{

constexpr double rate = 48000.0;
constexpr int blockSize = 512;

// The transport both instances follow, as a DAW's.
struct SharedPlayHead : juce::AudioPlayHead
{
    int64_t position = 0;

    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        info.setTimeInSamples (position);
        info.setIsPlaying (true);
        return info;
    }
};

struct Pair
{
    std::unique_ptr<juce::AudioPluginInstance> a, b;
    SharedPlayHead head;

    // Renders both in turn for `blocks` blocks with the main inputs from the functions (of the
    // block index); returns b's output RMS per block in dB.
    std::vector<float> run (int blocks, const std::function<float (int)>& levelA, const std::function<float (int)>& levelB)
    {
        std::vector<float> rmsB;
        for (int block = 0; block < blocks; ++block)
        {
            for (auto* plugin : { a.get(), b.get() })
            {
                const float level = plugin == a.get() ? levelA (block) : levelB (block);
                const int channels = juce::jmax (plugin->getTotalNumInputChannels(), plugin->getTotalNumOutputChannels());
                juce::AudioBuffer<float> buffer (channels, blockSize);
                buffer.clear();
                for (int ch = 0; ch < plugin->getMainBusNumInputChannels(); ++ch)
                    for (int i = 0; i < blockSize; ++i)
                        buffer.setSample (ch, i, level * (float) std::sin (0.1 * (double) (head.position + i)));
                juce::MidiBuffer midi;
                plugin->processBlock (buffer, midi);
                if (plugin == b.get())
                    rmsB.push_back (juce::Decibels::gainToDecibels (buffer.getRMSLevel (0, 0, blockSize), -144.0f));
            }
            head.position += blockSize;
        }
        return rmsB;
    }
};

class ExchangeHostTest : public EachFormat
{
protected:
    bool load (Pair& pair)
    {
        pair.a = loadFresh (format(), rate, blockSize);
        pair.b = loadFresh (format(), rate, blockSize);
        if (pair.a == nullptr || pair.b == nullptr)
            return false;
        for (auto* plugin : { pair.a.get(), pair.b.get() })
        {
            prepare (*plugin, rate, blockSize);
            plugin->setPlayHead (&pair.head);
            // Threshold -30 dB, ratio 4, instant attack, fast release.
            setByName (*plugin, "Threshold", 0.4f);
            setByName (*plugin, "Ratio", 0.35f);
            setByName (*plugin, "Attack", 0.0f);
            setByName (*plugin, "Release", 0.01f);
        }
        return true;
    }
};

TEST_P (ExchangeHostTest, ReceiverGainFollowsTheSendersBursts)
{
    Pair pair;
    ASSERT_TRUE (load (pair));
    setStateDigits (*pair.a, { { "mixMode", 4 }, { "trackNumber", 3 } });
    setStateDigits (*pair.b, { { "mixMode", 5 }, { "trackNumber", 3 } });

    // The sender bursts for 16 blocks, then pauses for 16; the receiver plays a steady tone.
    const auto rms = pair.run (128, [] (int block) { return (block / 16) % 2 == 0 ? 0.9f : 0.0f; },
                               [] (int) { return 0.05f; });
    const float duringBurst = rms[16 * 4 + 8], inPause = rms[16 * 5 + 8];
    EXPECT_LT (duringBurst, inPause - 6.0f) << duringBurst << " " << inPause;
}

TEST_P (ExchangeHostTest, LoudMemberCompressesTheOtherInASumGroup)
{
    float quietOutputDb[2] {};
    for (const int group : { 0, 1 })
    {
        Pair pair;
        ASSERT_TRUE (load (pair));
        for (auto* plugin : { pair.a.get(), pair.b.get() })
            setStateDigits (*plugin, { { "mixMode", 2 }, { "groupNumber", group } });
        quietOutputDb[group] = pair.run (64, [] (int) { return 0.9f; }, [] (int) { return 0.02f; }).back();
    }
    EXPECT_LT (quietOutputDb[1], quietOutputDb[0] - 6.0f) << quietOutputDb[1] << " " << quietOutputDb[0];
}

// With SYNC PARS on, a member adopts what another member's host set, and its own host's view
// follows: a VST3 host hears it as an edit, an LV2 host as the plug-in's parameter output.
TEST_P (ExchangeHostTest, AdoptedValueReachesTheAdoptingMembersHost)
{
    Pair pair;
    ASSERT_TRUE (load (pair));
    for (auto* plugin : { pair.a.get(), pair.b.get() })
        setStateDigits (*plugin, { { "mixMode", 2 }, { "groupNumber", 1 }, { "grp_param_sync", 1 } });
    pair.run (8, [] (int) { return 0.1f; }, [] (int) { return 0.1f; });

    setByName (*pair.a, "Ratio", 0.6f);
    setByName (*pair.a, "Threshold", 0.5f);
    auto* ratioB = findParameter (*pair.b, "Ratio");
    auto* thresholdB = findParameter (*pair.b, "Threshold");
    ASSERT_NE (ratioB, nullptr);
    ASSERT_NE (thresholdB, nullptr);
    const auto adopted = [&] { return std::abs (ratioB->getValue() - 0.6f) < 1.0e-4f && std::abs (thresholdB->getValue() - 0.5f) < 1.0e-4f; };
    const auto deadline = juce::Time::getMillisecondCounter() + 10000;
    while (! adopted() && juce::Time::getMillisecondCounter() < deadline)
    {
        pair.run (1, [] (int) { return 0.1f; }, [] (int) { return 0.1f; });
        sharedHost().pumpMessages (5);
    }
    EXPECT_NEAR (ratioB->getValue(), 0.6f, 1.0e-4f);
    EXPECT_NEAR (thresholdB->getValue(), 0.5f, 1.0e-4f);
    // The adopter's own value travels back to nobody: the publisher keeps what its host set.
    EXPECT_NEAR (findParameter (*pair.a, "Ratio")->getValue(), 0.6f, 1.0e-4f);
}

BRISALTO_FOR_EACH_FORMAT (ExchangeHostTest);

} // namespace
} // namespace brisalto::host::test
