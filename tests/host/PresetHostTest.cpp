// A fresh instance starts from the default preset: the one in the cloud sync folder when one
// is named, else the local one.

#include "HostTestSupport.h"
#include "StateChunkEdit.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace brisalto::host::test
{
    namespace
    {

        // Sets an environment variable for the lifetime of the object (the plug-in reads it at once).
        struct ScopedVariable
        {
            ScopedVariable (const char* n, const juce::String& value)
                : name (n)
            {
                if (const char* old = std::getenv (name))
                    saved = old, had = true;
                ::setenv (name, value.toRawUTF8(), 1);
            }
            ~ScopedVariable() { had ? (void) ::setenv (name, saved.c_str(), 1) : (void) ::unsetenv (name); }

            const char* name;
            std::string saved;
            bool had = false;
        };

        class PresetHostTest : public EachFormat
        {
        protected:
            ~PresetHostTest() override { root.deleteRecursively(); }

            static void writeDefault (const juce::File& file, float threshold)
            {
                ASSERT_TRUE (file.getParentDirectory().createDirectory());
                ASSERT_TRUE (file.replaceWithText ("{ \"Threshold\": " + juce::String (threshold) + " }"));
            }

            float freshThreshold()
            {
                auto plugin = loadFresh (format());
                EXPECT_NE (plugin, nullptr);
                if (plugin == nullptr)
                    return -1.0f;
                // LV2 hosts hear of values the plug-in set itself while it runs, once its message
                // thread has told the wrapper: render until the value moves from the default.
                prepare (*plugin, 48000.0, 1024);
                auto* threshold = findParameter (*plugin, "Threshold");
                if (threshold == nullptr)
                    return -1.0f;
                renderUntil (
                    *plugin, [&] { return threshold->getValue() != parameterDefaults[0]; }, 10000);
                const auto value = threshold->getValue();
                plugin->releaseResources();
                return value;
            }

            juce::File root = juce::File::createTempFile ("brisalto-presets");
            ScopedVariable data { "XDG_DATA_HOME", root.getChildFile ("data").getFullPathName() };
            ScopedVariable sync { "BRISALTO_SYNC_ROOT", "" };
        };

        TEST_P (PresetHostTest, FreshInstanceStartsFromTheDefaultPresetInUse)
        {
            const auto syncRoot = root.getChildFile ("sync");
            writeDefault (root.getChildFile ("data/Brisalto/userPresets/BrisaltoDefault.json"), 0.25f);
            writeDefault (syncRoot.getChildFile ("Kestrom Brisalto/Documents/BrisaltoDefault.json"), 0.5f);

            EXPECT_NEAR (freshThreshold(), 0.25f, 1.0e-5f);

            ScopedVariable named ("BRISALTO_SYNC_ROOT", syncRoot.getFullPathName());
            EXPECT_NEAR (freshThreshold(), 0.5f, 1.0e-5f);
        }

        TEST_P (PresetHostTest, ProgramChangeInTheHostsMidiLoadsAUserPreset)
        {
            const auto folder = root.getChildFile ("data/Brisalto/userPresets");
            ASSERT_TRUE (folder.createDirectory());
            ASSERT_TRUE (folder.getChildFile ("Soft.midi5.json").replaceWithText ("{ \"Threshold\": 0.25 }"));

            auto plugin = loadFresh (format());
            ASSERT_NE (plugin, nullptr);
            prepare (*plugin, 48000.0, 1024);
            setStateDigits (*plugin, { { "midi_receive_from_DAW", 1 }, { "midi_progr_change_mode", 2 } });
            auto* threshold = findParameter (*plugin, "Threshold");
            ASSERT_NE (threshold, nullptr);
            EXPECT_GT (threshold->getValue(), 0.5f);

            juce::MidiBuffer programChange;
            programChange.addEvent (juce::MidiMessage::programChange (1, 5), 0);
            processBlocks (*plugin, 1, programChange);

            // Loaded on the plug-in's message thread; LV2 hosts hear of it while the plug-in runs.
            EXPECT_TRUE (sharedHost().pumpUntil (
                [&]
                {
                    processBlocks (*plugin, 1);
                    return std::abs (threshold->getValue() - 0.25f) < 1.0e-5f;
                },
                20000));
            plugin->releaseResources();
        }

        BRISALTO_FOR_EACH_FORMAT (PresetHostTest);

    }  // namespace
}  // namespace brisalto::host::test
