// The factory preset files shipped in the bundles, and copying them and the factory programs
// into the user's presets.

#include "processor/PluginProcessor.h"
#include "common/InMemoryUserDefaults.h"
#include "tools/presets/FactoryPresetTable.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

namespace
{
    std::map<juce::String, juce::MemoryBlock> jsonFilesIn (const juce::File& folder)
    {
        std::map<juce::String, juce::MemoryBlock> files;
        for (const auto& file : folder.findChildFiles (juce::File::findFiles, false, "*"))
            file.loadFileAsData (files[file.getFileName()]);
        return files;
    }

    std::array<float, NUM_PARAMETERS> parametersOf (BrisaltoAudioProcessor& p)
    {
        std::array<float, NUM_PARAMETERS> values {};
        for (int k = 0; k < NUM_PARAMETERS; ++k)
            values[(size_t) k] = p.mParams[k];
        return values;
    }
}

TEST (FactoryPresetFiles, AreTheTablesPresetsAsStateChunks)
{
    ScopedXdgFolders folders;
    const juce::File source (BRISALTO_SOURCE_DIR "/resources/presets");
    std::vector<brisalto::FactoryPresetTable::Entry> entries;
    juce::String error;
    ASSERT_TRUE (
        brisalto::FactoryPresetTable::parse (source.getChildFile ("factory-presets.txt").loadFileAsString(), entries, error))
        << error;

    const auto files = source.findChildFiles (juce::File::findFiles, false, "*.json");
    EXPECT_EQ (files.size(), (int) entries.size()) << "regenerate them with brisalto-factory-presets";
    for (const auto& entry : entries)
    {
        SCOPED_TRACE (entry.name);
        EXPECT_NE (entry.name, "BrisaltoDefault");
        juce::MemoryBlock chunk;
        ASSERT_TRUE (source.getChildFile (entry.name + ".json").loadFileAsData (chunk));
        BrisaltoAudioProcessor p;
        ASSERT_TRUE (p.applyStateChunk (chunk.getData(), (int) chunk.getSize()));
        const auto values = parametersOf (p);
        for (int k = 0; k < NUM_PARAMETERS; ++k)
            EXPECT_FLOAT_EQ (values[(size_t) k], entry.normalised[(size_t) k]) << k;
    }
}

TEST (FactoryPresetTable, RefusesWhatCannotBecomeAPresetFile)
{
    for (const auto* table : { "", "# only a comment", "no bar", "BrisaltoDefault | Ratio = 2", ".hidden | Ratio = 2",
                               "a/b | Ratio = 2", "g:x | Ratio = 2", "x | Ratio = 2\nx | Ratio = 3", "x | Nope = 1",
                               "x | Ratio = two", "x | Ratio = 11", "x | Threshold = 5", "x | Ratio" })
    {
        std::vector<brisalto::FactoryPresetTable::Entry> entries;
        juce::String error;
        EXPECT_FALSE (brisalto::FactoryPresetTable::parse (table, entries, error)) << table;
        EXPECT_TRUE (error.isNotEmpty()) << table;
    }
}

namespace
{
    class CopyFactoryPresets : public ::testing::TestWithParam<bool>
    {
    protected:
        CopyFactoryPresets()
            : folders (GetParam())
        {
            brisalto::platform::UserDefaults::setStandard (std::make_shared<brisalto::platform::InMemoryUserDefaults>());
            folders.presetFolder().createDirectory();
            resources.createDirectory();
        }
        ~CopyFactoryPresets() override { brisalto::platform::UserDefaults::setStandard (nullptr); }

        juce::File mainFolder() const { return GetParam() ? folders.cloudDocuments() : folders.presetFolder(); }

        // A state chunk whose threshold tells it apart.
        juce::MemoryBlock chunkWithThreshold (BrisaltoAudioProcessor& p, float threshold)
        {
            float values[NUM_PARAMETERS];
            p.getProgramParameters (0, values);
            values[Threshold] = threshold;
            juce::MemoryBlock chunk;
            p.getStateInformationWith (values, {}, chunk);
            return chunk;
        }

        void addResource (const juce::String& fileName, const juce::MemoryBlock& data)
        {
            resources.getChildFile (fileName).replaceWithData (data.getData(), data.getSize());
        }

        ScopedXdgFolders folders;
        juce::File resources { folders.root.getChildFile ("Resources") };
    };
}

