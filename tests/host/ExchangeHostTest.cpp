// Two instances of one bundle in one host process, on one shared play head: the external
// side-chain (one sends, the other's gain follows the sender's bursts) and a link group (a loud
// signal into one member compresses the other).

#include "HostTestSupport.h"
#include "StateChunkEdit.h"
#include "common/HostBlockPatterns.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace brisalto::host::test
{
    namespace
    {

        constexpr double rate = 48000.0;
        constexpr int blockSize = 512;

        // The transport both instances follow, as a DAW's: its position while playing, where it stands
        // while stopped, and the time of each audio callback.
        struct SharedPlayHead : juce::AudioPlayHead
        {
            int64_t position = 0;
            bool playing = true;

            juce::Optional<PositionInfo> getPosition() const override
            {
                PositionInfo info;
                info.setTimeInSamples (playing ? position : 0);
                info.setIsPlaying (playing);
                info.setHostTimeNs ((uint64_t) (position * 1000000000 / (int64_t) rate));
                return info;
            }
        };

        struct Pair
        {
            std::unique_ptr<juce::AudioPluginInstance> a, b;
            SharedPlayHead head;

            // Renders both in turn, a first, in host blocks of the sizes given (repeated) for `length`
            // samples from where the play head stands; b renders from the first block at `bJoins` or
            // later. Positions count from the start of the call. The main inputs carry a tone at the
            // level the functions give for the block's position. Returns b's main output channel 0,
            // indexed by position (0 before b renders).
            std::vector<float> run (int64_t length, const std::vector<int>& sizes, const std::function<float (int64_t)>& levelA,
                                    const std::function<float (int64_t)>& levelB, int64_t bJoins = 0)
            {
                std::vector<float> outB ((size_t) length + 2048, 0.0f);
                const int64_t origin = head.position;
                for (size_t block = 0; head.position - origin < length; ++block)
                {
                    const int64_t position = head.position - origin;
                    const int n = sizes[block % sizes.size()];
                    for (auto* plugin : { a.get(), b.get() })
                    {
                        if (plugin == b.get() && position < bJoins)
                            continue;
                        const float level = plugin == a.get() ? levelA (position) : levelB (position);
                        const int channels = juce::jmax (plugin->getTotalNumInputChannels(), plugin->getTotalNumOutputChannels());
                        juce::AudioBuffer<float> buffer (channels, n);
                        buffer.clear();
                        for (int ch = 0; ch < plugin->getMainBusNumInputChannels(); ++ch)
                            for (int i = 0; i < n; ++i)
                                buffer.setSample (ch, i, level * (float) std::sin (0.1 * (double) (head.position + i)));
                        juce::MidiBuffer midi;
                        plugin->processBlock (buffer, midi);
                        if (plugin == b.get())
                            std::copy (buffer.getReadPointer (0), buffer.getReadPointer (0) + n, outB.begin() + position);
                    }
                    head.position += n;
                }
                outB.resize ((size_t) length);
                return outB;
            }
        };

        float rmsDb (const std::vector<float>& x, int64_t from, int64_t count)
        {
            double sum = 0.0;
            for (int64_t i = from; i < from + count; ++i)
                sum += (double) x[(size_t) i] * (double) x[(size_t) i];
            return juce::Decibels::gainToDecibels ((float) std::sqrt (sum / (double) count), -144.0f);
        }

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
            constexpr int64_t phase = 16 * blockSize;
            const auto out = pair.run (
                8 * phase, { blockSize }, [] (int64_t t) { return (t / phase) % 2 == 0 ? 0.9f : 0.0f; },
                [] (int64_t) { return 0.05f; });
            const float duringBurst = rmsDb (out, 4 * phase + 8 * blockSize, blockSize);
            const float inPause = rmsDb (out, 5 * phase + 8 * blockSize, blockSize);
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
                const auto out = pair.run (
                    64 * blockSize, { blockSize }, [] (int64_t) { return 0.9f; }, [] (int64_t) { return 0.02f; });
                quietOutputDb[group] = rmsDb (out, 63 * blockSize, blockSize);
            }
            EXPECT_LT (quietOutputDb[1], quietOutputDb[0] - 6.0f) << quietOutputDb[1] << " " << quietOutputDb[0];
        }

        // The start of the first block at or after `t` when blocks come in the sizes given.
        int64_t firstBlockFrom (const std::vector<int>& sizes, int64_t t)
        {
            int64_t position = 0;
            for (size_t block = 0; position < t; ++block)
                position += sizes[block % sizes.size()];
            return position;
        }

        // The first position from `from` on where b's output lies 3 dB below `quietDb`, over 32 samples.
        int64_t firstDucked (const std::vector<float>& out, int64_t from, float quietDb)
        {
            for (int64_t t = from; t + 32 <= (int64_t) out.size(); ++t)
                if (rmsDb (out, t, 32) < quietDb - 3.0f)
                    return t;
            return -1;
        }

        TEST_P (ExchangeHostTest, ReceiverDucksAlikeWhateverTheHostBlocksPlayingOrStopped)
        {
            // The receiver starts 100 blocks after the sender. Stopped, it must duck as it does
            // playing, from the same sample on.
            constexpr int64_t joins = 100 * blockSize, loudFrom = joins + 32 * blockSize, length = loudFrom + 48 * blockSize;
            constexpr int64_t window = 16 * blockSize;

            float constantDucking[2] {};
            for (const auto& [name, sizes] : hostBlockPatterns)
            {
                // A VST3 host must not exceed the block size it prepared with: JUCE's VST3 wrapper
                // copies every block into buffers of that size before the plug-in sees it.
                if (format() == PluginFormatKind::vst3 && *std::max_element (sizes.begin(), sizes.end()) > blockSize)
                    continue;

                int64_t onset[2] {};
                for (const bool playing : { true, false })
                {
                    Pair pair;
                    ASSERT_TRUE (load (pair));
                    setStateDigits (*pair.a, { { "mixMode", 4 }, { "trackNumber", 2 } });
                    setStateDigits (*pair.b, { { "mixMode", 5 }, { "trackNumber", 2 } });
                    pair.head.playing = playing;
                    const auto out = pair.run (
                        length, sizes, [] (int64_t t) { return t >= loudFrom ? 0.9f : 0.0f; }, [] (int64_t) { return 0.05f; },
                        joins);
                    const float quietDb = rmsDb (out, loudFrom - window, window);
                    const float ducking = quietDb - rmsDb (out, length - window, window);
                    const int64_t signalFrom = firstBlockFrom (sizes, loudFrom);
                    onset[playing] = firstDucked (out, signalFrom, quietDb) - signalFrom;
                    std::printf ("%s, %s, %s: the receiver ducks %.2f dB from sample %lld of the sender's signal on\n",
                                 displayNameOf (format()).toRawUTF8(), playing ? "playing" : "stopped", name, ducking,
                                 (long long) onset[playing]);

                    if (sizes.size() == 1)
                        constantDucking[playing] = ducking;
                    EXPECT_GT (ducking, 10.0f) << name << (playing ? ", playing" : ", stopped");
                    EXPECT_NEAR (ducking, constantDucking[playing], 1.0f) << name << (playing ? ", playing" : ", stopped");
                }
                EXPECT_EQ (onset[0], onset[1]) << name;
            }
        }

        // With SYNC PARS on, a member adopts what another member's host set, and its own host's view
        // follows: a VST3 host hears it as an edit, an LV2 host as the plug-in's parameter output.
        TEST_P (ExchangeHostTest, AdoptedValueReachesTheAdoptingMembersHost)
        {
            Pair pair;
            ASSERT_TRUE (load (pair));
            for (auto* plugin : { pair.a.get(), pair.b.get() })
                setStateDigits (*plugin, { { "mixMode", 2 }, { "groupNumber", 1 }, { "grp_param_sync", 1 } });
            pair.run (
                8 * blockSize, { blockSize }, [] (int64_t) { return 0.1f; }, [] (int64_t) { return 0.1f; });

            setByName (*pair.a, "Ratio", 0.6f);
            setByName (*pair.a, "Threshold", 0.5f);
            auto* ratioB = findParameter (*pair.b, "Ratio");
            auto* thresholdB = findParameter (*pair.b, "Threshold");
            ASSERT_NE (ratioB, nullptr);
            ASSERT_NE (thresholdB, nullptr);
            const auto adopted = [&]
            { return std::abs (ratioB->getValue() - 0.6f) < 1.0e-4f && std::abs (thresholdB->getValue() - 0.5f) < 1.0e-4f; };
            const auto deadline = juce::Time::getMillisecondCounter() + 10000;
            while (! adopted() && juce::Time::getMillisecondCounter() < deadline)
            {
                pair.run (
                    blockSize, { blockSize }, [] (int64_t) { return 0.1f; }, [] (int64_t) { return 0.1f; });
                sharedHost().pumpMessages (5);
            }
            EXPECT_NEAR (ratioB->getValue(), 0.6f, 1.0e-4f);
            EXPECT_NEAR (thresholdB->getValue(), 0.5f, 1.0e-4f);
            // The adopter's own value travels back to nobody: the publisher keeps what its host set.
            EXPECT_NEAR (findParameter (*pair.a, "Ratio")->getValue(), 0.6f, 1.0e-4f);
        }

        BRISALTO_FOR_EACH_FORMAT (ExchangeHostTest);

    }  // namespace
}  // namespace brisalto::host::test
