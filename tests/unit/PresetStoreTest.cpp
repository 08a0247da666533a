// The user preset store, with the cloud folder in use (a temporary sync folder) and without.

#include "processor/PluginProcessor.h"
#include "processor/presets/PresetNames.h"
#include "common/InMemoryUserDefaults.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

namespace
{
    // Every file below a folder, as paths relative to it.
    std::set<juce::String> filesBelow (const juce::File& folder)
    {
        std::set<juce::String> files;
        for (const auto& entry : juce::RangedDirectoryIterator (folder, true, "*", juce::File::findFilesAndDirectories))
            if (! entry.isDirectory())
                files.insert (entry.getFile().getRelativePathFrom (folder));
        return files;
    }

    class PresetStore : public ::testing::TestWithParam<bool>
    {
    protected:
        PresetStore()
            : folders (GetParam())
        {
            brisalto::platform::UserDefaults::setStandard (std::make_shared<brisalto::platform::InMemoryUserDefaults>());
            folders.presetFolder().createDirectory();
        }
        ~PresetStore() override { brisalto::platform::UserDefaults::setStandard (nullptr); }

        bool cloud() const { return GetParam(); }
        // Where presets without ".local" go.
        juce::File mainFolder() const { return cloud() ? folders.cloudDocuments() : folders.presetFolder(); }

        void expectUnchanged (BrisaltoAudioProcessor& p, const std::set<juce::String>& names, const juce::String& current,
                              int index)
        {
            EXPECT_EQ (p.getUserPresetNames(), names);
            EXPECT_EQ (p.getCurrentUserPreset(), current);
            EXPECT_EQ (p.getCurrentUserPresetIndex(), index);
        }

        ScopedXdgFolders folders;
    };
}

TEST_P (PresetStore, CloudFolderIsInUseWhenTheSyncFolderExists)
{
    for (const auto type : { juce::AudioProcessor::wrapperType_VST3, juce::AudioProcessor::wrapperType_Standalone })
    {
        juce::AudioProcessor::setTypeOfNextNewPlugin (type);
        BrisaltoAudioProcessor p;
        juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Undefined);
        EXPECT_EQ (p.mICloudEnabled.load(), cloud() ? 1 : 0) << type;
        EXPECT_EQ (p.getPresetDir (0), mainFolder()) << type;
        EXPECT_EQ (p.getPresetDir (1), folders.presetFolder()) << type;
    }
}

TEST_P (PresetStore, RefusedNamesWriteNothingAndListNothing)
{
    BrisaltoAudioProcessor p;
    ASSERT_EQ (p.mICloudEnabled.load(), cloud() ? 1 : 0);
    ASSERT_TRUE (p.writeUserPreset ("Kept"));
    p.mUserPresetModified = 1;
    const auto before = filesBelow (folders.root);

    std::vector<juce::String> refused { "",
                                        ".",
                                        "..",
                                        ".hidden",
                                        "a/b",
                                        "../x",
                                        "/abs",
                                        "a\\b",
                                        "tab\there",
                                        "line\nend",
                                        juce::String::charToString (0x7f),
                                        juce::String::charToString (0x85),
                                        juce::String::charToString (0xd800),
                                        "BrisaltoDefault",
                                        "BrisaltoDefault.local",
                                        ".local",
                                        juce::String::repeatedString ("x", 231) };
    if (! cloud())
        refused.push_back ("Live.local");  // the suffix means something only while the cloud is in use

    for (const auto& name : refused)
    {
        SCOPED_TRACE (name);
        EXPECT_TRUE (p.getFullPathOfPreset (name).isEmpty());
        EXPECT_FALSE (p.writeUserPreset (name));
        expectUnchanged (p, { "Kept" }, "Kept", 0);
        EXPECT_EQ (p.mUserPresetModified.load(), 1);
    }
    EXPECT_EQ (filesBelow (folders.root), before);

    // A file stem ending in ".local" would be listed in one folder setting only: never written.
    EXPECT_FALSE (p.writeUserPreset ("Z.local.local"));
    EXPECT_EQ (filesBelow (folders.root), before);

    // ':' groups names in the menu and stays allowed; a name at the length limit too.
    EXPECT_TRUE (p.writeUserPreset ("drum : snare"));
    EXPECT_TRUE (p.writeUserPreset (juce::String::repeatedString ("x", 230)));
}

