// A plug-in validator's state-restoration check through the built VST3: every parameter the
// host shows, the wrapper's "Program" list included, is set at random, the state saved, every
// parameter set at random again and the state restored; the host must then show the saved
// values. Run for several seeds on fresh instances, and in a mixed order on one instance, as a
// validator that shuffles its tests does.

#include "HostTestSupport.h"

namespace brisalto::host::test
{
    namespace
    {

        juce::Array<juce::AudioProcessorParameter*> everyParameterButBypass (juce::AudioPluginInstance& instance)
        {
            juce::Array<juce::AudioProcessorParameter*> result;
            for (auto* parameter : instance.getParameters())
                if (parameter != instance.getBypassParameter())
                    result.add (parameter);
            return result;
        }

        bool isProgramList (const juce::AudioProcessorParameter& parameter)
        {
            return parameter.getName (1024) == "Program";
        }

        // Random values as a host's automation sets them; the program list gets one of its programs,
        // as a host's program menu chooses it.
        void randomise (juce::AudioPluginInstance& instance, juce::Random& random)
        {
            for (auto* parameter : everyParameterButBypass (instance))
            {
                const auto steps = parameter->getNumSteps();
                const auto value =
                    isProgramList (*parameter) ? (float) random.nextInt (steps) / (float) (steps - 1) : random.nextFloat();
                setParameterAsHost (*parameter, value);
            }
        }

        std::vector<float> hostValues (juce::AudioPluginInstance& instance)
        {
            std::vector<float> values;
            for (auto* parameter : everyParameterButBypass (instance))
                values.push_back (parameter->getValue());
            return values;
        }

        void expectStateRestores (juce::AudioPluginInstance& instance, int seed)
        {
            juce::Random random (seed);
            randomise (instance, random);
            juce::MemoryBlock saved;
            instance.getStateInformation (saved);  // hands the host's edits to the plug-in first
            sharedHost().pumpMessages (20);
            const auto expected = hostValues (instance);

            randomise (instance, random);
            instance.setStateInformation (saved.getData(), (int) saved.getSize());
            sharedHost().pumpMessages (20);

            const auto parameters = everyParameterButBypass (instance);
            const auto actual = hostValues (instance);
            ASSERT_EQ (actual.size(), expected.size());
            for (size_t k = 0; k < actual.size(); ++k)
                EXPECT_NEAR (actual[k], expected[k], 1.0e-6f) << "seed " << seed << ": " << parameters[(int) k]->getName (1024);
        }

        TEST (StateRestorationVst3, EveryParameterComesBackForEachSeedAlone)
        {
            for (const int seed : { 1, 2, 3 })
            {
                auto plugin = loadFresh (PluginFormatKind::vst3);
                ASSERT_NE (plugin, nullptr);
                ASSERT_EQ (everyParameterButBypass (*plugin).size(), 31);  // 30 and the program list
                expectStateRestores (*plugin, seed);
            }
        }

        TEST (StateRestorationVst3, EveryParameterComesBackInAnyOrderOnOneInstance)
        {
            auto plugin = loadFresh (PluginFormatKind::vst3);
            ASSERT_NE (plugin, nullptr);
            for (const int seed : { 3, 1, 2, 2, 1, 3 })
                expectStateRestores (*plugin, seed);
        }

    }  // namespace
}  // namespace brisalto::host::test
