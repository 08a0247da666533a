#include "processor/PluginProcessor.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <vector>

namespace
{
    juce::String chunkOf (BrisaltoAudioProcessor& p)
    {
        juce::MemoryBlock block;
        p.getStateInformation (block);
        return block.toString();
    }

    void restore (BrisaltoAudioProcessor& p, const juce::String& text)
    {
        p.setStateInformation (text.toRawUTF8(), (int) text.getNumBytesAsUTF8());
    }

    juce::String crlfLines (std::initializer_list<const char*> lines)
    {
        juce::StringArray all;
        for (const auto* line : lines)
            all.add (line);
        return all.joinIntoString ("\r\n");
    }

    // Records what the wrappers would hear.
    struct HostListener : juce::AudioProcessorListener
    {
        std::set<int> changedIndices;
        std::vector<float> values = std::vector<float> (30, -1.0f);
        int programChanges = 0;

        void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float value) override
        {
            changedIndices.insert (index);
            if (index >= 0 && index < 30)
                values[(size_t) index] = value;
        }

        void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails& details) override
        {
            if (details.programChanged)
                ++programChanges;
        }
    };

    struct ScopedWrapperType
    {
        explicit ScopedWrapperType (juce::AudioProcessor::WrapperType type)
        {
            juce::AudioProcessor::setTypeOfNextNewPlugin (type);
        }
        ~ScopedWrapperType() { juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Undefined); }
    };

    struct StateChunk : ::testing::Test
    {
        ScopedXdgFolders folders;
        BrisaltoAudioProcessor p;
    };
}

//==============================================================================
TEST_F (StateChunk, FreshInstanceWritesTheDocumentedText)
{
    // Every float parameter is widened to double and written in the JSON writer's format:
    // 16 decimal places from 0.1 to 1, 17 from 0.01, 18 from 0.001, trailing zeros dropped;
    // whole values keep one decimal place.
    const auto expected = crlfLines ({ "{",
                                       "  \"trackNumber\": 1,",
                                       "  \"groupNumber\": 0,",
                                       "  \"grp_param_sync\": 1,",
                                       "  \"mixMode\": 2,",
                                       "  \"midiSideChan\": -1,",
                                       "  \"currentUserPreset\": \"\",",
                                       "  \"inputFormat\": 0,",
                                       "  \"Threshold\": 0.7200000286102295,",
                                       "  \"Release\": 0.02999999932944775,",
                                       "  \"AutoGainMakeupOn\": 0.0,",
                                       "  \"Attack\": 0.119999997317791,",
                                       "  \"Lookahead\": 0.3400000035762787,",
                                       "  \"Ratio\": 0.3499999940395355,",
                                       "  \"MakeupGain\": 0.5,",
                                       "  \"Non_Lin_Release_On\": 0.0,",
                                       "  \"Adpative_Thresh_On\": 0.0,",
                                       "  \"Tube_Distort_On\": 0.0,",
                                       "  \"TubeClassA_Amount\": 0.0,",
                                       "  \"FreqOut\": 0.009999999776482582,",
                                       "  \"Mix\": 1.0,",
                                       "  \"Smooth_Orig\": 1.0,",
                                       "  \"SoftLimiterOn\": 0.0,",
                                       "  \"MaxGainLevel\": 0.8999999761581421,",
                                       "  \"Adaptive_Relative_Gain\": 0.5,",
                                       "  \"Adaptive_Relative_Amount\": 0.8999999761581421,",
                                       "  \"MaxMakeupOn\": 0.0,",
                                       "  \"AutoGainAmount\": 0.5,",
                                       "  \"DistortAmount\": 0.0,",
                                       "  \"BPFilterOn\": 0.0,",
                                       "  \"BPFilterFreq\": 0.05000000074505806,",
                                       "  \"BPFilterListenOn\": 0.0,",
                                       "  \"BPFilterType\": 0.0,",
                                       "  \"BPFilterQ\": 0.2000000029802322,",
                                       "  \"Non_Lin_Release_Amount\": 0.1000000014901161,",
                                       "  \"TubeClassAB_Amount\": 0.0,",
                                       "  \"HardLimiterOn\": 0.0,",
                                       "  \"HardLimiterRelease\": 0.05000000074505806,",
                                       "  \"midi_progr_change_channel\": -1,",
                                       "  \"midi_progr_change_mode\": 0,",
                                       "  \"midi_CC_receive_mode\": 0,",
                                       "  \"midi_receive_from_DAW\": 0,",
                                       "  \"pluginResizedW\": 0,",
                                       "  \"pluginResizedH\": 0",
                                       "}" });

    juce::MemoryBlock block;
    p.getStateInformation (block);
    EXPECT_EQ (block.getSize(), (size_t) expected.length());  // pure ASCII, no terminator
    EXPECT_EQ (block.toString(), expected);
}

