// What the plug-in tells a host, and when: after a restore the host's own edits stand (the
// plug-in sends no stale values back as edits), and the audio follows what the host set.

#include "DawSession.h"
#include "HostTestSupport.h"

namespace brisalto::host::test
{
    namespace
    {

        // Renders blocks of a loud tone and returns the RMS in dB of the last `measured` blocks.
        float renderLoudTone (juce::AudioPluginInstance& instance, PlayingHead& head, int blocks, int measured)
        {
            const int channels = juce::jmax (1, instance.getTotalNumInputChannels(), instance.getTotalNumOutputChannels());
            const int outs = instance.getMainBusNumOutputChannels();
            const int blockSize = instance.getBlockSize();
            juce::AudioBuffer<float> buffer (channels, blockSize);
            juce::MidiBuffer midi;
            double sum = 0.0;
            juce::int64 count = 0;
            for (int block = 0; block < blocks; ++block)
            {
                buffer.clear();
                for (int channel = 0; channel < instance.getMainBusNumInputChannels(); ++channel)
                    for (int i = 0; i < blockSize; ++i)
                        buffer.setSample (channel, i, 0.9f * std::sin (0.03f * (float) (head.samples + i)));
                midi.clear();
                instance.processBlock (buffer, midi);
                head.samples += blockSize;
                if (block >= blocks - measured)
                    for (int channel = 0; channel < outs; ++channel)
                        for (int i = 0; i < blockSize; ++i, ++count)
                            sum += (double) buffer.getSample (channel, i) * buffer.getSample (channel, i);
            }
            return (float) juce::Decibels::gainToDecibels (std::sqrt (sum / (double) juce::jmax<juce::int64> (1, count)), -200.0);
        }

        struct HostEdit
        {
            const char* name;
            float value;
        };
        const HostEdit hostEdits[] { { "Threshold", 0.4f }, { "Ratio", 0.6f }, { "Attack", 0.02f }, { "Release", 0.05f } };

        class HostNotificationHostTest : public EachFormat
        {
        };

        // Restore while playing, then the host's edits, then a pause in which the message loop runs:
        // the output is as loud as with those edits, and the host still shows them.
        TEST_P (HostNotificationHostTest, HostEditsAfterARestoreStand)
        {
            juce::MemoryBlock saved;
            {
                auto original = loadFresh (format());
                ASSERT_NE (original, nullptr);
                prepare (*original, 48000.0, 512);
                setByName (*original, "MakeupGain", 0.55f);
                processBlocks (*original, 2);
                original->getStateInformation (saved);
                original->releaseResources();
            }

            const auto run = [&] (bool pauseAfterEdits)
            {
                auto plugin = loadFresh (format());
                EXPECT_NE (plugin, nullptr);
                if (plugin == nullptr)
                    return std::pair<float, float> { 0.0f, 0.0f };
                PlayingHead head;
                plugin->setPlayHead (&head);
                prepare (*plugin, 48000.0, 512);
                renderLoudTone (*plugin, head, 1, 1);
                plugin->setStateInformation (saved.getData(), (int) saved.getSize());
                if (! pauseAfterEdits)
                {
                    // The reference: whatever the restore sends has arrived before the host edits.
                    auto* makeup = findParameter (*plugin, "MakeupGain");
                    EXPECT_TRUE (renderUntil (*plugin, [&] { return std::abs (makeup->getValue() - 0.55f) < 1.0e-4f; }, 30000));
                }
                for (const auto& edit : hostEdits)
                    setByName (*plugin, edit.name, edit.value);
                // Proves a negative, as the next one: nothing the restore left pending undoes the
                // edits while the message loop runs.
                if (pauseAfterEdits)
                    sharedHost().pumpMessages (100);
                const auto level = renderLoudTone (*plugin, head, 40, 10);
                sharedHost().pumpMessages (50);
                const auto threshold = findParameter (*plugin, "Threshold")->getValue();
                plugin->releaseResources();
                plugin->setPlayHead (nullptr);
                return std::pair<float, float> { level, threshold };
            };

            const auto expected = run (false);
            ASSERT_NEAR (expected.second, 0.4f, 1.0e-4f);
            for (int attempt = 0; attempt < 3; ++attempt)
            {
                const auto actual = run (true);
                EXPECT_NEAR (actual.first, expected.first, 0.1f) << "run " << attempt;
                EXPECT_NEAR (actual.second, 0.4f, 1.0e-4f) << "the host's Threshold, run " << attempt;
            }
        }

