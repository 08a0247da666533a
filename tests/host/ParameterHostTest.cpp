// What a host reads about the plug-in and its parameters after loading the built bundle.

#include "HostTestSupport.h"

namespace brisalto::host::test
{
    namespace
    {

        class ParameterHostTest : public EachFormat
        {
        };

        TEST_P (ParameterHostTest, NameAndThirtyParametersInIndexOrder)
        {
            auto plugin = loadFresh (format());
            ASSERT_NE (plugin, nullptr);

            EXPECT_EQ (plugin->getName(), "Brisalto");

            const auto parameters = pluginParameters (*plugin);
            ASSERT_EQ (parameters.size(), 30);
            for (int i = 0; i < 30; ++i)
                EXPECT_EQ (parameters[i]->getName (1024), parameterNames[(size_t) i]) << "index " << i;

            // Whatever else the host lists is the wrapper's own controls: the LV2's bypass, the VST3's
            // bypass and program list, and no stand-ins for MIDI controllers.
            if (isLv2())
            {
                ASSERT_NE (plugin->getBypassParameter(), nullptr);
                EXPECT_EQ (plugin->getParameters().getFirst(), plugin->getBypassParameter());
                EXPECT_EQ (plugin->getParameters().size(), 31);
            }
            else
            {
                EXPECT_EQ (plugin->getParameters().size(), 32);
                EXPECT_EQ (plugin->getPluginDescription().category, "Fx|Dynamics");
            }
        }

        // What an LV2 host lists about the plug-in beside its ports: a description and a maintainer
        // whose e-mail is a mailto: address (an empty one reads as the bundle's own file).
        TEST (Lv2Metadata, DescriptionAndMaintainer)
        {
            const auto dsp = bundleFor (PluginFormatKind::lv2).getChildFile ("dsp.ttl").loadFileAsString();
            EXPECT_TRUE (dsp.contains ("doap:description \"Multichannel dynamic-range compressor\"")) << dsp.substring (0, 2000);
            EXPECT_TRUE (dsp.contains ("foaf:mbox <mailto:info@kestrom.example>"));
        }

        TEST_P (ParameterHostTest, ParametersHaveDistinctIds)
        {
            // Hosts store automation and projects under these ids: two parameters must never share one.
            auto plugin = loadFresh (format());
            ASSERT_NE (plugin, nullptr);

            juce::StringArray ids;
            for (auto* parameter : pluginParameters (*plugin))
                ids.addIfNotAlreadyThere (parameterIdOf (*parameter));
            EXPECT_EQ (ids.size(), 30) << ids.joinIntoString (" ");

            if (! isLv2())
            {
                for (int i = 0; i < ids.size(); ++i)
                {
                    EXPECT_EQ (ids[i], juce::String (i));  // legacy index-based VST3 ids
                }
            }
        }

        TEST_P (ParameterHostTest, AutomatableFlagsAsTheHostSeesThem)
        {
            auto plugin = loadFresh (format());
            ASSERT_NE (plugin, nullptr);
            const auto parameters = pluginParameters (*plugin);
            ASSERT_EQ (parameters.size(), 30);

            for (int i = 0; i < 30; ++i)
            {
                const bool notAutomatable = i == 4 || i == 8 || i == 13 || i == 23 || i == 24;
                // JUCE's LV2 export has no way to mark a parameter as not automatable.
                const bool expected = isLv2() || ! notAutomatable;
                EXPECT_EQ (parameters[i]->isAutomatable(), expected) << parameterNames[(size_t) i];
            }
        }

        TEST_P (ParameterHostTest, DefaultsAreTheNormalisedTable)
        {
            auto plugin = loadFresh (format());
            ASSERT_NE (plugin, nullptr);
            const auto parameters = pluginParameters (*plugin);
            ASSERT_EQ (parameters.size(), 30);

            for (int i = 0; i < 30; ++i)
            {
                EXPECT_NEAR (parameters[i]->getDefaultValue(), parameterDefaults[(size_t) i], 1.0e-6f)
                    << parameterNames[(size_t) i];
                EXPECT_NEAR (parameters[i]->getValue(), parameterDefaults[(size_t) i], 1.0e-6f) << parameterNames[(size_t) i];
            }
        }

        TEST_P (ParameterHostTest, TextShowsTheNormalisedValue)
        {
            auto plugin = loadFresh (format());
            ASSERT_NE (plugin, nullptr);
            prepare (*plugin, 48000.0, 1024);

            auto* threshold = findParameter (*plugin, "Threshold");
            ASSERT_NE (threshold, nullptr);

            // 0.72, not the threshold in dB (-14).
            EXPECT_NEAR (threshold->getCurrentValueAsText().getDoubleValue(), 0.72, 1.0e-4) << threshold->getCurrentValueAsText();

            setParameterAsHost (*threshold, 0.25f);
            processBlocks (*plugin, 1);
            EXPECT_NEAR (threshold->getCurrentValueAsText().getDoubleValue(), 0.25, 1.0e-4) << threshold->getCurrentValueAsText();
            plugin->releaseResources();
        }

        BRISALTO_FOR_EACH_FORMAT (ParameterHostTest);

    }  // namespace
}  // namespace brisalto::host::test
