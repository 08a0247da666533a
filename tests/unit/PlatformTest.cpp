#include "platform/CloudDocuments.h"
#include "platform/Folders.h"
#include "platform/Log.h"
#include "common/InMemoryUserDefaults.h"
#include "HostileJson.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
    struct CapturingSink final : brisalto::platform::log::Sink
    {
        void write (int priority, const char* text, bool toStdout) override
        {
            std::lock_guard<std::mutex> lock (mutex);
            lines.push_back ({ priority, text, toStdout });
        }

        struct Line
        {
            int priority;
            std::string text;
            bool toStdout;
        };
        std::mutex mutex;
        std::vector<Line> lines;
    };

    struct ScopedSink
    {
        explicit ScopedSink (brisalto::platform::log::Sink& s) { brisalto::platform::log::setSink (&s); }
        ~ScopedSink() { brisalto::platform::log::setSink (nullptr); }
    };
}

TEST (Folders, FollowTheXdgVariables)
{
    ScopedXdgFolders folders;
    EXPECT_EQ (brisalto::platform::folders::configFolder(), folders.config().getChildFile ("Brisalto"));
    EXPECT_EQ (brisalto::platform::folders::localPresetFolder(), folders.data().getChildFile ("Brisalto/userPresets"));

    // Relative values are not valid XDG paths: the defaults under the home folder apply.
    ::setenv ("XDG_DATA_HOME", "relative/path", 1);
    const auto home = juce::File::getSpecialLocation (juce::File::userHomeDirectory);
    EXPECT_EQ (brisalto::platform::folders::dataFolder(), home.getChildFile (".local/share/Brisalto"));
}

TEST (UserDefaults, FileBackendKeepsIntegersAcrossInstances)
{
    ScopedXdgFolders folders;
    const auto file = folders.config().getChildFile ("Brisalto/user-defaults.json");
    {
        brisalto::platform::FileUserDefaults defaults (file);
        EXPECT_EQ (defaults.integerForKey ("kAppPrefMidiChannel"), 0);  // missing key
        defaults.setInteger ("kAppPrefMidiChannel", -1);
        defaults.setInteger ("kAppPrefMidiProgChangeMode", 2);
    }
    brisalto::platform::FileUserDefaults again (file);
    EXPECT_EQ (again.integerForKey ("kAppPrefMidiChannel"), -1);
    EXPECT_EQ (again.integerForKey ("kAppPrefMidiProgChangeMode"), 2);
}

TEST (UserDefaults, CorruptFileReadsAsEmptyAndIsRepairedByAWrite)
{
    ScopedXdgFolders folders;
    const auto file = folders.config().getChildFile ("Brisalto/user-defaults.json");
    ASSERT_TRUE (file.getParentDirectory().createDirectory());
    file.replaceWithText ("[1, 2, \"not an object\"");

    brisalto::platform::FileUserDefaults defaults (file);
    EXPECT_EQ (defaults.integerForKey ("kAppPrefMidiChannel"), 0);
    defaults.setInteger ("kAppPrefMidiChannel", 9);
    EXPECT_EQ (defaults.integerForKey ("kAppPrefMidiChannel"), 9);

    file.replaceWithText ("{\"kAppPrefMidiChannel\": \"seven\", \"kAppPrefMidiProgChangeMode\": 1e300}");
    EXPECT_EQ (defaults.integerForKey ("kAppPrefMidiChannel"), 0);
    EXPECT_EQ (defaults.integerForKey ("kAppPrefMidiProgChangeMode"), 0);
}

// Whatever stands at the file's place: how it is made, and a description of it to compare
// before and after (bytes of a regular file, else the link or the file type).
struct DefaultsFileCase
{
    const char* what;
    std::function<bool (const juce::File&)> make;
};

std::string describeEntry (const juce::File& file)
{
    struct stat info
    {
    };
    if (::lstat (file.getFullPathName().toRawUTF8(), &info) != 0)
        return "missing";
    if (S_ISLNK (info.st_mode))
        return "link to " + file.getLinkedTarget().getFullPathName().toStdString();
    if (S_ISFIFO (info.st_mode))
        return "fifo";
    if (S_ISDIR (info.st_mode))
        return "folder";
    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    return bytes.toString().toStdString();
}