TEST_F (StateChunk, WeightsArrayAndEscapesInTheText)
{
    p.channel_weights[3] = 0.5f;
    p.setParameter (Mix, 0.7f);
    p.currentUserPreset = juce::String::fromUTF8 ("Caf\xc3\xa9 \"x\"\\\t\xf0\x9f\x98\x80");
    const auto text = chunkOf (p);

    EXPECT_TRUE (text.contains ("  \"Mix\": 0.699999988079071,\r\n"));
    EXPECT_TRUE (text.contains ("  \"currentUserPreset\": \"Caf\\u00e9 \\\"x\\\"\\\\\\t\\ud83d\\ude00\",\r\n"));
    EXPECT_TRUE (text.contains ("  \"pluginResizedH\": 0,\r\n"
                                "  \"channel_weights\": [\r\n"
                                "    1.0,\r\n"
                                "    1.0,\r\n"
                                "    1.0,\r\n"
                                "    0.5,\r\n"
                                "    1.0,\r\n"));
    EXPECT_EQ (text.fromLastOccurrenceOf ("1.0,\r\n", false, false), "    1.0\r\n  ]\r\n}");
    for (auto c : text)
        EXPECT_TRUE (c == '\r' || c == '\n' || (c >= 32 && c < 127));

    // Back to all ones: the key disappears again; a NaN weight counts as differing.
    p.channel_weights[3] = 1.0f;
    EXPECT_FALSE (chunkOf (p).contains ("channel_weights"));
    p.channel_weights[27] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE (chunkOf (p).contains ("channel_weights"));
}

TEST_F (StateChunk, BlockHoldsExactlyTheChunk)
{
    juce::MemoryBlock block ("left over from before", 21);
    p.getStateInformation (block);
    EXPECT_EQ (block.toString(), chunkOf (p));
    EXPECT_TRUE (block.toString().startsWith ("{") && block.toString().endsWith ("}"));
}

