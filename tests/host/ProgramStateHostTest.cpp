// Factory programs and saved state as a host sees them, through each built format: a program
// chosen by the host shows in the host's parameter view, survives a save and a load into a
// new instance, and the new instance renders the same audio. Programs are chosen and states
// restored as in a DAW: audio runs on its own thread in real time while the host's message
// loop turns, no editor open.

#include "DawSession.h"
#include "HostTestSupport.h"

#include <map>

namespace brisalto::host::test
{
    namespace
    {

        const char* const programNames[7] = { "default",
                                              "drum : snare",
                                              "drum : snare less body",
                                              "drum : snare less attack",
                                              "drum : snare cut background",
                                              "vocals : normal",
                                              "vocals : high dynamic" };

        // Normalised values of "drum : snare" and "vocals : normal"; every other parameter at its default.
        const std::map<int, float> snare { { 0, 0.7f },  { 1, 0.125f }, { 3, 0.2f },  { 5, 0.45f }, { 9, 1.0f },
                                           { 10, 0.2f }, { 13, 1.0f },  { 14, 1.0f }, { 18, 1.0f } };
        const std::map<int, float> vocals { { 0, 0.6f }, { 1, 0.055f }, { 3, 0.08f }, { 6, 0.6667f }, { 9, 1.0f }, { 10, 0.1f } };
        const std::map<int, float> snareCutBackground { { 0, 0.56f }, { 1, 0.1f },   { 3, 0.0f },   { 5, 0.85f }, { 7, 1.0f },
                                                        { 12, 0.05f }, { 14, 1.0f }, { 18, 1.0f }, { 26, 0.9f } };

        std::vector<float> hostView (juce::AudioPluginInstance& instance)
        {
            std::vector<float> values;
            for (auto* parameter : pluginParameters (instance))
                values.push_back (parameter->getValue());
            return values;
        }

        // The view a program gives: its values, and every other parameter at its default.
        std::vector<float> viewOf (const std::map<int, float>& program)
        {
            std::vector<float> values (parameterDefaults.begin(), parameterDefaults.end());
            for (const auto& [index, value] : program)
                values[(size_t) index] = value;
            return values;
        }

        bool hostViewShows (juce::AudioPluginInstance& instance, const std::map<int, float>& program)
        {
            const auto values = hostView (instance), expected = viewOf (program);
            return values.size() == expected.size()
                && std::equal (values.begin(), values.end(), expected.begin(),
                               [] (float a, float b) { return std::abs (a - b) <= 1.0e-4f; });
        }

        void expectProgramInHostView (juce::AudioPluginInstance& instance, const std::map<int, float>& program,
                                      const juce::String& what)
        {
            const auto values = hostView (instance), expected = viewOf (program);
            ASSERT_EQ (values.size(), 30u);
            for (size_t k = 0; k < 30; ++k)
                EXPECT_NEAR (values[k], expected[k], 1.0e-4f) << what << ": " << parameterNames[k];
        }

        // With audio running and the message loop turning: the view comes to show the program soon,
        // and still shows it half a second of audio later.
        void expectViewComesAndStays (juce::AudioPluginInstance& instance, DawSession& session,
                                      const std::map<int, float>& program, const juce::String& what)
        {
            EXPECT_TRUE (sharedHost().pumpUntil ([&] { return hostViewShows (instance, program); }, 30000))
                << what << ": the host's view did not follow";
            EXPECT_TRUE (session.waitForBlocks (sharedHost(), 48, 60000));
            expectProgramInHostView (instance, program, what + ", half a second later");
        }

        // Renders a few blocks of the quiet tone (the host hands its edits on with a block), then more
        // while the message loop runs, until the condition holds: what the plug-in posted to the host
        // has arrived (an LV2 hands it on with its blocks).
        bool settle (juce::AudioPluginInstance& instance, const std::function<bool()>& condition)
        {
            processBlocks (instance, 3);
            return sharedHost().pumpUntil (
                [&]
                {
                    if (condition())
                        return true;
                    processBlocks (instance, 1);
                    return false;
                },
                30000);
        }

        bool settlesOn (juce::AudioPluginInstance& instance, const std::map<int, float>& program)
        {
            return settle (instance, [&] { return hostViewShows (instance, program); });
        }

