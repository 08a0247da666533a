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

        // What the processor holds: the VST3's text of a value is the processor's own value.
        std::vector<float> processorValues (juce::AudioPluginInstance& instance)
        {
            std::vector<float> values;
            for (auto* parameter : pluginParameters (instance))
                values.push_back (parameter->getText (0.0f, 32).getFloatValue());
            return values;
        }

        bool hostShowsProcessorValues (juce::AudioPluginInstance& instance)
        {
            const auto inHost = hostValues (instance), inProcessor = processorValues (instance);
            for (size_t k = 0; k < inProcessor.size(); ++k)
                if (std::abs (inHost[k] - inProcessor[k]) > 1.0e-5f)
                    return false;
            return true;
        }

        // The host's view and the processor, against the values the host saw when it saved.
        void expectStateRestores (juce::AudioPluginInstance& instance, int seed)
        {
            juce::Random random (seed);
            randomise (instance, random);
            juce::MemoryBlock saved;
            instance.getStateInformation (saved);  // hands the host's edits to the plug-in first
            // The program chosen last reaches the host's view from the plug-in's message thread.
            ASSERT_TRUE (sharedHost().pumpUntil ([&] { return hostShowsProcessorValues (instance); }, 10000)) << "seed " << seed;
            const auto expected = hostValues (instance);

            randomise (instance, random);
            instance.setStateInformation (saved.getData(), (int) saved.getSize());
            EXPECT_TRUE (sharedHost().pumpUntil ([&] { return hostValues (instance) == expected && hostShowsProcessorValues (instance); },
                                                 10000));

            const auto parameters = everyParameterButBypass (instance);
            const auto actual = hostValues (instance), inProcessor = processorValues (instance);
            ASSERT_EQ (actual.size(), expected.size());
            for (size_t k = 0; k < actual.size(); ++k)
                EXPECT_NEAR (actual[k], expected[k], 1.0e-6f) << "seed " << seed << ": " << parameters[(int) k]->getName (1024);
            for (size_t k = 0; k < inProcessor.size(); ++k)
                EXPECT_NEAR (inProcessor[k], expected[k], 1.0e-5f) << "seed " << seed << ", the processor's " << parameters[(int) k]->getName (1024);
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

        // A validator's automation test: its test thread sets values at random, the program list
        // among them (never its last program), and renders a block after each round, while the
        // host's message loop turns. Before the last round the host hands its values to the
        // controller (as its timer does now and then) and its view settles; the last round picks the last program and,
        // when asked to, then sets every other value. Returns what the host set last.
        std::vector<float> automateAsAValidator (juce::AudioPluginInstance& plugin, bool lastRoundSetsEveryValue)
        {
            const auto parameters = everyParameterButBypass (plugin);
            const int programList = parameters.size() - 1;
            EXPECT_TRUE (isProgramList (*parameters[programList]));
            const auto lastProgram = (float) (parameters[programList]->getNumSteps() - 1);

            std::vector<float> hostSet (hostValues (plugin));
            std::atomic<int> stage { 0 };  // 1: the last round waits for the host, 2: it runs, 3: done
            std::thread validatorThread (
                [&]
                {
                    juce::Random random (1);
                    const int channels = juce::jmax (plugin.getTotalNumInputChannels(), plugin.getTotalNumOutputChannels());
                    juce::AudioBuffer<float> buffer (channels, 512);
                    juce::MidiBuffer midi;
                    const auto set = [&] (int index, float value)
                    {
                        parameters[index]->setValue (value);
                        hostSet[(size_t) index] = value;
                    };
                    for (int round = 0; round < 64; ++round)
                    {
                        for (int k = 0; k < 10 && round < 63; ++k)
                        {
                            const int index = random.nextInt (parameters.size());
                            set (index,
                                 index == programList ? (float) random.nextInt ((int) lastProgram) / lastProgram
                                                      : random.nextFloat());
                        }
                        if (round == 63)
                        {
                            for (stage = 1; stage.load() == 1;)
                                std::this_thread::yield();
                            set (programList, 1.0f);
                            for (int index = 0; index < programList && lastRoundSetsEveryValue; ++index)
                                set (index, random.nextFloat());
                        }
                        for (int channel = 0; channel < channels; ++channel)
                            for (int i = 0; i < 512; ++i)
                                buffer.setSample (channel, i, random.nextFloat() - 0.5f);
                        plugin.processBlock (buffer, midi);
                    }
                    stage = 3;
                });
            EXPECT_TRUE (sharedHost().pumpUntil ([&] { return stage.load() == 1; }, 60000));
            juce::MemoryBlock state;
            plugin.getStateInformation (state);  // JUCE's host hands its values to the controller first
            EXPECT_TRUE (sharedHost().pumpUntil ([&] { return hostShowsProcessorValues (plugin); }, 10000));
            stage = 2;
            sharedHost().pumpUntil ([&] { return stage.load() == 3; }, 60000);
            validatorThread.join();
            return hostSet;
        }

        // Then its restoration test, at once: the state taken, a value moved, the state restored.
        // The host and the processor hold what the host set last. A program applied after the values
        // the host set later (when the host handed its values to the controller) put the program's
        // values into the state instead.
        TEST (StateRestorationVst3, ValuesSetAfterAnAutomatedProgramComeBack)
        {
            auto plugin = loadFresh (PluginFormatKind::vst3, 48000.0, 512);
            ASSERT_NE (plugin, nullptr);
            prepare (*plugin, 48000.0, 512);
            const auto hostSet = automateAsAValidator (*plugin, true);

            juce::MemoryBlock saved;
            plugin->getStateInformation (saved);
            auto* threshold = everyParameterButBypass (*plugin)[0];
            threshold->setValue (1.0f - threshold->getValue());
            plugin->setStateInformation (saved.getData(), (int) saved.getSize());

            const auto parameters = everyParameterButBypass (*plugin);
            const auto expectHostSet = [&] (const char* when)
            {
                const auto inHost = hostValues (*plugin), inProcessor = processorValues (*plugin);
                ASSERT_EQ (inHost.size(), hostSet.size());
                for (size_t k = 0; k < inHost.size(); ++k)
                    EXPECT_NEAR (inHost[k], hostSet[k], 1.0e-5f) << when << ", the host's " << parameters[(int) k]->getName (64);
                for (size_t k = 0; k < inProcessor.size(); ++k)
                    EXPECT_NEAR (inProcessor[k], hostSet[k], 1.0e-5f)
                        << when << ", the processor's " << parameters[(int) k]->getName (64);
            };
            expectHostSet ("right after the restore");
            // Proves a negative: what the automation left pending would have arrived by now.
            sharedHost().pumpMessages (100);
            expectHostSet ("a moment later");
        }

        // A program the host chooses and, at once, its restore of a state saved earlier: the switch's
        // values reach the host from the plug-in's message thread while the restore runs on the
        // host's. The restored values stand, in the host and in the processor.
        TEST (StateRestorationVst3, ARestoreRightAfterAProgramChoiceStands)
        {
            auto plugin = loadFresh (PluginFormatKind::vst3);
            ASSERT_NE (plugin, nullptr);
            juce::Random random (7);
            for (auto* parameter : pluginParameters (*plugin))
                setParameterAsHost (*parameter, random.nextFloat());
            juce::MemoryBlock saved;
            plugin->getStateInformation (saved);
            const auto restored = processorValues (*plugin);
            auto& programList = *everyParameterButBypass (*plugin).getLast();
            ASSERT_TRUE (isProgramList (programList));

            const auto showsRestored = [&] { return processorValues (*plugin) == restored && hostShowsProcessorValues (*plugin); };
            for (int round = 0; round < 400; ++round)
            {
                setParameterAsHost (programList, (float) (1 + round % 6) / 6.0f);
                plugin->setStateInformation (saved.getData(), (int) saved.getSize());
                ASSERT_TRUE (sharedHost().pumpUntil (showsRestored, 10000)) << "round " << round;
                // Proves a negative: what the switch left pending would have overwritten them by now.
                sharedHost().pumpMessages (10);
                ASSERT_TRUE (showsRestored()) << "round " << round;
            }
        }

        // When the program was the last thing the host set, the host's view comes to show the values
        // it moved, which the processor holds.
        TEST (StateRestorationVst3, HostViewFollowsAProgramAutomatedLast)
        {
            auto plugin = loadFresh (PluginFormatKind::vst3, 48000.0, 512);
            ASSERT_NE (plugin, nullptr);
            prepare (*plugin, 48000.0, 512);
            automateAsAValidator (*plugin, false);

            const auto parameters = pluginParameters (*plugin);
            EXPECT_TRUE (sharedHost().pumpUntil ([&] { return hostShowsProcessorValues (*plugin); }, 10000));
            const auto inHost = hostValues (*plugin), inProcessor = processorValues (*plugin);
            for (size_t k = 0; k < inProcessor.size(); ++k)
                EXPECT_NEAR (inHost[k], inProcessor[k], 1.0e-5f) << parameters[(int) k]->getName (64);
        }

        // A host's automation from a thread of its own: what it sets there reaches the processor with
        // the block rendered right after, the controller only when the host's timer hands it over.
        // With no value, the block only hands on what the host set before.
        void automateOnAnotherThread (juce::AudioPluginInstance& plugin, juce::AudioProcessorParameter* parameter, float value)
        {
            std::thread automation (
                [&]
                {
                    juce::AudioBuffer<float> buffer (juce::jmax (plugin.getTotalNumInputChannels(), plugin.getTotalNumOutputChannels()), 64);
                    buffer.clear();
                    juce::MidiBuffer midi;
                    if (parameter != nullptr)
                        parameter->setValue (value);
                    plugin.processBlock (buffer, midi);
                });
            automation.join();
        }

        struct PlayingTransport final : juce::AudioPlayHead
        {
            juce::Optional<PositionInfo> getPosition() const override
            {
                PositionInfo position;
                position.setIsPlaying (true);
                return position;
            }
        };

        // While the host plays, it is asked to re-read the values a program switch moved while its
        // controller's copy of a value the host set since, one the switch left alone, is older than
        // the processor's (the value reached the processor first) or newer (the host set it on its
        // own thread; the processor receives it with the next block). Either way the host ends up
        // showing what it set last.
        TEST (StateRestorationVst3, ValueSetWhileTheHostLearnsOfASwitchStaysInItsView)
        {
            auto plugin = loadFresh (PluginFormatKind::vst3, 48000.0, 64);
            ASSERT_NE (plugin, nullptr);
            PlayingTransport transport;
            plugin->setPlayHead (&transport);
            prepare (*plugin, 48000.0, 64);
            const auto parameters = everyParameterButBypass (*plugin);
            auto& programList = *parameters.getLast();
            ASSERT_TRUE (isProgramList (programList));
            const auto lastProgram = (float) (programList.getNumSteps() - 1);
            juce::MemoryBlock state;

            for (const bool processorFirst : { true, false })
                for (const int program : { 1, 2, 3 })
                {
                    SCOPED_TRACE (juce::String (processorFirst ? "processor first, program " : "controller first, program ")
                                  + juce::String (program));
                    ASSERT_TRUE (sharedHost().pumpUntil ([&] { return hostShowsProcessorValues (*plugin); }, 10000));
                    const auto before = processorValues (*plugin);
                    automateOnAnotherThread (*plugin, &programList, (float) program / lastProgram);
                    const auto after = processorValues (*plugin);
                    const int count = (int) after.size();  // the plug-in's own, the program list not among them
                    int unmoved = 0;
                    while (unmoved < count && (after[(size_t) unmoved] != before[(size_t) unmoved] || parameters[unmoved]->isDiscrete()))
                        ++unmoved;
                    ASSERT_LT (unmoved, count);
                    auto& parameter = *parameters[unmoved];
                    const float set = parameter.getValue() < 0.5f ? 0.75f : 0.25f;

                    if (processorFirst)
                        automateOnAnotherThread (*plugin, &parameter, set);
                    else
                        parameter.setValue (set);
                    // The host hands its program to the controller now, on its own thread: the plug-in
                    // then asks the host to re-read its values. The same choice set again leaves the
                    // value that reached the processor first behind; a state call hands over every
                    // value the host has not handed over yet.
                    if (processorFirst)
                        programList.setValue ((float) program / lastProgram);
                    else
                        plugin->getStateInformation (state);
                    // The plug-in's own message thread takes the announcement meanwhile, with the host's
                    // loop still: it meets the value in transit. (Nothing to wait for: under load it may
                    // come later, and the value is then no longer in transit.)
                    std::this_thread::sleep_for (std::chrono::milliseconds (100));
                    if (! processorFirst)
                        automateOnAnotherThread (*plugin, nullptr, 0.0f);

                    EXPECT_TRUE (sharedHost().pumpUntil ([&] { return hostShowsProcessorValues (*plugin); }, 10000));
                    EXPECT_NEAR (parameter.getValue(), set, 1.0e-6f) << parameter.getName (64);
                }
            plugin->setPlayHead (nullptr);
        }

    }  // namespace
}  // namespace brisalto::host::test