TEST (UserDefaults, HostileFileReadsAsEmptyIsLoggedOnceAndSurvivesWriteBacks)
{
    std::vector<DefaultsFileCase> cases {
        { "a FIFO", [] (const juce::File& f) { return ::mkfifo (f.getFullPathName().toRawUTF8(), 0600) == 0; } },
        { "a link to /dev/zero", [] (const juce::File& f) { return juce::File ("/dev/zero").createSymbolicLink (f, true); } },
        { "a folder", [] (const juce::File& f) { return f.createDirectory().wasOk(); } },
        { "over 64 KiB",
          [] (const juce::File& f)
          {
              return f.replaceWithText ("{\"kAppPrefMidiProgChangeMode\": 1, \"pad\": \""
                                        + juce::String::repeatedString ("x", 70000) + "\"}");
          } },
        { "not JSON", [] (const juce::File& f) { return f.replaceWithText ("{\"kAppPrefMidiProgChangeMode\": 1,"); } },
    };
    for (const auto& hostile : hostileJsonTexts())
        cases.push_back ({ hostile.what, [text = hostile.text] (const juce::File& f) {
                              return f.replaceWithData (text.data(), text.size());
                          } });

    for (const auto& c : cases)
    {
        ScopedXdgFolders folders;
        const auto file = folders.config().getChildFile ("Brisalto/user-defaults.json");
        ASSERT_TRUE (file.getParentDirectory().createDirectory());
        ASSERT_TRUE (c.make (file)) << c.what;
        const auto before = describeEntry (file);

        CapturingSink sink;
        {
            ScopedSink scoped (sink);
            brisalto::platform::FileUserDefaults defaults (file);
            EXPECT_EQ (defaults.lookUpInteger ("kAppPrefMidiProgChangeMode"), std::nullopt) << c.what;
            EXPECT_EQ (defaults.integerForKey ("kAppPrefMidiProgChangeMode"), 0) << c.what;
            EXPECT_TRUE (defaults.stringForKey ("kAppPrefSyncRoot").isEmpty()) << c.what;
            defaults.writeBackInteger ("kAppPrefMidiProgChangeMode", 2);
            EXPECT_EQ (describeEntry (file), before) << c.what;

            // The user's own change replaces a file (a folder stays: it is nobody's file, and
            // so does a link, which a write only ever goes through).
            defaults.setInteger ("kAppPrefMidiProgChangeMode", 2);
            if (before == "folder" || before.rfind ("link", 0) == 0)
            {
                EXPECT_EQ (describeEntry (file), before) << c.what;
            }
            else
            {
                EXPECT_EQ (defaults.lookUpInteger ("kAppPrefMidiProgChangeMode"), std::optional<int64_t> (2)) << c.what;
            }
            brisalto::platform::log::flush();
        }
        std::lock_guard<std::mutex> lock (sink.mutex);
        const auto ignored = std::count_if (sink.lines.begin(), sink.lines.end(),
                                            [] (const auto& line) { return line.text.find ("ignored") != std::string::npos; });
        EXPECT_EQ (ignored, 1) << c.what;
    }
}