        // The output of a fixed signal, from a freshly prepared instance, as a DAW plays it from the
        // start (the start of playback resets what earlier blocks left in the plug-in).
        std::vector<float> render (juce::AudioPluginInstance& instance, int numBlocks)
        {
            PlayingHead head;
            instance.setPlayHead (&head);
            prepare (instance, 48000.0, 512);
            const int channels = juce::jmax (1, instance.getTotalNumInputChannels(), instance.getTotalNumOutputChannels());
            juce::AudioBuffer<float> buffer (channels, 512);
            juce::MidiBuffer midi;
            std::vector<float> output;

            for (int block = 0; block < numBlocks; ++block)
            {
                for (int channel = 0; channel < channels; ++channel)
                    for (int i = 0; i < 512; ++i)
                    {
                        const auto t = (float) (block * 512 + i);
                        buffer.setSample (channel, i,
                                          0.6f * std::sin (0.031f * t * (float) (channel + 1)) * (block % 4 == 0 ? 0.1f : 1.0f));
                    }
                midi.clear();
                instance.processBlock (buffer, midi);
                head.samples += 512;
                for (int channel = 0; channel < instance.getTotalNumOutputChannels(); ++channel)
                    output.insert (output.end(), buffer.getReadPointer (channel), buffer.getReadPointer (channel) + 512);
            }
            instance.setPlayHead (nullptr);
            return output;
        }

        // The host's index of a program: LV2 hosts list the exported presets in an order of their own.
        int hostProgramIndex (juce::AudioPluginInstance& instance, const juce::String& name)
        {
            for (int i = 0; i < instance.getNumPrograms(); ++i)
                if (instance.getProgramName (i) == name)
                    return i;
            ADD_FAILURE() << "the host lists no program named " << name;
            return 0;
        }

        class ProgramStateHostTest : public EachFormat
        {
        protected:
            // The parameter-view checks need the host to show the plug-in's 30 parameters.
            bool hostShowsAllParameters (juce::AudioPluginInstance& instance) { return pluginParameters (instance).size() == 30; }
        };

#define SKIP_UNLESS_HOST_SHOWS_ALL_PARAMETERS(instance) \
    if (! hostShowsAllParameters (instance))            \
    GTEST_SKIP() << "the host shows " << pluginParameters (instance).size() << " parameters, not 30"

        TEST_P (ProgramStateHostTest, HostOffersTheSevenPrograms)
        {
            auto plugin = loadFresh (format());
            ASSERT_NE (plugin, nullptr);
            // VST3 adds its program list; LV2 reads the presets the bundle exports.
            ASSERT_EQ (plugin->getNumPrograms(), 7);
            juce::StringArray listed, expected;
            for (int i = 0; i < 7; ++i)
            {
                listed.add (plugin->getProgramName (i));
                expected.add (programNames[i]);
            }
            if (! isLv2())
            {
                EXPECT_EQ (listed, expected);  // VST3 keeps the plug-in's order
            }
            listed.sort (false);
            expected.sort (false);
            EXPECT_EQ (listed, expected);
        }

        TEST_P (ProgramStateHostTest, ProgramChosenByTheHostShowsInItsParameterView)
        {
            auto plugin = loadFresh (format());
            ASSERT_NE (plugin, nullptr);
            SKIP_UNLESS_HOST_SHOWS_ALL_PARAMETERS (*plugin);
            prepare (*plugin, 48000.0, 512);
            DawSession session (*plugin, 48000.0, 512);
            session.start();
            ASSERT_TRUE (session.waitForBlocks (sharedHost(), 4, 60000));

            plugin->setCurrentProgram (hostProgramIndex (*plugin, "drum : snare"));
            expectViewComesAndStays (*plugin, session, snare, "drum : snare");

            // Two choices in quick succession: the second one stands.
            plugin->setCurrentProgram (hostProgramIndex (*plugin, "drum : snare less body"));
            plugin->setCurrentProgram (hostProgramIndex (*plugin, "vocals : normal"));
            expectViewComesAndStays (*plugin, session, vocals, "vocals : normal");

            plugin->setCurrentProgram (hostProgramIndex (*plugin, "default"));
            expectViewComesAndStays (*plugin, session, {}, "default");
            session.stop();
            plugin->releaseResources();
        }

