// The cloud watcher: its pass logic on made-up listings, the real watcher on a temporary
// folder, and processors sharing it.

#include "processor/PluginProcessor.h"
#include "processor/presets/CloudPass.h"
#include "processor/presets/PresetWatcher.h"
#include "platform/CloudDocuments.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "common/InMemoryUserDefaults.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <future>

using brisalto::presets::CloudPass;
using brisalto::presets::ListedDocument;

TEST (CloudPass, FollowsASequenceOfListings)
{
    struct Step
    {
        const char* what;
        std::vector<ListedDocument> listing;
        std::map<std::string, brisalto::presets::FileStamp> ownWrites;
        std::set<std::string> docs;
        bool changed;
        std::vector<std::string> downloaded;
        std::vector<std::string> pending;
    };
    const std::vector<Step> steps {
        { "gathering lists what is there",
          { { "/d/A.json", { 1, 1 } }, { "/d/B.json", { 2, 2 } } },
          {},
          { "/d/A.json", "/d/B.json" },
          true,
          {},
          {} },
        { "a new file is not current yet",
          { { "/d/A.json", { 1, 1 } }, { "/d/B.json", { 2, 2 } }, { "/d/C.json", { 3, 3 } } },
          {},
          { "/d/A.json", "/d/B.json" },
          false,
          {},
          { "/d/C.json" } },
        { "still growing",
          { { "/d/A.json", { 1, 1 } }, { "/d/B.json", { 2, 2 } }, { "/d/C.json", { 4, 3 } } },
          {},
          { "/d/A.json", "/d/B.json" },
          false,
          {},
          { "/d/C.json" } },
        { "unchanged for one listing: downloaded",
          { { "/d/A.json", { 1, 1 } }, { "/d/B.json", { 2, 2 } }, { "/d/C.json", { 4, 3 } } },
          {},
          { "/d/A.json", "/d/B.json", "/d/C.json" },
          true,
          { "C.json" },
          {} },
        { "an unchanged set calls no client",
          { { "/d/A.json", { 1, 1 } }, { "/d/B.json", { 2, 2 } }, { "/d/C.json", { 4, 3 } } },
          {},
          { "/d/A.json", "/d/B.json", "/d/C.json" },
          false,
          {},
          {} },
        { "a changed file leaves the set until it settles",
          { { "/d/A.json", { 1, 1 } }, { "/d/B.json", { 2, 9 } }, { "/d/C.json", { 4, 3 } } },
          {},
          { "/d/A.json", "/d/C.json" },
          true,
          {},
          { "/d/B.json" } },
        { "deletions are pruned from both lists", { { "/d/C.json", { 4, 3 } } }, {}, { "/d/C.json" }, true, {}, {} },
        { "an own write is current at once",
          { { "/d/C.json", { 4, 3 } }, { "/d/Mine.json", { 5, 5 } } },
          { { "/d/Mine.json", { 5, 5 } } },
          { "/d/C.json", "/d/Mine.json" },
          true,
          { "Mine.json" },
          {} },
        { "a file changed after the own write is not",
          { { "/d/C.json", { 4, 3 } }, { "/d/Mine.json", { 6, 6 } } },
          { { "/d/Mine.json", { 5, 5 } } },
          { "/d/C.json" },
          true,
          {},
          { "/d/Mine.json" } },
    };

    CloudPass pass;
    bool first = true;
    for (const auto& step : steps)
    {
        SCOPED_TRACE (step.what);
        const auto result = pass.run (step.listing, step.ownWrites);
        EXPECT_EQ (result.gathering, first);
        EXPECT_EQ (pass.docs(), step.docs);
        EXPECT_EQ (result.docsChanged, step.changed);
        EXPECT_EQ (result.downloaded, step.downloaded);
        EXPECT_EQ (pass.pendingUrls(), step.pending);
        std::set<std::string> listed;
        for (const auto& doc : step.listing)
            listed.insert (doc.path);
        for (const auto& path : pass.downloadedUrls())
            EXPECT_EQ (listed.count (path), 1u) << path;
        first = false;
    }

    // After a restart the next listing gathers again; the set is kept for the comparison.
    pass.restart();
    const auto result = pass.run ({ { "/d/C.json", { 4, 3 } } }, {});
    EXPECT_TRUE (result.gathering);
    EXPECT_FALSE (result.docsChanged);
    EXPECT_EQ (pass.docs(), (std::set<std::string> { "/d/C.json" }));
}