TEST (UserDefaults, WritesGoThroughALinkToWhatItNamesAndTheLinkStays)
{
    // Where the link points, relative to the configuration folder, whether that file is there
    // first, and whether the write can land.
    struct Case
    {
        const char* what;
        std::string target;
        bool targetExists;
        bool lands;
    };
    const std::vector<Case> cases {
        { "a link to a file", "dotfiles/user-defaults.json", true, true },
        { "a relative link, as stow makes them", "../Brisalto-dotfiles/user-defaults.json", true, true },
        { "a dangling link into a folder that exists", "dotfiles/user-defaults.json", false, true },
        { "a dangling link into a missing folder", "gone/user-defaults.json", false, false },
        { "a link into a folder nobody can write to", "/proc/brisalto-user-defaults.json", false, false },
    };
    for (const auto& c : cases)
    {
        ScopedXdgFolders folders;
        const auto file = folders.config().getChildFile ("Brisalto/user-defaults.json");
        ASSERT_TRUE (file.getParentDirectory().createDirectory());
        const auto target = file.getParentDirectory().getChildFile (c.target);
        if (c.target.rfind ("/proc", 0) != 0 && c.target.rfind ("gone", 0) != 0)
        {
            ASSERT_TRUE (target.getParentDirectory().createDirectory());
        }
        if (c.targetExists)
        {
            ASSERT_TRUE (target.replaceWithText ("{ \"kAppPrefMidiProgChangeMode\": 1, \"mine\": true }"));
        }
        ASSERT_EQ (::symlink (c.target.c_str(), file.getFullPathName().toRawUTF8()), 0) << c.what;
        const auto link = describeEntry (file);

        CapturingSink sink;
        {
            ScopedSink scoped (sink);
            brisalto::platform::FileUserDefaults defaults (file);
            defaults.writeBackInteger ("kAppPrefMidiProgChangeMode", 2);
            brisalto::platform::log::flush();
        }
        EXPECT_EQ (describeEntry (file), link) << c.what;
        EXPECT_EQ (target.existsAsFile(), c.lands) << c.what;
        if (c.lands)
        {
            EXPECT_EQ (brisalto::platform::FileUserDefaults (file).lookUpInteger ("kAppPrefMidiProgChangeMode"),
                       std::optional<int64_t> (2))
                << c.what;
            EXPECT_EQ (target.loadFileAsString().contains ("\"mine\""), c.targetExists) << c.what;
        }
        std::lock_guard<std::mutex> lock (sink.mutex);
        const auto failures =
            std::count_if (sink.lines.begin(), sink.lines.end(),
                           [] (const auto& line) { return line.text.find ("could NOT be written") != std::string::npos; });
        EXPECT_EQ (failures, c.lands ? 0 : 1) << c.what;
    }
}

TEST (UserDefaults, WriteBackKeepsAnUnchangedFileAsItIs)
{
    ScopedXdgFolders folders;
    const auto file = folders.config().getChildFile ("Brisalto/user-defaults.json");
    ASSERT_TRUE (file.getParentDirectory().createDirectory());
    const juce::String handEdited ("{ \"kAppPrefMidiProgChangeMode\" : 1,\n  \"mine\": [1, 2] }\n");
    ASSERT_TRUE (file.replaceWithText (handEdited));
    const auto before = file.loadFileAsString();

    brisalto::platform::FileUserDefaults defaults (file);
    defaults.writeBackInteger ("kAppPrefMidiProgChangeMode", 1);
    EXPECT_EQ (file.loadFileAsString(), before);
    defaults.writeBackInteger ("kAppPrefMidiProgChangeMode", 2);  // a changed value is stored, other keys kept
    EXPECT_EQ (defaults.lookUpInteger ("kAppPrefMidiProgChangeMode"), std::optional<int64_t> (2));
    EXPECT_TRUE (file.loadFileAsString().contains ("\"mine\""));
}

TEST (UserDefaults, LookUpTellsAMissingKeyApart)
{
    ScopedXdgFolders folders;
    const auto file = folders.config().getChildFile ("Brisalto/user-defaults.json");
    ASSERT_TRUE (file.getParentDirectory().createDirectory());
    file.replaceWithText ("{\"zero\": 0, \"minus\": -1, \"text\": \"seven\", \"half\": 1.5, \"huge\": 1e300, \"whole\": 3.0}");

    brisalto::platform::FileUserDefaults defaults (file);
    struct Case
    {
        const char* key;
        std::optional<int64_t> expected;
    };
    for (const auto& c : { Case { "zero", 0 }, Case { "minus", -1 }, Case { "whole", 3 }, Case { "missing", std::nullopt },
                           Case { "text", std::nullopt }, Case { "half", std::nullopt }, Case { "huge", std::nullopt } })
        EXPECT_EQ (defaults.lookUpInteger (c.key), c.expected) << c.key;

    brisalto::platform::InMemoryUserDefaults memory;
    EXPECT_EQ (memory.lookUpInteger ("zero"), std::nullopt);
    memory.setInteger ("zero", 0);
    EXPECT_EQ (memory.lookUpInteger ("zero"), std::optional<int64_t> (0));
}