        // A VST3 host restores a state and at once sets values, on its own thread, while the plug-in's
        // message thread (on Linux a thread of the plug-in's own until a host attaches its run loop)
        // handles what the restore handed to it. Once both are done, the host and the processor hold
        // what the host set. Many short rounds: the threads meet in a narrow window. (The VST3's text of
        // a value is the processor's own value.)
        TEST (HostNotificationVst3HostTest, ValuesSetRightAfterARestoreHoldInHostAndProcessor)
        {
            const char* edited[] { "Threshold", "Attack", "Ratio", "MakeupGain" };
            auto plugin = loadFresh (PluginFormatKind::vst3, 48000.0, 512);
            ASSERT_NE (plugin, nullptr);
            prepare (*plugin, 48000.0, 512);
            for (const auto* name : edited)
                setByName (*plugin, name, 0.1f);
            juce::MemoryBlock saved;
            plugin->getStateInformation (saved);

            int failures = 0;
            for (int round = 0; round < 300 && failures < 3; ++round)
            {
                plugin->setStateInformation (saved.getData(), (int) saved.getSize());
                const float value = 0.5f + 0.01f * (float) (round % 20);
                for (const auto* name : edited)
                    setByName (*plugin, name, value);
                // Proves a negative: what the restore handed to the plug-in's message thread, which
                // would undo these values, has had its moment.
                sharedHost().pumpMessages (5);

                for (const auto* name : edited)
                {
                    auto* parameter = findParameter (*plugin, name);
                    const auto inProcessor = parameter->getText (value, 32).getFloatValue();
                    if (std::abs (parameter->getValue() - value) > 1.0e-4f || std::abs (inProcessor - value) > 1.0e-4f)
                    {
                        ADD_FAILURE() << "round " << round << ": " << name << " reads " << parameter->getValue()
                                      << ", the processor holds " << inProcessor << ", the host set " << value;
                        ++failures;
                    }
                }
            }
            plugin->releaseResources();
        }

        // Counts what reaches a host parameter as an edit of the plug-in's: a gesture, or a value that
        // JUCE's host hears on the plug-in's thread (performEdit). Values the host re-reads after the
        // plug-in's restart request arrive on the host's message thread.
        struct EditCounter final : juce::AudioProcessorParameter::Listener
        {
            explicit EditCounter (juce::AudioPluginInstance& instance)
                : parameters (pluginParameters (instance))
            {
                for (auto* parameter : parameters)
                    parameter->addListener (this);
            }
            ~EditCounter() override
            {
                for (auto* parameter : parameters)
                    parameter->removeListener (this);
            }
            void parameterValueChanged (int, float) override
            {
                if (! juce::MessageManager::getInstance()->isThisTheMessageThread())
                    ++edits;
            }
            void parameterGestureChanged (int, bool) override { ++edits; }

            juce::Array<juce::AudioProcessorParameter*> parameters;
            std::atomic<int> edits { 0 };
        };

        // A program the host chooses through its program parameter, with the transport stopped and
        // playing: the host's view comes to hold the processor's values, and no value reaches it as an
        // edit (the host would take it for the user's: automation written, project modified).
        TEST (HostNotificationVst3HostTest, ProgramTheHostChoosesReachesItsViewWithoutEdits)
        {
            for (const bool playing : { false, true })
            {
                SCOPED_TRACE (playing ? "transport playing" : "transport stopped");
                auto plugin = loadFresh (PluginFormatKind::vst3, 48000.0, 512);
                ASSERT_NE (plugin, nullptr);
                prepare (*plugin, 48000.0, 512);
                DawSession session (*plugin, 48000.0, 512);
                if (playing)
                {
                    session.start();
                    ASSERT_TRUE (session.waitForBlocks (sharedHost(), 4, 60000));
                }

                const auto parameters = pluginParameters (*plugin);
                ASSERT_EQ (parameters.size(), 30);
                const auto inProcessor = [] (juce::AudioProcessorParameter& parameter)
                {
                    return parameter.getText (0.0f, 32).getFloatValue();  // the processor's own value
                };
                const auto viewFollows = [&]
                {
                    for (auto* parameter : parameters)
                        if (std::abs (parameter->getValue() - inProcessor (*parameter)) > 1.0e-4f)
                            return false;
                    return true;
                };

                EditCounter counter (*plugin);
                plugin->setCurrentProgram (1);  // "drum : snare"
                EXPECT_TRUE (
                    sharedHost().pumpUntil ([&]
                                            { return std::abs (inProcessor (*parameters[0]) - 0.7f) < 1.0e-4f && viewFollows(); },
                                            10000));
                // Proves a negative: an edit sent late would have arrived by now.
                sharedHost().pumpMessages (200);
                for (auto* parameter : parameters)
                    EXPECT_NEAR (parameter->getValue(), inProcessor (*parameter), 1.0e-4f) << parameter->getName (64);
                EXPECT_EQ (counter.edits.load(), 0);
                session.stop();
                plugin->releaseResources();
            }
        }

        BRISALTO_FOR_EACH_FORMAT (HostNotificationHostTest);

    }  // namespace
}  // namespace brisalto::host::test