TEST_P (CopyFactoryPresets, AddsOnlyMissingNamesAndLeavesTheLiveStateAlone)
{
    BrisaltoAudioProcessor p;
    ASSERT_TRUE (p.writeUserPreset ("a"));  // a user preset with a factory file's name
    ASSERT_TRUE (p.writeUserPreset ("mine"));
    p.setParameter (Ratio, 0.9f);
    ASSERT_EQ (p.mUserPresetModified.load(), 1);

    addResource ("a.json", chunkWithThreshold (p, 0.1f));
    addResource ("g:b.json", chunkWithThreshold (p, 0.2f));
    addResource ("c.json", chunkWithThreshold (p, 0.3f));
    addResource ("BrisaltoDefault.json", chunkWithThreshold (p, 0.4f));
    addResource ("broken.json", juce::MemoryBlock ("{ not json", 10));
    addResource (".hidden.json", chunkWithThreshold (p, 0.5f));
    addResource ("tab\there.json", chunkWithThreshold (p, 0.6f));  // a name the store refuses
    resources.getChildFile ("folder.json").createDirectory();
    mainFolder().getChildFile ("c.json").replaceWithText ("{}");  // the user's file, not listed yet

    const auto before = jsonFilesIn (mainFolder());
    const auto parameters = parametersOf (p);
    EXPECT_TRUE (p.hasFactoryPresetsToCopy (resources));
    EXPECT_EQ (p.copyFactoryPresets (resources), 2 + p.getNumPrograms() - 1);

    const auto names = p.getUserPresetNames();
    for (const auto* name : { "a", "c", "g:b", "mine", "factory:drum : snare", "factory:vocals : high dynamic" })
        EXPECT_EQ (names.count (name), 1u) << name;
    for (const auto* name : { "BrisaltoDefault", "broken", "folder", ".hidden", "factory:default", "tab\there" })
        EXPECT_EQ (names.count (name), 0u) << name;
    EXPECT_EQ ((int) names.size(), 4 + p.getNumPrograms() - 1);

    // Files: the user's stay as they were, the new ones are whole, nothing temporary is left.
    const auto after = jsonFilesIn (mainFolder());
    for (const auto& [fileName, data] : before)
        EXPECT_EQ (after.at (fileName), data) << fileName;
    EXPECT_EQ (after.count ("BrisaltoDefault.json"), 0u);
    EXPECT_EQ ((int) after.size(), (int) names.size());
    juce::MemoryBlock copied;
    resources.getChildFile ("g:b.json").loadFileAsData (copied);
    EXPECT_EQ (after.at ("g:b.json"), copied);

    // The live state and the current preset are untouched; its index follows the new names.
    EXPECT_EQ (parametersOf (p), parameters);
    EXPECT_EQ (p.getCurrentUserPreset(), "mine");
    EXPECT_EQ (p.getCurrentUserPresetIndex(), p.getUserPresetIndx ("mine"));
    EXPECT_EQ (p.mUserPresetModified.load(), 1);

    // A program's preset holds that program's parameters.
    float program[NUM_PARAMETERS];
    p.getProgramParameters (1, program);
    ASSERT_EQ (p.loadUserPreset ("factory:" + p.getProgramName (1)), 0);
    EXPECT_FLOAT_EQ (p.mParams[Threshold].load(), program[Threshold]);

    EXPECT_FALSE (p.hasFactoryPresetsToCopy (resources));
    const auto settled = jsonFilesIn (mainFolder());
    EXPECT_EQ (p.copyFactoryPresets (resources), 0);
    EXPECT_EQ (jsonFilesIn (mainFolder()), settled);
}

TEST_P (CopyFactoryPresets, AFailedWriteChangesNothing)
{
    BrisaltoAudioProcessor p;
    ASSERT_TRUE (p.writeUserPreset ("mine"));
    addResource ("g:b.json", chunkWithThreshold (p, 0.2f));

    // The preset folder cannot be made: its place is taken by a regular file.
    mainFolder().deleteRecursively();
    mainFolder().replaceWithText ("x");
    EXPECT_EQ (p.copyFactoryPresets (resources), 0);
    EXPECT_EQ (p.getUserPresetNames(), std::set<juce::String> { "mine" });
    EXPECT_EQ (p.getCurrentUserPresetIndex(), 0);
    EXPECT_TRUE (p.hasFactoryPresetsToCopy (resources));
}

INSTANTIATE_TEST_SUITE_P (LocalAndCloud, CopyFactoryPresets, ::testing::Bool(),
                          [] (const auto& info) { return info.param ? "Cloud" : "LocalOnly"; });
