// Editors open and close on the message thread while one host thread changes parameters and
// another restores state. Each change asks for an editor refresh; none may reach an editor from
// those threads. Built with AddressSanitizer or ThreadSanitizer this must run without a report.

#include "processor/PluginProcessor.h"
#include "common/TestSupport.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST (EditorLifetimeStress, EditorsComeAndGoWhileHostThreadsChangeParametersAndRestoreState)
{
    ScopedXdgFolders folders;
    juce::ScopedJuceInitialiser_GUI gui;  // this thread becomes the message thread
    BrisaltoAudioProcessor p;
    juce::MemoryBlock state;
    p.getStateInformation (state);
    // The desktop asks a child process for the dark-mode setting when it is first made; make it
    // before the host threads start, so its pipe closing is not mistaken for a race on their files.
    juce::Desktop::getInstance();

    std::atomic<bool> running { true };
    std::atomic<long> changes { 0 }, restores { 0 };
    // The latency is left to the restoring thread: JUCE keeps it in a plain member, which two
    // host threads must not write at once.
    const auto changesLatency = [] (int index)
    { return index == Lookahead || index == Adpative_Thresh_On || index == HardLimiterOn; };
    std::thread automation (
        [&]
        {
            for (int i = 0; running; ++i)
            {
                if (changesLatency (i % NUM_PARAMETERS))
                    continue;
                p.setParameter (i % NUM_PARAMETERS, (float) (i % 101) / 100.0f);
                ++changes;
            }
        });
    std::thread restore (
        [&]
        {
            for (; running; ++restores)
                p.setStateInformation (state.getData(), (int) state.getSize());
        });

    for (int cycle = 0; cycle < 200; ++cycle)
    {
        std::unique_ptr<juce::AudioProcessorEditor> editor (p.createEditorIfNeeded());
        ASSERT_NE (editor, nullptr);
        pumpMessagesFor (2);  // the editor lives a moment beside the host threads
        if (cycle % 10 == 0)
        {
            // Now and then until the panel's timer has ticked: a tick takes the limiter hits.
            p.mLimiterHits = 1;
            EXPECT_TRUE (pumpMessagesUntil ([&p] { return p.mLimiterHits.load() == 0; }, 30000));
        }
        p.editorBeingDeleted (editor.get());
        editor.reset();
        pumpMessagesFor (1);
    }

    running = false;
    automation.join();
    restore.join();
    EXPECT_GT (changes.load(), 0);
    EXPECT_GT (restores.load(), 0);
}