TEST (CloudDocuments, SyncFolderFromTheVariableOrTheUserDefaults)
{
    ScopedXdgFolders folders;  // the variable set empty
    auto defaults = std::make_shared<brisalto::platform::InMemoryUserDefaults>();
    brisalto::platform::UserDefaults::setStandard (defaults);
    brisalto::platform::SyncFolderCloudDocuments store;
    const auto root = folders.syncRoot();
    const auto documents = root.getChildFile ("Kestrom Brisalto/Documents");

    EXPECT_FALSE (store.hasIdentityToken());  // nothing named: presets stay local
    EXPECT_TRUE (store.mobileDocumentsPath().isEmpty());
    EXPECT_TRUE (store.containerDocumentsPath().isEmpty());

    defaults->setString ("kAppPrefSyncRoot", root.getFullPathName());
    EXPECT_FALSE (store.hasIdentityToken());  // named but missing: not signed in
    ASSERT_TRUE (root.createDirectory());
    EXPECT_TRUE (store.hasIdentityToken());
    EXPECT_EQ (store.mobileDocumentsPath(), documents.getFullPathName());
    EXPECT_EQ (store.containerDocumentsPath(), documents.getFullPathName());
    EXPECT_TRUE (documents.isDirectory());  // the lookup makes the container

    // The variable wins; relative paths count for nothing.
    const auto other = folders.root.getChildFile ("other");
    ASSERT_TRUE (other.createDirectory());
    ::setenv ("BRISALTO_SYNC_ROOT", other.getFullPathName().toRawUTF8(), 1);
    EXPECT_EQ (brisalto::platform::SyncFolderCloudDocuments::syncRootPath(), other.getFullPathName());
    ::setenv ("BRISALTO_SYNC_ROOT", "relative/sync", 1);
    EXPECT_EQ (brisalto::platform::SyncFolderCloudDocuments::syncRootPath(), root.getFullPathName());
    defaults->setString ("kAppPrefSyncRoot", "relative/sync");
    EXPECT_TRUE (brisalto::platform::SyncFolderCloudDocuments::syncRootPath().isEmpty());

    brisalto::platform::UserDefaults::setStandard (nullptr);
}

TEST (UserDefaults, FileBackendKeepsStrings)
{
    ScopedXdgFolders folders;
    const auto file = folders.config().getChildFile ("Brisalto/user-defaults.json");
    brisalto::platform::FileUserDefaults (file).setString ("kAppPrefSyncRoot", "/home/me/Sync");
    brisalto::platform::FileUserDefaults again (file);
    EXPECT_EQ (again.stringForKey ("kAppPrefSyncRoot"), "/home/me/Sync");
    again.setInteger ("kAppPrefMidiChannel", 3);  // other keys stay
    EXPECT_EQ (again.stringForKey ("kAppPrefSyncRoot"), "/home/me/Sync");
    EXPECT_TRUE (again.stringForKey ("kAppPrefMidiChannel").isEmpty());
}

