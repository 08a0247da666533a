#include "processor/PluginProcessor.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
    #include <sanitizer/lsan_interface.h>
#endif

namespace
{
    using Layout = juce::AudioProcessor::BusesLayout;

    Layout layoutOf (int in, int out, int side)
    {
        Layout l;
        l.inputBuses.add (juce::AudioChannelSet::discreteChannels (in));
        l.inputBuses.add (juce::AudioChannelSet::discreteChannels (side));
        l.outputBuses.add (juce::AudioChannelSet::discreteChannels (out));
        return l;
    }
}

TEST (ProcessorLifecycle, HostFacingAnswers)
{
    ScopedXdgFolders folders;
    BrisaltoAudioProcessor p;
    EXPECT_EQ (p.getName(), "Brisalto");
    EXPECT_EQ (p.getTailLengthSeconds(), 0.0);
    EXPECT_TRUE (p.acceptsMidi());
    EXPECT_FALSE (p.producesMidi());
    EXPECT_FALSE (p.isMidiEffect());
    EXPECT_TRUE (p.hasEditor());
    EXPECT_EQ (p.getCurrentProgram(), 0);  // -1 internally reads as 0
    EXPECT_EQ (p.getNumPrograms(), 7);

    ASSERT_EQ (p.getBusCount (true), 2);
    ASSERT_EQ (p.getBusCount (false), 1);
    EXPECT_EQ (p.getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (p.getBus (true, 1)->getName(), "Sidechain");
    EXPECT_EQ (p.getBus (false, 0)->getName(), "Output");
    for (auto* bus : { p.getBus (true, 0), p.getBus (true, 1), p.getBus (false, 0) })
    {
        EXPECT_EQ (bus->getCurrentLayout(), juce::AudioChannelSet::stereo());
        EXPECT_TRUE (bus->isEnabledByDefault());
    }

    for (int k = 0; k < MAX_CHANNELS; ++k)
        EXPECT_EQ (p.channel_weights[k].load(), 1.0f);
    EXPECT_EQ (p.mixMode.load(), (int) MixMode::sum);
    EXPECT_EQ (p.grp_param_sync.load(), 1);
}

TEST (ProcessorLifecycle, InstanceIdsAreNeverReused)
{
    ScopedXdgFolders folders;
    int first = 0;
    {
        BrisaltoAudioProcessor a;
        first = a.mInstanceId;
        BrisaltoAudioProcessor b;
        EXPECT_EQ (b.mInstanceId, first + 1);
    }
    BrisaltoAudioProcessor c;
    EXPECT_EQ (c.mInstanceId, first + 2);
}

TEST (ProcessorLifecycle, InstancesBuiltOnSeveralThreadsGetDistinctIds)
{
    ScopedXdgFolders folders;
    constexpr int threads = 6;
    std::vector<int> ids (threads, -1);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back (
            [&ids, t]
            {
                BrisaltoAudioProcessor p;
                ids[(size_t) t] = p.mInstanceId;
            });
    for (auto& w : workers)
        w.join();

    std::sort (ids.begin(), ids.end());
    EXPECT_EQ (std::adjacent_find (ids.begin(), ids.end()), ids.end());
    EXPECT_GE (ids.front(), 0);
}

TEST (ProcessorLifecycle, BusLayoutRule)
{
    ScopedXdgFolders folders;
    BrisaltoAudioProcessor p;
    EXPECT_TRUE (p.checkBusesLayoutSupported (layoutOf (12, 12, 12)));
    EXPECT_TRUE (p.checkBusesLayoutSupported (layoutOf (28, 28, 2)));
    EXPECT_FALSE (p.checkBusesLayoutSupported (layoutOf (29, 29, 0)));
    EXPECT_TRUE (p.checkBusesLayoutSupported (layoutOf (1, 2, 1)));
    EXPECT_TRUE (p.checkBusesLayoutSupported (layoutOf (32, 2, 0)));
    EXPECT_TRUE (p.checkBusesLayoutSupported (layoutOf (2, 2, 40)));  // side-chain not examined

    Layout noBuses;
    EXPECT_TRUE (p.isBusesLayoutSupported (noBuses));
}

TEST (ProcessorLifecycle, ChannelCountsAreClampedWhenPrepared)
{
    ScopedXdgFolders folders;
    BrisaltoAudioProcessor p;
    ASSERT_TRUE (p.setBusesLayout (layoutOf (40, 2, 4)));
    EXPECT_EQ (p.mNrInChannels.load(), 40);  // unclamped until prepared

    p.prepareToPlay (48000.0, 256);
    EXPECT_EQ (p.mNrInChannels.load(), 28);
    EXPECT_EQ (p.mNrTotalInChannels.load(), 28);

    ASSERT_TRUE (p.setBusesLayout (layoutOf (2, 2, 2)));
    p.prepareToPlay (48000.0, 256);
    EXPECT_EQ (p.mNrInChannels.load(), 2);
    EXPECT_EQ (p.mNrTotalInChannels.load(), 4);
}

TEST (ProcessorLifecycle, WatchdogClearsLinkStatusOnceRenderingStops)
{
    ScopedXdgFolders folders;
    BrisaltoAudioProcessor p;
    p.mLinkStatus = (int) LinkStatus::sent;
    p.mRenderCounter = 10;
    p.timerCallback();  // rendering moved since the last tick
    EXPECT_EQ (p.mLinkStatus.load(), (int) LinkStatus::sent);
    p.timerCallback();  // nothing rendered since
    EXPECT_EQ (p.mLinkStatus.load(), (int) LinkStatus::noData);
}

TEST (ProcessorLifecycle, DestructionLeavesTheLinkGroup)
{
    ScopedXdgFolders folders;
    int record = -1;
    {
        BrisaltoAudioProcessor p;
        record = p.linkRecordIndex();
        ASSERT_GE (record, 0);
        ASSERT_LT (record, NUM_LINK_RECORDS);
        p.groupNumber = 3;
        std::lock_guard<std::mutex> lock (BrisaltoAudioProcessor::mInstRMSBuffers[record].mMutex);
        BrisaltoAudioProcessor::mInstRMSBuffers[record].mGroupNumber = 3;
    }
    std::lock_guard<std::mutex> lock (BrisaltoAudioProcessor::mInstRMSBuffers[record].mMutex);
    EXPECT_EQ (BrisaltoAudioProcessor::mInstRMSBuffers[record].mGroupNumber.load(), 0);
}

TEST (ProcessorLifecycle, AsyncWorkNeverReachesADestroyedProcessor)
{
    ScopedXdgFolders folders;
    auto p = std::make_unique<BrisaltoAudioProcessor>();
    auto handle = p->mLifetime.handle();
    int reached = 0;
    EXPECT_TRUE (handle.call ([&] (BrisaltoAudioProcessor&) { ++reached; }));
    p.reset();
    EXPECT_FALSE (handle.call ([&] (BrisaltoAudioProcessor&) { ++reached; }));
    EXPECT_EQ (reached, 1);
}

// A validator or a host that quits destroys its last instance on a thread of its own and runs
// no message loop after it: nothing the instance hands to the message thread may leak then.
TEST (ProcessorLifecycle, DestroyedOffTheMessageThreadWithNoLoopAfterwardsLeavesNothing)
{
#if ! defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "needs LeakSanitizer (the AddressSanitizer build)";
#else
    ::testing::GTEST_FLAG (death_test_style) = "threadsafe";
    EXPECT_EXIT (
        {
            ScopedXdgFolders folders;
            juce::MessageManager::getInstance();
            auto p = std::make_unique<BrisaltoAudioProcessor>();
            std::thread ([&p] { p.reset(); }).join();
            // The loop never runs again: its queue goes, unrun.
            juce::MessageManager::deleteInstance();
            std::_Exit (__lsan_do_recoverable_leak_check() == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode (0), "");
#endif
}

TEST (ProcessorLifecycle, ListsLocalPresetsAtConstruction)
{
    ScopedXdgFolders folders;
    const auto dir = folders.presetFolder();
    ASSERT_TRUE (dir.createDirectory());
    dir.getChildFile ("Live.json").replaceWithText ("{}");
    dir.getChildFile ("Drums.json").replaceWithText ("{}");
    dir.getChildFile ("notes.txt").replaceWithText ("x");
    dir.getChildFile ("Folder.json").createDirectory();
    dir.getChildFile ("sub").createDirectory();
    dir.getChildFile ("sub/Nested.json").replaceWithText ("{}");

    BrisaltoAudioProcessor p;
    EXPECT_EQ (p.mICloudEnabled.load(), 0);  // no document store on this system
    EXPECT_EQ (p.mUserPresetNames, (std::set<juce::String> { "Drums", "Live" }));
    EXPECT_EQ (p.mCurrentUserPresetIndex, -1);
    EXPECT_EQ (p.getPresetDir (0), dir);
    EXPECT_EQ (p.getUserPresetIndx ("Live"), 1);
    EXPECT_EQ (p.getUserPresetIndx ("Missing"), -1);
}

TEST (ProcessorLifecycle, DefaultPresetAppliesParametersButNotWeights)
{
    ScopedXdgFolders folders;
    const auto dir = folders.presetFolder();
    ASSERT_TRUE (dir.createDirectory());

    // A chunk written by an instance with a changed threshold and weights.
    juce::MemoryBlock chunk;
    {
        BrisaltoAudioProcessor source;
        source.setParameter (Threshold, 0.5f);
        source.channel_weights[0] = 0.25f;
        source.getStateInformation (chunk);
    }
    ASSERT_GT (chunk.getSize(), 2u);
    dir.getChildFile ("BrisaltoDefault.json").replaceWithData (chunk.getData(), chunk.getSize());

    BrisaltoAudioProcessor p;
    EXPECT_FLOAT_EQ (p.getParameter (Threshold), 0.5f);
    EXPECT_EQ (p.channel_weights[0].load(), 1.0f);
    EXPECT_EQ (p.mUserPresetModified.load(), 0);
    EXPECT_TRUE (p.currentUserPreset.isEmpty());
    EXPECT_EQ (p.mUserPresetNames.count ("BrisaltoDefault"), 0u);
}

TEST (ProcessorLifecycle, TinyDefaultPresetIsSkipped)
{
    ScopedXdgFolders folders;
    const auto dir = folders.presetFolder();
    ASSERT_TRUE (dir.createDirectory());
    dir.getChildFile ("BrisaltoDefault.json").replaceWithText ("{");

    BrisaltoAudioProcessor p;
    EXPECT_FLOAT_EQ (p.getParameter (Threshold), 0.72f);
}