TEST_P (PresetStore, ListedNamesMapToTheirFilesAndBack)
{
    const auto local = folders.presetFolder();
    for (const auto* name :
         { "Live.json", "X.local.json", "BrisaltoDefault.json", ".hidden.json", "notes.txt", "sub/Nested.json" })
        local.getChildFile (name).replaceWithText ("{}");
    local.getChildFile ("Folder.json").createDirectory();
    ASSERT_EQ (::mkfifo (local.getChildFile ("Pipe.json").getFullPathName().toRawUTF8(), 0600), 0);
    if (cloud())
    {
        const auto docs = folders.cloudDocuments();
        docs.createDirectory();
        for (const auto* name :
             { "Live.json", "Cloud.json", "Y.local.json", "BrisaltoDefault.json", ".Cloud_temp1a2b.json", "old/A.json" })
            docs.getChildFile (name).replaceWithText ("{}");
    }

    BrisaltoAudioProcessor p;
    const std::set<juce::String> expected =
        cloud() ? std::set<juce::String> { "Cloud", "Live", "Live.local", "X.local.local" } : std::set<juce::String> { "Live" };
    ASSERT_EQ (p.getUserPresetNames(), expected);

    // Listed name -> file -> the name its folder lists it under.
    for (const auto& name : expected)
    {
        const juce::File file (p.getFullPathOfPreset (name));
        ASSERT_TRUE (file.existsAsFile()) << name;
        const bool inCloud = file.getParentDirectory() == folders.cloudDocuments();
        EXPECT_EQ (brisalto::presets::listedName (file.getFileName().toStdString(), inCloud, cloud()), name);
    }

    // New names go where they are listed from again.
    if (cloud())
    {
        ASSERT_TRUE (p.writeUserPreset ("New.local"));
        EXPECT_TRUE (local.getChildFile ("New.json").existsAsFile());
        ASSERT_TRUE (p.writeUserPreset ("New"));
        EXPECT_TRUE (folders.cloudDocuments().getChildFile ("New.json").existsAsFile());
    }
    BrisaltoAudioProcessor again;
    EXPECT_EQ (again.getUserPresetNames(), p.getUserPresetNames());
}

TEST_P (PresetStore, WritingMakesThePresetCurrentAndLoadingAppliesIt)
{
    BrisaltoAudioProcessor p;
    p.setParameter (Threshold, 0.25f);
    ASSERT_TRUE (p.writeUserPreset ("A"));
    p.setParameter (Threshold, 0.5f);
    ASSERT_TRUE (p.writeUserPreset ("B"));
    expectUnchanged (p, { "A", "B" }, "B", 1);

    // Overwriting an existing preset makes it the current one.
    p.setParameter (Threshold, 0.75f);
    p.mUserPresetModified = 1;
    ASSERT_TRUE (p.writeUserPreset ("A"));
    expectUnchanged (p, { "A", "B" }, "A", 0);
    EXPECT_EQ (p.mUserPresetModified.load(), 0);

    // Loading applies the file but keeps this instance's program-change settings.
    p.midi_progr_change_mode = 2;
    p.midi_progr_change_channel = 5;
    EXPECT_EQ (p.loadUserPreset ("B"), 0);
    EXPECT_FLOAT_EQ (p.getParameter (Threshold), 0.5f);
    expectUnchanged (p, { "A", "B" }, "B", 1);
    EXPECT_EQ (p.midi_progr_change_mode.load(), 2);
    EXPECT_EQ (p.midi_progr_change_channel.load(), 5);

    // "Save as Default" writes the default preset, which a new instance starts from.
    ASSERT_TRUE (p.writeDefaultPreset());
    EXPECT_TRUE (mainFolder().getChildFile ("BrisaltoDefault.json").existsAsFile());
    BrisaltoAudioProcessor fresh;
    EXPECT_FLOAT_EQ (fresh.getParameter (Threshold), 0.5f);
    EXPECT_EQ (fresh.getUserPresetNames(), (std::set<juce::String> { "A", "B" }));
}

