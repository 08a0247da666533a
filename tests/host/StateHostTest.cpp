// A host saves the plug-in's state with the project and loads it into a new instance.

#include "HostTestSupport.h"

namespace brisalto::host::test
{
    namespace
    {

        class StateHostTest : public EachFormat
        {
        };

        TEST_P (StateHostTest, SavedStateRestoresIntoAFreshInstance)
        {
            const std::vector<std::pair<const char*, float>> changes { { "Threshold", 0.4f },         { "Ratio", 0.8f },
                                                                       { "AutoGainMakeupOn", 1.0f },  { "Mix", 0.75f },
                                                                       { "BPFilterFreq", 0.3f },      { "HardLimiterOn", 1.0f },
                                                                       { "HardLimiterRelease", 0.2f } };

            juce::MemoryBlock saved;
            {
                auto original = loadFresh (format());
                ASSERT_NE (original, nullptr);
                prepare (*original, 48000.0, 1024);
                for (const auto& [name, value] : changes)
                    setByName (*original, name, value);
                processBlocks (*original, 2);
                original->getStateInformation (saved);
                original->releaseResources();
            }
            ASSERT_GT (saved.getSize(), 0u);

            auto restored = loadFresh (format());
            ASSERT_NE (restored, nullptr);
            prepare (*restored, 48000.0, 1024);
            restored->setStateInformation (saved.getData(), (int) saved.getSize());
            auto* threshold = findParameter (*restored, "Threshold");
            ASSERT_NE (threshold, nullptr);
            renderUntil (
                *restored, [&] { return std::abs (threshold->getValue() - 0.4f) < 1.0e-5f; }, 3000);

            for (const auto& [name, value] : changes)
            {
                auto* parameter = findParameter (*restored, name);
                ASSERT_NE (parameter, nullptr) << name;
                EXPECT_NEAR (parameter->getValue(), value, 1.0e-5f) << name;
            }

            // Everything not touched is still at its default.
            const auto parameters = pluginParameters (*restored);
            ASSERT_EQ (parameters.size(), 30);
            for (int i = 0; i < 30; ++i)
            {
                const auto name = juce::String (parameterNames[(size_t) i]);
                const bool changed = std::any_of (changes.begin(), changes.end(), [&] (auto& c) { return name == c.first; });
                if (! changed)
                {
                    EXPECT_NEAR (parameters[i]->getValue(), parameterDefaults[(size_t) i], 1.0e-5f) << name;
                }
            }

            // The restored limiter setting shows in the latency the host reads.
            EXPECT_EQ (settledLatency (*restored, 100), 100);
            restored->releaseResources();
        }

        TEST_P (StateHostTest, GarbageStateLeavesTheDefaults)
        {
            auto plugin = loadFresh (format());
            ASSERT_NE (plugin, nullptr);
            prepare (*plugin, 48000.0, 1024);

            const char garbage[] = "{\"Threshold\": \"not a number\", \"x\": [1, 2";
            plugin->setStateInformation (garbage, (int) sizeof (garbage) - 1);
            processBlocks (*plugin, 2);

            // Proves a negative: a value the garbage moved would have reached the host by now.
            sharedHost().pumpMessages (50);
            processBlocks (*plugin, 1);

            // What the host reads is exactly the defaults of a fresh instance.
            const auto parameters = pluginParameters (*plugin);
            ASSERT_EQ (parameters.size(), 30);
            for (int i = 0; i < 30; ++i)
                EXPECT_NEAR (parameters[i]->getValue(), parameterDefaults[(size_t) i], 1.0e-6f) << parameterNames[(size_t) i];
            EXPECT_EQ (settledLatency (*plugin, 0), 0);
            plugin->releaseResources();
        }

        BRISALTO_FOR_EACH_FORMAT (StateHostTest);

        // A project keeps the plug-in's state apart from the layout the host negotiated: a state saved
        // on one layout loads on another (a project saved when 7.1.4 was the default opens on today's
        // stereo default), and the 7.1.4 LV2 keeps its own state like the others.
        TEST (StateAcrossLayoutsHostTest, StateSavedOnOneLayoutLoadsOnAnother)
        {
            using Set = juce::AudioChannelSet;
            struct Side
            {
                PluginFormatKind kind;
                juce::File bundle;
                Set layout;  // disabled: keep the bundle's own
            };
            struct Case
            {
                const char* name;
                Side from, to;
            };
            const Side vst3Wide { PluginFormatKind::vst3, bundleFor (PluginFormatKind::vst3), Set::create7point1point4() };
            const Side vst3Stereo { PluginFormatKind::vst3, bundleFor (PluginFormatKind::vst3), Set::stereo() };
            const Side lv2Wide { PluginFormatKind::lv2, wideLv2Bundle(), Set::disabled() };
            const Case cases[] { { "VST3 7.1.4 to stereo", vst3Wide, vst3Stereo },
                                 { "VST3 stereo to 7.1.4", vst3Stereo, vst3Wide },
                                 { "LV2 7.1.4", lv2Wide, lv2Wide } };

            const auto load = [] (const Side& side)
            {
                auto result = sharedHost().load (side.kind, side.bundle, 48000.0, 1024);
                EXPECT_NE (result.instance, nullptr) << result.error;
                if (result.instance != nullptr)
                {
                    if (! side.layout.isDisabled())
                    {
                        juce::AudioProcessor::BusesLayout layout;
                        layout.inputBuses.add (side.layout);
                        layout.inputBuses.add (side.layout);
                        layout.outputBuses.add (side.layout);
                        EXPECT_TRUE (result.instance->setBusesLayout (layout));
                    }
                    prepare (*result.instance, 48000.0, 1024);
                }
                return std::move (result.instance);
            };

            for (const auto& c : cases)
            {
                juce::MemoryBlock saved;
                {
                    auto original = load (c.from);
                    ASSERT_NE (original, nullptr);
                    setByName (*original, "Threshold", 0.4f);
                    setByName (*original, "Ratio", 0.8f);
                    processBlocks (*original, 2);
                    original->getStateInformation (saved);
                    original->releaseResources();
                }

                auto restored = load (c.to);
                ASSERT_NE (restored, nullptr);
                restored->setStateInformation (saved.getData(), (int) saved.getSize());
                auto* threshold = findParameter (*restored, "Threshold");
                auto* ratio = findParameter (*restored, "Ratio");
                ASSERT_TRUE (threshold != nullptr && ratio != nullptr);
                renderUntil (
                    *restored, [&] { return std::abs (threshold->getValue() - 0.4f) < 1.0e-5f; }, 3000);
                EXPECT_NEAR (threshold->getValue(), 0.4f, 1.0e-5f) << c.name;
                EXPECT_NEAR (ratio->getValue(), 0.8f, 1.0e-5f) << c.name;
                restored->releaseResources();
            }
        }

    }  // namespace
}  // namespace brisalto::host::test