        TEST_P (ProgramStateHostTest, ProgramAndEditsSurviveSaveAndLoadWithIdenticalOutput)
        {
            auto original = loadFresh (format());
            ASSERT_NE (original, nullptr);
            SKIP_UNLESS_HOST_SHOWS_ALL_PARAMETERS (*original);
            prepare (*original, 48000.0, 1024);
            original->setCurrentProgram (hostProgramIndex (*original, "drum : snare cut background"));
            ASSERT_TRUE (settlesOn (*original, snareCutBackground));
            setByName (*original, "Mix", 0.8f);
            setByName (*original, "HardLimiterOn", 1.0f);
            setByName (*original, "MakeupGain", 0.6f);
            // The host hands its edits on with a block; the limiter's look-ahead is reported from the
            // message thread.
            EXPECT_TRUE (settle (*original, [&] { return original->getLatencySamples() == 100; }));

            juce::MemoryBlock saved;
            original->getStateInformation (saved);
            ASSERT_GT (saved.getSize(), 0u);

            auto restored = loadFresh (format());
            ASSERT_NE (restored, nullptr);
            prepare (*restored, 48000.0, 1024);
            restored->setStateInformation (saved.getData(), (int) saved.getSize());
            EXPECT_TRUE (settle (*restored,
                                 [&]
                                 {
                                     return hostView (*restored) == hostView (*original)
                                         && restored->getLatencySamples() == original->getLatencySamples();
                                 }));

            const auto before = hostView (*original);
            const auto after = hostView (*restored);
            ASSERT_EQ (before.size(), 30u);
            EXPECT_NEAR (before[12], 0.8f, 1.0e-6f);  // the host's own edit is in the saved view
            EXPECT_NEAR (before[0], 0.56f, 1.0e-4f);  // and so is the program under it
            for (size_t k = 0; k < before.size(); ++k)
                EXPECT_EQ (after[k], before[k]) << parameterNames[k];

            const auto expected = render (*original, 24);
            const auto actual = render (*restored, 24);
            ASSERT_EQ (actual.size(), expected.size());
            size_t differing = 0;
            for (size_t i = 0; i < expected.size(); ++i)
                if (actual[i] != expected[i])
                    ++differing;
            EXPECT_EQ (differing, 0u) << "of " << expected.size() << " samples";

            original->releaseResources();
            restored->releaseResources();
        }

        TEST_P (ProgramStateHostTest, StateRestoredWhileAudioRunsShowsInTheHostsView)
        {
            juce::MemoryBlock saved;
            {
                auto original = loadFresh (format());
                ASSERT_NE (original, nullptr);
                SKIP_UNLESS_HOST_SHOWS_ALL_PARAMETERS (*original);
                prepare (*original, 48000.0, 1024);
                original->setCurrentProgram (hostProgramIndex (*original, "drum : snare"));
                ASSERT_TRUE (settlesOn (*original, snare));
                original->getStateInformation (saved);
                original->releaseResources();
            }

            auto restored = loadFresh (format());
            ASSERT_NE (restored, nullptr);
            prepare (*restored, 48000.0, 512);
            DawSession session (*restored, 48000.0, 512);
            session.start();
            ASSERT_TRUE (session.waitForBlocks (sharedHost(), 4, 60000));
            restored->setStateInformation (saved.getData(), (int) saved.getSize());
            expectViewComesAndStays (*restored, session, snare, "restored drum : snare");
            session.stop();
            restored->releaseResources();
        }

        BRISALTO_FOR_EACH_FORMAT (ProgramStateHostTest);

        // The LV2 bundle's manifest lists the programs as presets, each naming its program index.
        TEST (Lv2Presets, BundleExportsTheSevenPrograms)
        {
            const auto manifest = bundleFor (PluginFormatKind::lv2).getChildFile ("manifest.ttl");
            ASSERT_TRUE (manifest.existsAsFile()) << manifest.getFullPathName();
            const auto text = manifest.loadFileAsString();

            int count = 0;
            for (int from = 0; (from = text.indexOf (from, "a pset:Preset")) >= 0; ++from)
                ++count;
            EXPECT_EQ (count, 7);
            for (int i = 0; i < 7; ++i)
            {
                EXPECT_TRUE (text.contains ("rdfs:label \"" + juce::String (programNames[i]) + "\"")) << programNames[i];
                EXPECT_TRUE (text.contains (juce::String (programNames[i])
                                            + "\" ;\n\tstate:state [ <https://kestrom.example/plugins/brisalto:Program> \""
                                            + juce::String (i) + "\"^^xsd:int"))
                    << i;
            }
        }

    }  // namespace
}  // namespace brisalto::host::test