TEST (CloudPresetNames, RebuildKeepsLocalNamesAndTheCurrentName)
{
    ScopedXdgFolders folders (true);
    BrisaltoAudioProcessor p;
    const auto docs = folders.cloudDocuments().getFullPathName().toStdString();
    p.mICloudContainerPath = docs;
    p.mUserPresetNames = { "Mine.local", "Old", "Zeta" };
    p.currentUserPreset = "Old";
    p.mCurrentUserPresetIndex = 1;

    p.rebuildUserPresetNames ({ docs + "/BrisaltoDefault.json", docs + "/New.json", docs + "/Zeta.json", docs + "/Y.local.json",
                                docs + "/old/A.json", "/elsewhere/B.json" });
    EXPECT_EQ (p.getUserPresetNames(), (std::set<juce::String> { "Mine.local", "New", "Zeta" }));
    EXPECT_EQ (p.getCurrentUserPreset(), "Old");
    EXPECT_EQ (p.getCurrentUserPresetIndex(), -1);

    p.currentUserPreset = "Zeta";
    p.rebuildUserPresetNames ({ docs + "/Zeta.json" });
    EXPECT_EQ (p.getCurrentUserPresetIndex(), 1);
}

namespace
{
    class RealWatcher : public ::testing::Test
    {
    protected:
        RealWatcher()
        {
            folder.createDirectory();
            watcher.setInterval (60 * 60 * 1000);  // only the passes the test asks for
        }

        ~RealWatcher() override
        {
            watcher.removeClient (key, nullptr);
            watcher.setInterval (2000);
            pumpPendingMessages();
        }

        // Makes one pass and dispatches what it delivered; returns the last delivered set.
        std::set<std::string> scan()
        {
            EXPECT_TRUE (watcher.scanNowAndWait());
            pumpPendingMessages();
            return delivered;
        }

        std::string path (const char* name) const { return folder.getChildFile (name).getFullPathName().toStdString(); }

        void start()
        {
            pumpPendingMessages();
            EXPECT_FALSE (watcher.addClient (key, nullptr, folder,
                                             [this] (const auto& docs)
                                             {
                                                 delivered = docs;
                                                 ++deliveries;
                                             }));
        }

        ScopedXdgFolders folders;
        juce::File folder = folders.root.getChildFile ("docs");
        PresetWatcher& watcher = PresetWatcher::shared();
        const int64_t key = 1 << 20;
        std::set<std::string> delivered;
        int deliveries = 0;
    };
}

TEST_F (RealWatcher, ListsSettledJsonFilesDirectlyInTheFolder)
{
    folder.getChildFile ("A.json").replaceWithText ("{}");
    folder.getChildFile (".A_temp12ab.json").replaceWithText ("{}");
    folder.getChildFile ("notes.txt").replaceWithText ("x");
    folder.getChildFile ("Sub.json").createDirectory();
    folder.getChildFile ("sub/Nested.json").replaceWithText ("{}");
    ASSERT_EQ (::mkfifo (folder.getChildFile ("Pipe.json").getFullPathName().toRawUTF8(), 0600), 0);
    start();
    EXPECT_TRUE (watcher.isRunning());
    EXPECT_EQ (scan(), (std::set<std::string> { path ("A.json") }));

    // A new file, and one still being written, wait for one unchanged listing.
    folder.getChildFile ("B.json").replaceWithText ("{}");
    folder.getChildFile ("C.json").replaceWithText ("{");
    EXPECT_EQ (scan(), (std::set<std::string> { path ("A.json") }));
    folder.getChildFile ("C.json").appendText ("}");
    EXPECT_EQ (scan(), (std::set<std::string> { path ("A.json"), path ("B.json") }));
    EXPECT_EQ (scan(), (std::set<std::string> { path ("A.json"), path ("B.json"), path ("C.json") }));
    const int before = deliveries;
    scan();
    EXPECT_EQ (deliveries, before);  // nothing changed: nobody is called

    folder.getChildFile ("A.json").deleteFile();
    EXPECT_EQ (scan(), (std::set<std::string> { path ("B.json"), path ("C.json") }));

    // The folder replaced by a new one.
    folder.deleteRecursively();
    EXPECT_EQ (scan(), std::set<std::string> {});
    folder.createDirectory();
    folder.getChildFile ("D.json").replaceWithText ("{}");
    scan();
    EXPECT_EQ (scan(), (std::set<std::string> { path ("D.json") }));

    // Stopping joins the thread; a stopped watcher makes no pass.
    watcher.removeClient (key, nullptr);
    EXPECT_FALSE (watcher.isRunning());
    EXPECT_FALSE (watcher.scanNowAndWait (100));
}

TEST_F (RealWatcher, PollsWithoutBeingAsked)
{
    start();
    watcher.setInterval (20);
    folder.getChildFile ("Late.json").replaceWithText ("{}");
    EXPECT_TRUE (pumpMessagesUntil ([&] { return delivered.count (path ("Late.json")) == 1; }));
}

