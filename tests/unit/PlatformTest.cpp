#include "platform/CloudDocuments.h"
#include "platform/Folders.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace
{
    struct CapturingSink final : platform::log::Sink
    {
        void write (int priority, const char* text, bool toStdout) override
        {
            std::lock_guard<std::mutex> lock (mutex);
            lines.push_back ({ priority, text, toStdout });
        }

        struct Line { int priority; std::string text; bool toStdout; };
        std::mutex mutex;
        std::vector<Line> lines;
    };

    struct ScopedSink
    {
        explicit ScopedSink (platform::log::Sink& s) { platform::log::setSink (&s); }
        ~ScopedSink() { platform::log::setSink (nullptr); }
    };
}

TEST (Folders, FollowTheXdgVariables)
{
    ScopedXdgFolders folders;
    EXPECT_EQ (platform::folders::configFolder(), folders.config().getChildFile ("Brisalto"));
    EXPECT_EQ (platform::folders::localPresetFolder(), folders.data().getChildFile ("Brisalto/userPresets"));

    // Relative values are not valid XDG paths: the defaults under the home folder apply.
    ::setenv ("XDG_DATA_HOME", "relative/path", 1);
    const auto home = juce::File::getSpecialLocation (juce::File::userHomeDirectory);
    EXPECT_EQ (platform::folders::dataFolder(), home.getChildFile (".local/share/Brisalto"));
}

TEST (UserDefaults, FileBackendKeepsIntegersAcrossInstances)
{
    ScopedXdgFolders folders;
    const auto file = folders.config().getChildFile ("Brisalto/user-defaults.json");
    {
        platform::FileUserDefaults defaults (file);
        EXPECT_EQ (defaults.integerForKey ("kAppPrefMidiChannel"), 0);  // missing key
        defaults.setInteger ("kAppPrefMidiChannel", -1);
        defaults.setInteger ("kAppPrefMidiProgChangeMode", 2);
    }
    platform::FileUserDefaults again (file);
    EXPECT_EQ (again.integerForKey ("kAppPrefMidiChannel"), -1);
    EXPECT_EQ (again.integerForKey ("kAppPrefMidiProgChangeMode"), 2);
}

TEST (UserDefaults, CorruptFileReadsAsEmptyAndIsRepairedByAWrite)
{
    ScopedXdgFolders folders;
    const auto file = folders.config().getChildFile ("Brisalto/user-defaults.json");
    ASSERT_TRUE (file.getParentDirectory().createDirectory());
    file.replaceWithText ("[1, 2, \"not an object\"");

    platform::FileUserDefaults defaults (file);
    EXPECT_EQ (defaults.integerForKey ("kAppPrefMidiChannel"), 0);
    defaults.setInteger ("kAppPrefMidiChannel", 9);
    EXPECT_EQ (defaults.integerForKey ("kAppPrefMidiChannel"), 9);

    file.replaceWithText ("{\"kAppPrefMidiChannel\": \"seven\", \"kAppPrefMidiProgChangeMode\": 1e300}");
    EXPECT_EQ (defaults.integerForKey ("kAppPrefMidiChannel"), 0);
    EXPECT_EQ (defaults.integerForKey ("kAppPrefMidiProgChangeMode"), 0);
}

TEST (UserDefaults, LookUpTellsAMissingKeyApart)
{
    ScopedXdgFolders folders;
    const auto file = folders.config().getChildFile ("Brisalto/user-defaults.json");
    ASSERT_TRUE (file.getParentDirectory().createDirectory());
    file.replaceWithText ("{\"zero\": 0, \"minus\": -1, \"text\": \"seven\", \"half\": 1.5, \"huge\": 1e300, \"whole\": 3.0}");

    platform::FileUserDefaults defaults (file);
    struct Case { const char* key; std::optional<int64_t> expected; };
    for (const auto& c : { Case { "zero", 0 }, Case { "minus", -1 }, Case { "whole", 3 }, Case { "missing", std::nullopt },
                           Case { "text", std::nullopt }, Case { "half", std::nullopt }, Case { "huge", std::nullopt } })
        EXPECT_EQ (defaults.lookUpInteger (c.key), c.expected) << c.key;

    platform::InMemoryUserDefaults memory;
    EXPECT_EQ (memory.lookUpInteger ("zero"), std::nullopt);
    memory.setInteger ("zero", 0);
    EXPECT_EQ (memory.lookUpInteger ("zero"), std::optional<int64_t> (0));
}

