// The demo the README's main command runs: a loud signal through the loaded plug-in.

#include "HostTestSupport.h"

namespace brisalto::host::test
{
    namespace
    {

        class DemoHostTest : public EachFormat
        {
        };

        TEST_P (DemoHostTest, LoudSignalComesOutFiniteAndAudible)
        {
            auto plugin = loadFresh (format(), 48000.0, 512);
            ASSERT_NE (plugin, nullptr);

            const auto layout = prepareForDemo (*plugin, 48000.0, 512);
            ASSERT_TRUE (layout.has_value());
            EXPECT_EQ (layout->signalChannels, 2);
            EXPECT_TRUE (layout->stereoLayout);  // both formats are stereo by default

            const auto report = runDemoSignal (*plugin, *layout, 48000.0, 512, 1.5);
            plugin->releaseResources();

            EXPECT_FALSE (report.outputNonFinite);
            EXPECT_NEAR (report.seconds, 1.5, 0.01);
            EXPECT_GT (report.input.peakDb, -3.5);
            EXPECT_GT (report.output.rmsDb, -60.0);
            EXPECT_LE (report.output.peakDb, 6.0);
        }

        TEST (DemoSignalTest, LevelsOfAKnownSignal)
        {
            // A full-scale square wave: peak and RMS both 0 dBFS; half of it: -6.02 dBFS.
            juce::AudioBuffer<float> buffer (2, 100);
            for (int i = 0; i < 100; ++i)
            {
                buffer.setSample (0, i, (i % 2) == 0 ? 1.0f : -1.0f);
                buffer.setSample (1, i, (i % 2) == 0 ? 0.5f : -0.5f);
            }

            LevelMeter left;
            left.add (buffer, 1, 100);
            EXPECT_NEAR (left.level().peakDb, 0.0, 1.0e-9);
            EXPECT_NEAR (left.level().rmsDb, 0.0, 1.0e-9);

            LevelMeter both;
            both.add (buffer, 2, 100);
            EXPECT_NEAR (both.level().peakDb, 0.0, 1.0e-9);
            EXPECT_NEAR (both.level().rmsDb, 10.0 * std::log10 (0.625), 1.0e-9);

            buffer.setSample (1, 3, std::numeric_limits<float>::quiet_NaN());
            both.add (buffer, 2, 100);
            EXPECT_TRUE (both.sawNonFinite());

            EXPECT_EQ (LevelMeter().level().rmsDb, -144.0);
        }

        TEST (DemoSignalTest, FormatNamesAndManifest)
        {
            EXPECT_EQ (parseFormatName ("VST3"), PluginFormatKind::vst3);
            EXPECT_EQ (parseFormatName (" lv2 "), PluginFormatKind::lv2);
            EXPECT_FALSE (parseFormatName ("au").has_value());

            EXPECT_EQ (findLv2PluginUri (bundleFor (PluginFormatKind::lv2)), "https://kestrom.example/plugins/brisalto");
            EXPECT_TRUE (findLv2PluginUri (juce::File ("/nonexistent/Brisalto.lv2")).isEmpty());

            auto missing = sharedHost().load (PluginFormatKind::vst3, juce::File ("/nonexistent/Brisalto.vst3"), 48000.0, 512);
            EXPECT_EQ (missing.instance, nullptr);
            EXPECT_FALSE (missing.error.isEmpty());
        }

        BRISALTO_FOR_EACH_FORMAT (DemoHostTest);

    }  // namespace
}  // namespace brisalto::host::test