TEST (Log, MessagesFromManyThreadsArriveWhole)
{
    CapturingSink sink;
    ScopedSink scoped (sink);
    const auto droppedBefore = brisalto::platform::log::droppedCount();

    // Fewer messages than the queue holds: none may be lost, whatever the drain thread does.
    constexpr int threads = 4, perThread = 50;
    static_assert (threads * perThread + 1 < 512, "within the queue's capacity");
    ASSERT_GE (brisalto::platform::log::capacity(), (unsigned long) (threads * perThread + 1));
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back (
            [t]
            {
                for (int i = 0; i < perThread; ++i)
                    brisalto::platform::log::write (brisalto::platform::log::notice, "Brisalto thread %d message %d", t, i);
            });
    for (auto& w : workers)
        w.join();
    brisalto::platform::log::print ("Brisalto printed %s\n", "line");
    brisalto::platform::log::flush();

    EXPECT_EQ (brisalto::platform::log::droppedCount(), droppedBefore);
    std::lock_guard<std::mutex> lock (sink.mutex);
    // Each message exactly once, whole, at its priority, and each thread's in its order.
    std::vector<int> next (threads, 0);
    for (const auto& line : sink.lines)
    {
        if (line.text.rfind ("Brisalto thread", 0) != 0)
            continue;
        int t = -1, i = -1;
        ASSERT_EQ (std::sscanf (line.text.c_str(), "Brisalto thread %d message %d", &t, &i), 2) << line.text;
        ASSERT_TRUE (t >= 0 && t < threads) << line.text;
        EXPECT_EQ (line.text, "Brisalto thread " + std::to_string (t) + " message " + std::to_string (i));
        EXPECT_EQ (i, next[(size_t) t]) << "thread " << t;
        next[(size_t) t] = i + 1;
        EXPECT_EQ (line.priority, brisalto::platform::log::notice);
        EXPECT_FALSE (line.toStdout);
    }
    for (int t = 0; t < threads; ++t)
        EXPECT_EQ (next[(size_t) t], perThread) << "thread " << t;
    ASSERT_FALSE (sink.lines.empty());
    EXPECT_EQ (sink.lines.back().text, "Brisalto printed line\n");
    EXPECT_TRUE (sink.lines.back().toStdout);
}

TEST (Log, OverlongMessagesAreCutAndAFloodIsDroppedNotBlocked)
{
    {
        CapturingSink sink;
        ScopedSink scoped (sink);
        const std::string longText (5000, 'x');
        brisalto::platform::log::write (brisalto::platform::log::warning, "%s", longText.c_str());
        brisalto::platform::log::flush();
        std::lock_guard<std::mutex> lock (sink.mutex);
        ASSERT_EQ (sink.lines.size(), 1u);
        const auto& text = sink.lines[0].text;
        EXPECT_LT (text.size(), 1000u);                    // cut
        EXPECT_GE (text.size(), 400u);                     // to the slot, not to nothing
        EXPECT_EQ (text, std::string (text.size(), 'x'));  // the start of the message
        EXPECT_EQ (sink.lines[0].priority, brisalto::platform::log::warning);
    }

    // A sink that hangs: the drain thread is stuck in it with the first message, the queue
    // fills and every further message is dropped, while the writers never wait.
    struct HangingSink final : brisalto::platform::log::Sink
    {
        void write (int, const char* text, bool) override
        {
            std::unique_lock<std::mutex> lock (mutex);
            entered = true;
            changed.notify_all();
            changed.wait (lock, [this] { return released; });
            lines.push_back (text);
        }
        std::mutex mutex;
        std::condition_variable changed;
        bool entered = false, released = false;
        std::vector<std::string> lines;
    } sink;

    brisalto::platform::log::flush();
    brisalto::platform::log::setSink (&sink);
    const auto droppedBefore = brisalto::platform::log::droppedCount();
    brisalto::platform::log::write (brisalto::platform::log::notice, "flood %d", 0);
    {
        std::unique_lock<std::mutex> lock (sink.mutex);
        ASSERT_TRUE (sink.changed.wait_for (lock, std::chrono::seconds (60), [&] { return sink.entered; }))
            << "the drain thread did not take the first message";
    }

    // Returning at all while the sink hangs shows that writers never wait for it.
    constexpr int flood = 5000;
    for (int i = 1; i < flood; ++i)
        brisalto::platform::log::write (brisalto::platform::log::notice, "flood %d", i);

    const auto capacity = (int) brisalto::platform::log::capacity();
    EXPECT_EQ ((int) (brisalto::platform::log::droppedCount() - droppedBefore), flood - capacity);
    {
        std::lock_guard<std::mutex> lock (sink.mutex);
        sink.released = true;
        sink.changed.notify_all();
    }
    brisalto::platform::log::flush();
    brisalto::platform::log::setSink (nullptr);

    // The queue's worth, in order: the first messages, not some.
    ASSERT_EQ ((int) sink.lines.size(), capacity);
    for (int i = 0; i < capacity; ++i)
        EXPECT_EQ (sink.lines[(size_t) i], "flood " + std::to_string (i));
}
