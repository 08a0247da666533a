// A host thread saves and restores state while the message thread writes, removes, loads and
// rebuilds user presets. Built with ThreadSanitizer this must run without a report.

#include "processor/PluginProcessor.h"
#include "common/InMemoryUserDefaults.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST (PresetStress, HostStateCallsRaceTheStore)
{
    ScopedXdgFolders folders (true);
    platform::UserDefaults::setStandard (std::make_shared<platform::InMemoryUserDefaults>());
    BrisaltoAudioProcessor p;
    const auto docs = folders.cloudDocuments().getFullPathName().toStdString();
    p.mICloudContainerPath = docs;
    ASSERT_TRUE (p.writeUserPreset ("A"));

    const juce::String chunkNamingB = "{ \"currentUserPreset\": \"B\", \"Threshold\": 0.5 }";
    std::atomic<bool> running { true };
    std::atomic<long> hostRounds { 0 };
    std::thread host ([&]
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
    platform::UserDefaults::setStandard (nullptr);
}