TEST (SharedWatcher, ProcessorsShareItAndTheLastOneStopsIt)
{
    ScopedXdgFolders folders (true);
    brisalto::platform::UserDefaults::setStandard (std::make_shared<brisalto::platform::InMemoryUserDefaults>());
    const auto docs = folders.cloudDocuments();
    ASSERT_TRUE (docs.createDirectory());
    docs.getChildFile ("A.json").replaceWithText ("{}");

    auto& watcher = PresetWatcher::shared();
    watcher.setInterval (60 * 60 * 1000);
    const auto registered = [&] (size_t n) { return pumpMessagesUntil ([&] { return watcher.clientCount() == n; }); };
    const auto settle = [&]
    {
        watcher.scanNowAndWait();
        pumpPendingMessages();
    };

    // A container answer that arrives after its instance was destroyed reaches nobody.
    std::make_unique<BrisaltoAudioProcessor>().reset();
    // Proves a negative: the lookup's answer would have arrived and registered a client by now.
    pumpMessagesUntil ([] { return false; }, 300);
    EXPECT_EQ (watcher.clientCount(), 0u);

    auto first = std::make_unique<BrisaltoAudioProcessor>();
    ASSERT_TRUE (registered (1));
    EXPECT_EQ (first->getPresetDir (0), docs);
    settle();
    EXPECT_EQ (first->getUserPresetNames(), (std::set<juce::String> { "A" }));

    // The second instance gets the watcher's list at once: a file that is not current yet
    // (seen by its own folder scan) is not in it.
    docs.getChildFile ("B.json").replaceWithText ("{}");
    settle();
    auto second = std::make_unique<BrisaltoAudioProcessor>();
    EXPECT_EQ (second->getUserPresetNames(), (std::set<juce::String> { "A", "B" }));
    ASSERT_TRUE (registered (2));
    EXPECT_EQ (second->getUserPresetNames(), (std::set<juce::String> { "A" }));

    // An own write counts as current at once for every instance.
    ASSERT_TRUE (first->writeUserPreset ("Mine"));
    settle();
    EXPECT_EQ (second->getUserPresetNames(), (std::set<juce::String> { "A", "B", "Mine" }));
    EXPECT_EQ (first->getCurrentUserPresetIndex(), 2);

    // One destroyed while a delivery is queued is not reached.
    docs.getChildFile ("A.json").deleteFile();
    ASSERT_TRUE (watcher.scanNowAndWait());
    second.reset();
    pumpPendingMessages();
    EXPECT_EQ (first->getUserPresetNames(), (std::set<juce::String> { "B", "Mine" }));

    // The last one leaving stops the watcher; a new instance starts it again.
    first.reset();
    EXPECT_FALSE (watcher.isRunning());
    docs.getChildFile ("C.json").replaceWithText ("{}");
    auto third = std::make_unique<BrisaltoAudioProcessor>();
    ASSERT_TRUE (registered (1));
    EXPECT_TRUE (watcher.isRunning());
    settle();
    EXPECT_EQ (third->getUserPresetNames(), (std::set<juce::String> { "B", "C", "Mine" }));

    third.reset();
    watcher.setInterval (2000);
    brisalto::platform::UserDefaults::setStandard (nullptr);
}

// A format wrapper shuts JUCE's message manager down after its last instance: a container
// answer that arrives later must not be posted at all (a post racing that shutdown writes
// to freed memory).
TEST (CloudContainerLookup, NothingIsPostedAfterTheLastInstance)
{
    struct SlowStore final : brisalto::platform::CloudDocuments
    {
        std::shared_future<void> release;
        std::promise<void> entered;
        bool hasIdentityToken() override { return true; }
        juce::String mobileDocumentsPath() override { return "/nonexistent"; }
        juce::String containerDocumentsPath() override
        {
            entered.set_value();
            release.wait();
            return "/nonexistent/Documents";
        }
    };
    struct AnswerSink : brisalto::platform::log::Sink
    {
        std::atomic<int> answers { 0 };
        void write (int, const char* text, bool) override { answers += juce::String (text).contains ("ubiURL") ? 1 : 0; }
    } sink;

    ScopedXdgFolders folders;
    std::promise<void> release;
    auto store = std::make_shared<SlowStore>();
    store->release = release.get_future().share();
    auto entered = store->entered.get_future();
    brisalto::platform::CloudDocuments::setStandard (store);
    brisalto::platform::log::setSink (&sink);

    // The lookup is still in the store when the only instance goes.
    std::make_unique<BrisaltoAudioProcessor>().reset();
    ASSERT_EQ (entered.wait_for (std::chrono::seconds (5)), std::future_status::ready);
    release.set_value();
    // Proves a negative: an answer posted once the store returned would have run (and been
    // logged) by now.
    pumpMessagesUntil ([] { return false; }, 300);
    brisalto::platform::log::flush();
    EXPECT_EQ (sink.answers.load(), 0);

    brisalto::platform::log::setSink (nullptr);
    brisalto::platform::CloudDocuments::setStandard (nullptr);
}