TEST (CloudDocuments, SyncFolderFromTheVariableOrTheUserDefaults)
{
    ScopedXdgFolders folders;   // the variable set empty
    auto defaults = std::make_shared<platform::InMemoryUserDefaults>();
    platform::UserDefaults::setStandard (defaults);
    platform::SyncFolderCloudDocuments store;
    const auto root = folders.syncRoot();
    const auto documents = root.getChildFile ("Kestrom Brisalto/Documents");

    EXPECT_FALSE (store.hasIdentityToken());   // nothing named: presets stay local
    EXPECT_TRUE (store.mobileDocumentsPath().isEmpty());
    EXPECT_TRUE (store.containerDocumentsPath().isEmpty());

    defaults->setString ("kAppPrefSyncRoot", root.getFullPathName());
    EXPECT_FALSE (store.hasIdentityToken());   // named but missing: not signed in
    ASSERT_TRUE (root.createDirectory());
    EXPECT_TRUE (store.hasIdentityToken());
    EXPECT_EQ (store.mobileDocumentsPath(), documents.getFullPathName());
    EXPECT_EQ (store.containerDocumentsPath(), documents.getFullPathName());
    EXPECT_TRUE (documents.isDirectory());     // the lookup makes the container

    // The variable wins; relative paths count for nothing.
    const auto other = folders.root.getChildFile ("other");
    ASSERT_TRUE (other.createDirectory());
    ::setenv ("BRISALTO_SYNC_ROOT", other.getFullPathName().toRawUTF8(), 1);
    EXPECT_EQ (platform::SyncFolderCloudDocuments::syncRootPath(), other.getFullPathName());
    ::setenv ("BRISALTO_SYNC_ROOT", "relative/sync", 1);
    EXPECT_EQ (platform::SyncFolderCloudDocuments::syncRootPath(), root.getFullPathName());
    defaults->setString ("kAppPrefSyncRoot", "relative/sync");
    EXPECT_TRUE (platform::SyncFolderCloudDocuments::syncRootPath().isEmpty());

    platform::UserDefaults::setStandard (nullptr);
}

TEST (UserDefaults, FileBackendKeepsStrings)
{
    ScopedXdgFolders folders;
    const auto file = folders.config().getChildFile ("Brisalto/user-defaults.json");
    platform::FileUserDefaults (file).setString ("kAppPrefSyncRoot", "/home/me/Sync");
    platform::FileUserDefaults again (file);
    EXPECT_EQ (again.stringForKey ("kAppPrefSyncRoot"), "/home/me/Sync");
    again.setInteger ("kAppPrefMidiChannel", 3);   // other keys stay
    EXPECT_EQ (again.stringForKey ("kAppPrefSyncRoot"), "/home/me/Sync");
    EXPECT_TRUE (again.stringForKey ("kAppPrefMidiChannel").isEmpty());
}

TEST (Log, MessagesFromManyThreadsArriveWhole)
{
    CapturingSink sink;
    ScopedSink scoped (sink);
    const auto droppedBefore = platform::log::droppedCount();

    constexpr int threads = 4, perThread = 50;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back ([t] {
            for (int i = 0; i < perThread; ++i)
                platform::log::write (platform::log::notice, "Brisalto thread %d message %d", t, i);
        });
    for (auto& w : workers)
        w.join();
    platform::log::print ("Brisalto printed %s\n", "line");
    platform::log::flush();

    std::lock_guard<std::mutex> lock (sink.mutex);
    int fromThreads = 0;
    for (const auto& line : sink.lines)
    {
        if (line.text.rfind ("Brisalto thread", 0) == 0)
        {
            ++fromThreads;
            EXPECT_EQ (line.priority, platform::log::notice);
            EXPECT_FALSE (line.toStdout);
        }
    }
    EXPECT_EQ (fromThreads + (int) (platform::log::droppedCount() - droppedBefore), threads * perThread);
    ASSERT_FALSE (sink.lines.empty());
    EXPECT_EQ (sink.lines.back().text, "Brisalto printed line\n");
    EXPECT_TRUE (sink.lines.back().toStdout);
}

TEST (Log, OverlongMessagesAreCutAndAFloodIsDroppedNotBlocked)
{
    CapturingSink sink;
    ScopedSink scoped (sink);

    const std::string longText (5000, 'x');
    platform::log::write (platform::log::warning, "%s", longText.c_str());
    platform::log::flush();
    {
        std::lock_guard<std::mutex> lock (sink.mutex);
        ASSERT_EQ (sink.lines.size(), 1u);
        EXPECT_LT (sink.lines[0].text.size(), 1000u);
        EXPECT_EQ (sink.lines[0].priority, platform::log::warning);
    }

    const auto droppedBefore = platform::log::droppedCount();
    for (int i = 0; i < 5000; ++i)
        platform::log::write (platform::log::notice, "flood %d", i);
    platform::log::flush();
    std::lock_guard<std::mutex> lock (sink.mutex);
    EXPECT_EQ ((sink.lines.size() - 1) + (platform::log::droppedCount() - droppedBefore), 5000u);
}