TEST_F (StateChunk, RoundTripIntoAFreshInstance)
{
    for (int k = 0; k < 30; ++k)
        p.setParameter (k, (float) ((k * 7 + 3) % 31) / 30.0f);
    p.trackNumber = 2;
    p.groupNumber = 5;
    p.grp_param_sync = 0;
    p.mixMode = 3;
    p.midiSideChan = 9;
    p.inputFormat = 14;
    p.midi_progr_change_channel = 4;
    p.midi_progr_change_mode = 2;
    p.midi_CC_receive_mode = 1;
    p.midi_receive_from_DAW = 1;
    p.pluginResizedW = 640;
    p.pluginResizedH = 480;
    for (int c = 0; c < MAX_CHANNELS; ++c)
        p.channel_weights[c] = (float) c / 27.0f;
    p.currentUserPreset = juce::String::fromUTF8 ("Z\xc3\xbcrich \xe2\x82\xac \xf0\x9f\x8e\xb8");

    const auto text = chunkOf (p);
    EXPECT_TRUE (text.contains ("\"trackNumber\": 3,"));

    BrisaltoAudioProcessor q;
    restore (q, text);

    for (int k = 0; k < 30; ++k)
        EXPECT_EQ (q.getParameter (k), p.getParameter (k)) << k;
    EXPECT_EQ (q.trackNumber, 2);
    EXPECT_EQ (q.groupNumber, 5);
    EXPECT_EQ (q.grp_param_sync, 0);
    EXPECT_EQ (q.mixMode, 3);
    EXPECT_EQ (q.midiSideChan, 9);
    EXPECT_EQ (q.inputFormat, 14);
    EXPECT_EQ (q.midi_progr_change_channel, 4);
    EXPECT_EQ (q.midi_progr_change_mode, 2);
    EXPECT_EQ (q.midi_CC_receive_mode, 1);
    EXPECT_EQ (q.midi_receive_from_DAW, 1);
    EXPECT_EQ (q.pluginResizedW, 640);
    EXPECT_EQ (q.pluginResizedH, 480);
    for (int c = 0; c < MAX_CHANNELS; ++c)
        EXPECT_EQ (q.channel_weights[c], p.channel_weights[c]) << c;
    EXPECT_EQ (q.currentUserPreset, p.currentUserPreset);
    EXPECT_EQ (q.currentUserPreset.length(), 10);  // the emoji is one character, not two halves
    EXPECT_EQ (q.mUserPresetModified, 0);

    EXPECT_EQ (chunkOf (q), text);
}

TEST_F (StateChunk, RestoreTakesTheProgramTheStateWasSavedWith)
{
    p.setCurrentProgram (3);
    p.setParameter (Mix, 0.8f);  // a host's edit under the program
    const auto text = chunkOf (p);
    EXPECT_TRUE (text.endsWith (",\r\n  \"currentProgram\": 3\r\n}")) << text;

    BrisaltoAudioProcessor q;
    q.setCurrentProgram (5);
    restore (q, text);
    EXPECT_EQ (q.getCurrentProgram(), 3);
    EXPECT_EQ (chunkOf (q), text);

    // No program, or none that is a program: "User Set", which is written without the key.
    for (const juce::String value : { "", "-1", "7", "2.5", "\"x\"", "1e300", "[1]", "null" })
    {
        q.setCurrentProgram (5);
        restore (q, "{\"Threshold\": 0.5" + (value.isEmpty() ? juce::String() : ", \"currentProgram\": " + value) + "}");
        EXPECT_EQ ((int) q.mCurrentProgram, -1) << value;
        EXPECT_EQ (q.getProgramName (q.mCurrentProgram), "User Set") << value;
        EXPECT_FALSE (chunkOf (q).contains ("currentProgram")) << value;
    }
    q.setCurrentProgram (9);
    EXPECT_FALSE (chunkOf (q).contains ("currentProgram"));
}

TEST_F (StateChunk, MissingHeaderKeysTakeTheirDefaultsAndParametersStay)
{
    p.setParameter (Threshold, 0.25f);
    p.mixMode = 3;
    p.groupNumber = 0;
    p.grp_param_sync = 0;
    p.trackNumber = 4;
    p.midiSideChan = 3;
    p.inputFormat = 13;
    p.midi_progr_change_channel = 7;
    p.midi_CC_receive_mode = 1;
    p.pluginResizedW = 300;
    p.channel_weights[0] = 0.5f;
    p.currentUserPreset = "kept";

    restore (p, "{ \"Release\": 0.9 }");  // a parameter key, but no "Threshold"

    EXPECT_EQ (p.mixMode, 1);
    EXPECT_EQ (p.trackNumber, 0);
    EXPECT_EQ (p.groupNumber, 1);
    EXPECT_EQ (p.grp_param_sync, 1);
    EXPECT_EQ (p.midiSideChan, -1);
    EXPECT_EQ (p.inputFormat, 0);
    EXPECT_EQ (p.midi_progr_change_channel, 0);  // channel 1, not "any"
    EXPECT_EQ (p.midi_CC_receive_mode, 0);
    EXPECT_EQ (p.pluginResizedW, 0);
    EXPECT_EQ (p.channel_weights[0], 0.5f);
    EXPECT_EQ (p.currentUserPreset, "kept");
    EXPECT_EQ (p.getParameter (Threshold), 0.25f);
    EXPECT_FLOAT_EQ (p.getParameter (Release), 0.03f);
}

