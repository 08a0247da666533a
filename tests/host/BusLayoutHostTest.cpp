// Bus layouts a host can apply. All three buses are stereo by default. The plug-in accepts any
// layout whose main input and output counts differ, and equal counts up to 28; the side-chain is
// not examined. VST3 hosts negotiate the arrangement; an LV2 plug-in's ports are fixed when the
// bundle is built.

#include "HostTestSupport.h"

namespace brisalto::host::test
{
    namespace
    {

        using Set = juce::AudioChannelSet;

        juce::AudioProcessor::BusesLayout makeLayout (Set in, Set out, Set sideChain)
        {
            juce::AudioProcessor::BusesLayout layout;
            layout.inputBuses.add (in);
            layout.inputBuses.add (sideChain);
            layout.outputBuses.add (out);
            return layout;
        }

        bool applies (juce::AudioPluginInstance& plugin, const juce::AudioProcessor::BusesLayout& layout)
        {
            plugin.releaseResources();
            const bool accepted = plugin.setBusesLayout (layout);
            const auto now = plugin.getBusesLayout();
            if (accepted && ! (now == layout))
                ADD_FAILURE() << "accepted, but the host now has " << now.getMainInputChannelSet().getDescription() << " / "
                              << now.getMainOutputChannelSet().getDescription() << " / "
                              << now.getChannelSet (true, 1).getDescription();
            return accepted;
        }

        // N speakers with names, in JUCE's order of speaker types: what a VST3 host can send for a
        // many-channel bus (VST3 arrangements are sets of speakers, not bare channel counts).
        Set namedSpeakers (int count)
        {
            Set set;
            for (int type = Set::left; set.size() < count && type < Set::discreteChannel0; ++type)
                set.addChannel ((Set::ChannelType) type);
            return set;
        }

        class BusLayoutHostTest : public EachFormat
        {
        };

        TEST_P (BusLayoutHostTest, DefaultLayoutIsStereoOnAllThreeBuses)
        {
            auto plugin = loadFresh (format());
            ASSERT_NE (plugin, nullptr);
            ASSERT_EQ (plugin->getBusCount (true), 2);
            ASSERT_EQ (plugin->getBusCount (false), 1);
            EXPECT_EQ (plugin->getChannelCountOfBus (true, 0), 2);
            EXPECT_EQ (plugin->getChannelCountOfBus (true, 1), 2);
            EXPECT_EQ (plugin->getChannelCountOfBus (false, 0), 2);
        }

        TEST_P (BusLayoutHostTest, LayoutsTheHostCanApply)
        {
            auto plugin = loadFresh (format());
            ASSERT_NE (plugin, nullptr);

            const auto s714 = Set::create7point1point4();

            if (isLv2())
            {
                // Fixed ports: nothing but the built layout (2 in, 2 side-chain, 2 out).
                EXPECT_TRUE (applies (*plugin, plugin->getBusesLayout()));
                EXPECT_FALSE (applies (*plugin, makeLayout (s714, s714, s714)));
                EXPECT_FALSE (applies (*plugin, makeLayout (Set::mono(), Set::stereo(), Set::stereo())));
                return;
            }

            EXPECT_TRUE (applies (*plugin, makeLayout (s714, s714, s714)));
            EXPECT_TRUE (applies (*plugin, makeLayout (Set::stereo(), Set::stereo(), Set::stereo())));
            EXPECT_TRUE (applies (*plugin, makeLayout (Set::stereo(), Set::stereo(), Set::disabled())));
            EXPECT_TRUE (applies (*plugin, makeLayout (Set::mono(), Set::stereo(), Set::stereo())));
            EXPECT_TRUE (applies (*plugin, makeLayout (Set::stereo(), Set::create5point1(), Set::mono())));
            EXPECT_TRUE (applies (*plugin, makeLayout (Set::mono(), Set::mono(), s714)));
        }

        TEST_P (BusLayoutHostTest, ChannelLimitOnEqualCounts)
        {
            if (isLv2())
                GTEST_SKIP() << "an LV2 host cannot change the ports of a built bundle";

            auto plugin = loadFresh (format());
            ASSERT_NE (plugin, nullptr);

            ASSERT_EQ (namedSpeakers (32).size(), 32);
            EXPECT_TRUE (applies (*plugin, makeLayout (namedSpeakers (28), namedSpeakers (28), Set::stereo())));
            EXPECT_FALSE (applies (*plugin, makeLayout (namedSpeakers (29), namedSpeakers (29), Set::stereo())));
            EXPECT_TRUE (applies (*plugin, makeLayout (namedSpeakers (32), Set::stereo(), Set::stereo())));
            EXPECT_TRUE (applies (*plugin, makeLayout (namedSpeakers (6), namedSpeakers (2), namedSpeakers (29))));
        }

        TEST_P (BusLayoutHostTest, RefusedLayoutLeavesAWorkingPlugin)
        {
            auto plugin = loadFresh (format());
            ASSERT_NE (plugin, nullptr);

            const auto before = plugin->getBusesLayout();
            const auto s714 = Set::create7point1point4();
            const auto refused =
                isLv2() ? makeLayout (s714, s714, s714) : makeLayout (namedSpeakers (29), namedSpeakers (29), Set::stereo());
            EXPECT_FALSE (applies (*plugin, refused));

            prepare (*plugin, 48000.0, 512);
            processBlocks (*plugin, 4);
            EXPECT_EQ (plugin->getTotalNumOutputChannels(), before.getMainOutputChannels());
            plugin->releaseResources();
        }

        BRISALTO_FOR_EACH_FORMAT (BusLayoutHostTest);

        TEST (WideLv2HostTest, SevenOneFourOnAllThreeBusesAndNothingElse)
        {
            auto result = sharedHost().load (PluginFormatKind::lv2, wideLv2Bundle(), 48000.0, 1024);
            ASSERT_NE (result.instance, nullptr) << result.error;
            auto& plugin = *result.instance;

            EXPECT_EQ (plugin.getName(), "Brisalto 7.1.4");
            EXPECT_EQ (plugin.getChannelCountOfBus (true, 0), 12);
            EXPECT_EQ (plugin.getChannelCountOfBus (true, 1), 12);
            EXPECT_EQ (plugin.getChannelCountOfBus (false, 0), 12);
            EXPECT_FALSE (applies (plugin, makeLayout (Set::stereo(), Set::stereo(), Set::stereo())));

            // All twelve channels are compressed.
            prepare (plugin, 48000.0, 1024);
            setByName (plugin, "Threshold", 0.3f);
            juce::AudioBuffer<float> buffer (24, 1024);
            juce::MidiBuffer midi;
            for (int block = 0; block < 40; ++block)
            {
                for (int channel = 0; channel < 24; ++channel)
                    for (int i = 0; i < 1024; ++i)
                        buffer.setSample (channel, i, channel < 12 ? 0.7f * std::sin (0.03f * (float) (block * 1024 + i)) : 0.0f);
                plugin.processBlock (buffer, midi);
            }
            for (int channel = 0; channel < 12; ++channel)
            {
                const double outRms = buffer.getRMSLevel (channel, 0, 1024);
                EXPECT_GT (outRms, 0.01) << channel;
                EXPECT_LT (outRms, 0.7 / std::sqrt (2.0) * 0.7) << channel;
            }
            plugin.releaseResources();
        }

    }  // namespace
}  // namespace brisalto::host::test