TEST_P (PresetStore, BrokenOrUnlistedFilesAreNotLoaded)
{
    BrisaltoAudioProcessor p;
    ASSERT_TRUE (p.writeUserPreset ("Good"));
    ASSERT_TRUE (p.writeUserPreset ("Bad"));
    ASSERT_TRUE (p.writeUserPreset ("Good"));
    p.setParameter (Threshold, 0.125f);
    p.mUserPresetModified = 1;
    const auto file = mainFolder().getChildFile ("Bad.json");

    const std::vector<std::pair<const char*, std::function<void()>>> breakages {
        { "empty", [&] { file.replaceWithText (""); } },
        { "one byte", [&] { file.replaceWithText ("{"); } },
        { "truncated", [&] { file.replaceWithText ("{ \"Threshold\": 0.9, \"Ratio\""); } },
        { "not an object", [&] { file.replaceWithText ("[0.9, 0.9]"); } },
        { "oversized", [&] { file.replaceWithText ("{ \"Threshold\": 0.9 }" + juce::String::repeatedString (" ", 1 << 20)); } },
        { "folder",
          [&]
          {
              file.deleteFile();
              file.getChildFile ("x").replaceWithText ("x");
          } },
        { "FIFO",
          [&]
          {
              file.deleteRecursively();
              ASSERT_EQ (::mkfifo (file.getFullPathName().toRawUTF8(), 0600), 0);
          } },
        { "missing", [&] { file.deleteRecursively(); } },
    };
    for (const auto& [what, breakIt] : breakages)
    {
        SCOPED_TRACE (what);
        file.deleteRecursively();
        breakIt();
        EXPECT_EQ (p.loadUserPreset ("Bad"), -1);
        EXPECT_FLOAT_EQ (p.getParameter (Threshold), 0.125f);
        expectUnchanged (p, { "Bad", "Good" }, "Good", 1);
        EXPECT_EQ (p.mUserPresetModified.load(), 1);
    }

    // A name that is not listed is not loaded, even with its file present.
    mainFolder().getChildFile ("Stranger.json").replaceWithText ("{ \"Threshold\": 0.9 }");
    EXPECT_EQ (p.loadUserPreset ("Stranger"), -1);
    EXPECT_FLOAT_EQ (p.getParameter (Threshold), 0.125f);
}

TEST_P (PresetStore, FailedWritesAndRemovalsChangeNothing)
{
    BrisaltoAudioProcessor p;
    ASSERT_TRUE (p.writeUserPreset ("A"));
    ASSERT_TRUE (p.writeUserPreset ("B"));
    p.mUserPresetModified = 1;

    // A delete that fails (a non-empty folder in the preset's place) keeps the name.
    const auto fileB = mainFolder().getChildFile ("B.json");
    fileB.deleteFile();
    fileB.getChildFile ("keep").replaceWithText ("x");
    EXPECT_FALSE (p.removeUserPreset ("B"));
    expectUnchanged (p, { "A", "B" }, "B", 1);
    EXPECT_FALSE (p.removeUserPreset ("Unlisted"));
    fileB.deleteRecursively();
    EXPECT_FALSE (p.removeUserPreset ("B"));  // its file vanished: still listed
    expectUnchanged (p, { "A", "B" }, "B", 1);

    // A preset file the user made read-only keeps its content and its protection.
    const auto fileA = mainFolder().getChildFile ("A.json");
    const auto content = fileA.loadFileAsString();
    ASSERT_TRUE (fileA.setReadOnly (true));
    EXPECT_FALSE (p.writeUserPreset ("A"));
    EXPECT_EQ (fileA.loadFileAsString(), content);
    const auto permissions = std::filesystem::status (fileA.getFullPathName().toStdString()).permissions();
    EXPECT_EQ (permissions & std::filesystem::perms::owner_write, std::filesystem::perms::none);
    expectUnchanged (p, { "A", "B" }, "B", 1);
    ASSERT_TRUE (fileA.setReadOnly (false));

    // Writes fail once the preset folder cannot be made (its parent is a regular file).
    const auto blocker = folders.root.getChildFile ("blocker");
    blocker.replaceWithText ("x");
    if (cloud())
    {
        folders.cloudDocuments().deleteRecursively();
        folders.cloudDocuments().replaceWithText ("x");
    }
    else
    {
        ::setenv ("XDG_DATA_HOME", blocker.getChildFile ("data").getFullPathName().toRawUTF8(), 1);
    }
    EXPECT_FALSE (p.writeUserPreset ("C"));
    EXPECT_FALSE (p.writeUserPreset ("A"));
    EXPECT_FALSE (p.writeDefaultPreset());
    expectUnchanged (p, { "A", "B" }, "B", 1);
    EXPECT_EQ (p.mUserPresetModified.load(), 1);
}

TEST_P (PresetStore, RemovalDropsTheNameAndTheCurrentPreset)
{
    BrisaltoAudioProcessor p;
    ASSERT_TRUE (p.writeUserPreset ("A"));
    ASSERT_TRUE (p.writeUserPreset ("B"));
    EXPECT_TRUE (p.removeUserPreset ("A"));
    expectUnchanged (p, { "B" }, "", -1);
    EXPECT_FALSE (mainFolder().getChildFile ("A.json").exists());
    EXPECT_EQ (p.getUserPresetName (0), "B");
    EXPECT_EQ (p.getUserPresetName (1), "");
    EXPECT_EQ (p.getUserPresetName (-1), "");
}

INSTANTIATE_TEST_SUITE_P (LocalAndCloud, PresetStore, ::testing::Bool(),
                          [] (const auto& info) { return info.param ? "Cloud" : "LocalOnly"; });