TEST_F (StateChunk, ParametersFromNamesOrTheLegacyArray)
{
    for (int k = 0; k < 30; ++k)
        p.setParameter (k, 0.3f);

    // With "Threshold", a missing parameter takes its default.
    restore (p, "{ \"Threshold\": 0.5, \"Mix\": 0.25 }");
    EXPECT_EQ (p.getParameter (Threshold), 0.5f);
    EXPECT_EQ (p.getParameter (Mix), 0.25f);
    EXPECT_FLOAT_EQ (p.getParameter (Release), 0.03f);
    EXPECT_FLOAT_EQ (p.getParameter (Smooth_Orig), 1.0f);

    juce::String forty = "{ \"plugin_params\": [";
    for (int i = 0; i < 40; ++i)
        forty << (i > 0 ? ", " : "") << juce::String (i / 100.0);
    restore (p, forty + "] }");
    for (int k = 0; k < 30; ++k)
        EXPECT_FLOAT_EQ (p.getParameter (k), (float) (k / 100.0)) << k;

    for (int k = 0; k < 30; ++k)
        p.setParameter (k, 0.3f);
    restore (p, "{ \"plugin_params\": [0.9, 0.9, 0.9, 0.9, 0.9, 0.9, 0.9, 0.9, 0.9, 0.9] }");
    for (int k = 0; k < 30; ++k)
        EXPECT_FLOAT_EQ (p.getParameter (k), k < 10 ? 0.9f : 0.3f) << k;
}

TEST_F (StateChunk, WeightsFromAShorterOrLongerArray)
{
    for (int c = 0; c < MAX_CHANNELS; ++c)
        p.channel_weights[c] = 0.5f;
    restore (p, "{ \"channel_weights\": [0.25, 0.75] }");
    EXPECT_EQ (p.channel_weights[0], 0.25f);
    EXPECT_EQ (p.channel_weights[1], 0.75f);
    EXPECT_EQ (p.channel_weights[2], 0.5f);

    juce::String thirty = "{ \"channel_weights\": [";
    for (int i = 0; i < 30; ++i)
        thirty << (i > 0 ? ", " : "") << "0.125";
    restore (p, thirty + "] }");
    for (int c = 0; c < MAX_CHANNELS; ++c)
        EXPECT_EQ (p.channel_weights[c], 0.125f);
}

TEST_F (StateChunk, TrackNumberIsOneBasedInTheText)
{
    restore (p, "{ \"trackNumber\": 3 }");
    EXPECT_EQ (p.trackNumber, 2);
    EXPECT_TRUE (chunkOf (p).contains ("\"trackNumber\": 3,"));
}

TEST_F (StateChunk, CurrentUserPresetSelectsItsPositionInTheNameSet)
{
    p.mUserPresetNames = { "alpha", "beta", "gamma" };
    p.mCurrentUserPresetIndex = -1;
    restore (p, "{ \"currentUserPreset\": \"gamma\" }");
    EXPECT_EQ (p.mCurrentUserPresetIndex, 2);

    // The index follows the name: a name that is not listed (or none) leaves no preset marked.
    restore (p, "{ \"currentUserPreset\": \"nowhere\" }");
    EXPECT_EQ (p.currentUserPreset, "nowhere");
    EXPECT_EQ (p.mCurrentUserPresetIndex, -1);

    restore (p, "{ \"currentUserPreset\": \"beta\" }");
    EXPECT_EQ (p.mCurrentUserPresetIndex, 1);
    restore (p, "{ \"currentUserPreset\": \"\" }");
    EXPECT_EQ (p.mCurrentUserPresetIndex, -1);
}

