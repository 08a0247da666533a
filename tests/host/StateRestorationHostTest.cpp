// A plug-in validator's state-restoration check through the built VST3: every parameter the
// host shows, the wrapper's "Program" list included, is set at random, the state saved, every
// parameter set at random again and the state restored; the host must then show the saved
// values. Run for several seeds on fresh instances, and in a mixed order on one instance, as a
// validator that shuffles its tests does; and right after the validator's automation, which picks
// programs through the program list while it renders.

#include "HostTestSupport.h"

#include <thread>

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

        // A validator's automation test, then its restoration test, on one instance. Its test thread
        // sets values at random, the program list among them (never the last program), and renders
        // a block after each round, while the host's message loop turns; the last round picks the
        // last program and then sets every other value. The state is taken at once, a value moved
        // and the state restored: the host and the processor hold what the host set last. A program
        // applied after the values the host set later (when the host hands its values to the
        // controller) put the program's values into the state instead.
        TEST (StateRestorationVst3, ValuesSetAfterAnAutomatedProgramComeBack)
        {
            auto plugin = loadFresh (PluginFormatKind::vst3, 48000.0, 512);
            ASSERT_NE (plugin, nullptr);
            prepare (*plugin, 48000.0, 512);
            const auto parameters = everyParameterButBypass (*plugin);
            ASSERT_TRUE (isProgramList (*parameters.getLast()));
            auto& programList = *parameters.getLast();
            const auto lastProgram = (float) (programList.getNumSteps() - 1);

            std::vector<float> hostSet (hostValues (*plugin));
            std::atomic<bool> done { false };
            std::thread validatorThread (
                [&]
                {
                    juce::Random random (1);
                    const int channels = juce::jmax (plugin->getTotalNumInputChannels(), plugin->getTotalNumOutputChannels());
                    juce::AudioBuffer<float> buffer (channels, 512);
                    juce::MidiBuffer midi;
                    const auto set = [&] (int index, float value)
                    {
                        parameters[index]->setValue (value);
                        hostSet[(size_t) index] = value;
                    };
                    for (int round = 0; round < 64; ++round)
                    {
                        for (int k = 0; k < 10; ++k)
                        {
                            const int index = random.nextInt (parameters.size());
                            set (index,
                                 index == parameters.size() - 1 ? (float) random.nextInt ((int) lastProgram) / lastProgram
                                                                : random.nextFloat());
                        }
                        if (round == 63)
                        {
                            set (parameters.size() - 1, 1.0f);
                            for (int index = 0; index < parameters.size() - 1; ++index)
                                set (index, random.nextFloat());
                        }
                        for (int channel = 0; channel < channels; ++channel)
                            for (int i = 0; i < 512; ++i)
                                buffer.setSample (channel, i, random.nextFloat() - 0.5f);
                        plugin->processBlock (buffer, midi);
                    }
                    done = true;
                });
            sharedHost().pumpUntil ([&] { return done.load(); }, 60000);
            validatorThread.join();

            juce::MemoryBlock saved;
            plugin->getStateInformation (saved);
            parameters[0]->setValue (1.0f - hostSet[0]);
            plugin->setStateInformation (saved.getData(), (int) saved.getSize());

            const auto expectHostSet = [&] (const char* when)
            {
                const auto inHost = hostValues (*plugin);
                for (size_t k = 0; k < hostSet.size(); ++k)
                    EXPECT_NEAR (inHost[k], hostSet[k], 1.0e-5f) << when << ", the host's " << parameters[(int) k]->getName (64);
                const auto inPlugin = pluginParameters (*plugin);  // the VST3's text of a value is the processor's own value
                for (int k = 0; k < inPlugin.size(); ++k)
                    EXPECT_NEAR (inPlugin[k]->getText (0.0f, 32).getFloatValue(), hostSet[(size_t) k], 1.0e-5f)
                        << when << ", the processor's " << inPlugin[k]->getName (64);
            };
            expectHostSet ("right after the restore");
            sharedHost().pumpMessages (100);
            expectHostSet ("a moment later");
        }

    }  // namespace
}  // namespace brisalto::host::test
