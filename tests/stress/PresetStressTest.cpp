// A host thread saves and restores state while the message thread writes, removes, loads and
// rebuilds user presets. Built with ThreadSanitizer this must run without a report.

#include "processor/PluginProcessor.h"
#include "processor/presets/PresetWatcher.h"
#include "platform/UserDefaults.h"
#include "common/InMemoryUserDefaults.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST (PresetStress, HostStateCallsRaceTheStore)
{
    ScopedXdgFolders folders (true);
    brisalto::platform::UserDefaults::setStandard (std::make_shared<brisalto::platform::InMemoryUserDefaults>());
    BrisaltoAudioProcessor p;
    const auto docs = folders.cloudDocuments().getFullPathName().toStdString();
    p.mICloudContainerPath = docs;
    ASSERT_TRUE (p.writeUserPreset ("A"));

    const juce::String chunkNamingB = "{ \"currentUserPreset\": \"B\", \"Threshold\": 0.5 }";
    std::atomic<bool> running { true };
    std::atomic<long> hostRounds { 0 };
    std::thread host (
        [&]
        {
            juce::MemoryBlock state;
            while (running)
            {
                state.reset();
                p.getStateInformation (state);
                p.setStateInformation (chunkNamingB.toRawUTF8(), (int) chunkNamingB.getNumBytesAsUTF8());
                const auto names = p.getUserPresetNames();
                const auto index = p.getCurrentUserPresetIndex();
                EXPECT_LT (index, (int) names.size());
                ++hostRounds;
            }
        });

    for (int round = 0; round < 300 || hostRounds < 300; ++round)
    {
        p.writeUserPreset ("B");
        p.loadUserPreset ("A");
        p.removeUserPreset ("B");
        p.rebuildUserPresetNames ({ docs + "/A.json", docs + "/C.json" });
        EXPECT_EQ (p.getUserPresetIndx (p.getCurrentUserPreset()), p.getCurrentUserPresetIndex());
    }
    running = false;
    host.join();
    brisalto::platform::UserDefaults::setStandard (nullptr);
}

// Hosts destroy processors on threads of their own: clients leave (and the last one stops the
// watcher) while the message thread delivers new listings to the others.
TEST (PresetStress, ClientsLeaveOffTheMessageThreadDuringDeliveries)
{
    // As in a host, the message manager exists before any thread posts to it.
    juce::MessageManager::getInstance();
    ScopedXdgFolders folders;
    const auto folder = folders.root.getChildFile ("docs");
    ASSERT_TRUE (folder.createDirectory());
    auto& watcher = PresetWatcher::shared();
    watcher.setInterval (1);

    std::atomic<long> calls { 0 };
    const auto count = [&calls] (const PresetWatcher::Docs&) { ++calls; };
    for (int64_t key = 0; key < 64; ++key)
        watcher.addClient (key, nullptr, folder, count);

    std::atomic<bool> running { true };
    std::vector<std::thread> hosts;
    for (int64_t t = 1; t <= 3; ++t)
        hosts.emplace_back (
            [&, t]
            {
                for (int64_t key = t << 32; running; ++key)
                {
                    watcher.addClient (key, nullptr, folder, count);
                    watcher.removeClient (key, nullptr);
                }
            });

    // At least 1.5 s and 20 deliveries to every client, unless a slow machine needs over 20 s.
    const auto start = std::chrono::steady_clock::now();
    const auto enough = [&]
    {
        const auto elapsed = std::chrono::steady_clock::now() - start;
        return elapsed > std::chrono::seconds (20) || (elapsed > std::chrono::milliseconds (1500) && calls >= 64 * 20);
    };
    for (int round = 0; ! enough(); ++round)
    {
        folder.getChildFile ("P" + juce::String (round % 4) + ".json").replaceWithText ("{}");
        folder.getChildFile ("P" + juce::String ((round + 2) % 4) + ".json").deleteFile();
        pumpMessagesUntil ([] { return false; }, 2);
    }
    running = false;
    for (auto& h : hosts)
        h.join();

    for (int64_t key = 0; key < 64; ++key)
        watcher.removeClient (key, nullptr);
    EXPECT_EQ (watcher.clientCount(), 0u);
    EXPECT_FALSE (watcher.isRunning());
    watcher.setInterval (2000);
    pumpPendingMessages();
}