TEST_F (StateChunk, SideChainSendStartsTheWatchdog)
{
    restore (p, "{ \"mixMode\": 4 }");
    EXPECT_EQ (p.mixMode, 4);
    EXPECT_TRUE (p.isTimerRunning());
    p.stopTimer();
}

TEST (StateChunkStandalone, NoMidiKeysAndNoExternalSideChain)
{
    ScopedXdgFolders folders;
    ScopedWrapperType type (juce::AudioProcessor::wrapperType_Standalone);
    BrisaltoAudioProcessor standalone;
    ASSERT_EQ (standalone.wrapperType, juce::AudioProcessor::wrapperType_Standalone);

    const auto text = chunkOf (standalone);
    EXPECT_FALSE (text.contains ("midi_"));
    EXPECT_TRUE (text.contains ("  \"HardLimiterRelease\": 0.05000000074505806,\r\n  \"pluginResizedW\": 0,"));

    standalone.midi_progr_change_mode = 1;
    standalone.midi_receive_from_DAW = 1;
    restore (standalone, "{ \"mixMode\": 5, \"midi_progr_change_mode\": 2, \"midi_receive_from_DAW\": 0 }");
    EXPECT_EQ (standalone.mixMode, 2);
    EXPECT_FALSE (standalone.isTimerRunning());
    EXPECT_EQ (standalone.midi_progr_change_mode, 1);
    EXPECT_EQ (standalone.midi_receive_from_DAW, 1);

    restore (standalone, "{ \"mixMode\": 4 }");
    EXPECT_EQ (standalone.mixMode, 2);
    EXPECT_FALSE (standalone.isTimerRunning());

    // A text from the Standalone restored in a plug-in: the MIDI keys take their defaults.
    BrisaltoAudioProcessor* plugin = nullptr;
    {
        ScopedWrapperType pluginType (juce::AudioProcessor::wrapperType_VST3);
        plugin = new BrisaltoAudioProcessor();
    }
    std::unique_ptr<BrisaltoAudioProcessor> owner (plugin);
    plugin->midi_progr_change_mode = 1;
    plugin->midi_progr_change_channel = 5;
    plugin->midi_CC_receive_mode = 1;
    plugin->midi_receive_from_DAW = 1;
    restore (*plugin, text);
    EXPECT_EQ (plugin->midi_progr_change_mode, 0);
    EXPECT_EQ (plugin->midi_progr_change_channel, 0);
    EXPECT_EQ (plugin->midi_CC_receive_mode, 0);
    EXPECT_EQ (plugin->midi_receive_from_DAW, 0);
}

TEST_F (StateChunk, HostHearsEveryMovedValueAfterARestoreOrAProgramChange)
{
    HostListener host;
    p.addListener (&host);

    restore (p, "{ \"Threshold\": 0.5, \"Mix\": 0.25 }");
    EXPECT_EQ (host.changedIndices.size(), 2u);
    EXPECT_EQ (host.values[Threshold], 0.5f);
    EXPECT_EQ (host.values[Mix], 0.25f);
    EXPECT_GE (host.programChanges, 1);

    // "drum : snare" moves 8 values from the defaults, and Mix back to its default.
    host.changedIndices.clear();
    p.setCurrentProgram (1);
    EXPECT_EQ (host.changedIndices.size(), 9u);
    EXPECT_FLOAT_EQ (host.values[Threshold], 0.7f);
    EXPECT_EQ (host.values[Mix], 1.0f);
    EXPECT_EQ (host.programChanges, 2);

    p.removeListener (&host);
}

// What a VST3 controller takes on the program announcement: each value the host's program
// choices moved, from what the controller last held to what the processor holds, leaving out one
// moved again since; nothing after the host's own restore, which re-reads every value itself.
TEST (StateChunkVst3, ControllerTakesTheSwitchedValuesNobodyMovedSince)
{
    ScopedXdgFolders folders;
    std::unique_ptr<BrisaltoAudioProcessor> plugin;
    {
        ScopedWrapperType pluginType (juce::AudioProcessor::wrapperType_VST3);
        plugin = std::make_unique<BrisaltoAudioProcessor>();
    }
    auto& controller = static_cast<ControllerValueRefresh&> (*plugin);

    plugin->setCurrentProgram (1);  // "drum : snare"
    plugin->setCurrentProgram (5);  // "vocals : normal"
    plugin->setParameter (Attack, 0.3f);
    const auto moved = controller.takeMovedValues();
    const struct
    {
        int index;
        bool taken;
        float before, now;
    } expected[] {
        { Threshold, true, 0.72f, 0.6f },
        { Release, true, 0.03f, 0.055f },
        { Attack, false, 0, 0 },
        { Mix, false, 0, 0 },
    };
    for (const auto& e : expected)
    {
        SCOPED_TRACE (e.index);
        EXPECT_EQ ((moved.indices >> e.index & 1u) != 0, e.taken);
        if (e.taken)
        {
            EXPECT_FLOAT_EQ (moved.before[e.index], e.before);
            EXPECT_FLOAT_EQ (moved.now[e.index], e.now);
        }
    }
    EXPECT_FALSE (controller.takeProgramAnnouncement());  // the host chose it there
    EXPECT_EQ (controller.takeMovedValues().indices, 0u);

    plugin->setCurrentProgram (1);
    restore (*plugin, "{ \"Threshold\": 0.5 }");
    EXPECT_EQ (controller.takeMovedValues().indices, 0u);

    // A refresh under way when the host restores learns of the restore after its copies, and
    // what it hands back to wait for the host is gone with the restore.
    plugin->setCurrentProgram (5);
    const auto takenBeforeRestore = controller.takeMovedValues();
    ASSERT_NE (takenBeforeRestore.indices, 0u);
    restore (*plugin, "{ \"Threshold\": 0.5 }");
    EXPECT_NE (controller.hostRestoresSoFar(), takenBeforeRestore.restoresBefore);
    controller.holdBackMovedValues (takenBeforeRestore);
    EXPECT_EQ (controller.takeMovedValues().indices, 0u);
}

// Writes real chunks as seeds for the reader's fuzz target when BRISALTO_WRITE_FUZZ_SEEDS names
// a folder (tests/fuzz/corpus holds the committed set).
TEST (StateChunkSeeds, WriteFuzzSeedsWhenAsked)
{
    const char* folder = std::getenv ("BRISALTO_WRITE_FUZZ_SEEDS");
    if (folder == nullptr)
        GTEST_SKIP() << "BRISALTO_WRITE_FUZZ_SEEDS not set";

    ScopedXdgFolders folders;
    const juce::File out (folder);
    out.createDirectory();
    const auto save = [&out] (BrisaltoAudioProcessor& p, const juce::String& name)
    {
        juce::MemoryBlock block;
        p.getStateInformation (block);
        ASSERT_TRUE (out.getChildFile (name).replaceWithData (block.getData(), block.getSize()));
    };

    BrisaltoAudioProcessor p;
    save (p, "fresh.json");
    for (int program = 1; program < p.getNumPrograms(); ++program)
    {
        p.setCurrentProgram (program);
        save (p, "program" + juce::String (program) + ".json");
    }

    p.mixMode = 4;
    p.trackNumber = 7;
    p.groupNumber = 3;
    p.midi_progr_change_mode = 2;
    p.pluginResizedW = 1024;
    p.pluginResizedH = 768;
    p.currentUserPreset = juce::String (L"Caf\u00e9 \"\\\t \U0001F3B8");
    for (int c = 0; c < MAX_CHANNELS; ++c)
        p.channel_weights[c] = (float) c / 28.0f;
    save (p, "weights-and-names.json");

    {
        ScopedWrapperType type (juce::AudioProcessor::wrapperType_Standalone);
        BrisaltoAudioProcessor standalone;
        save (standalone, "standalone.json");
    }

    out.getChildFile ("legacy.json")
        .replaceWithText ("{\r\n  \"mixMode\": 3,\r\n  \"plugin_params\": [0.5, 0.25, 1, 0, 0.125]\r\n}");
}
