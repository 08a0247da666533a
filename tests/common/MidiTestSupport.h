#pragma once

#include "common/InProcessMidiSystem.h"
#include "common/InMemoryUserDefaults.h"
#include "processor/PluginProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

// A JUCE message thread of the test's own, running its dispatch loop as a host's main thread does.
class TestMessageThread
{
public:
    TestMessageThread()
    {
        std::promise<void> ready;
        auto started = ready.get_future();
        thread = std::thread (
            [&ready, finished = stopPosted.get_future()]
            {
                juce::ScopedJuceInitialiser_GUI juce;
                ready.set_value();
                juce::MessageManager::getInstance()->runDispatchLoop();
                finished.wait();  // the stop request's poster is out of the queue before it goes
            });
        started.wait();
    }

    ~TestMessageThread()
    {
        sync();
        // Stopped from the message thread itself, which deletes the message manager right after.
        juce::MessageManager::callAsync ([] { juce::MessageManager::getInstance()->stopDispatchLoop(); });
        stopPosted.set_value();
        thread.join();
    }

    // Runs fn on the message thread and waits for it.
    template <typename Fn>
    void run (Fn&& fn)
    {
        std::promise<void> done;
        auto finished = done.get_future();
        juce::MessageManager::callAsync (
            [&]
            {
                fn();
                done.set_value();
            });
        finished.wait();
    }

    // Waits until everything posted before has run.
    void sync()
    {
        run ([] {});
    }

    // Keeps the message thread busy until release(): whatever is posted meanwhile waits.
    class Block
    {
    public:
        explicit Block (TestMessageThread&)
        {
            std::promise<void> entered;
            auto in = entered.get_future();
            juce::MessageManager::callAsync (
                [state = state, &entered]
                {
                    entered.set_value();
                    std::unique_lock<std::mutex> lock (state->mutex);
                    state->released.wait (lock, [&state] { return state->open; });
                });
            in.wait();
        }
        ~Block() { release(); }
        void release()
        {
            std::lock_guard<std::mutex> lock (state->mutex);
            state->open = true;
            state->released.notify_all();
        }

    private:
        struct State
        {
            std::mutex mutex;
            std::condition_variable released;
            bool open = false;
        };
        std::shared_ptr<State> state = std::make_shared<State>();
    };

private:
    std::promise<void> stopPosted;
    std::thread thread;
};

// The in-process MIDI system and in-memory user defaults for the test's lifetime.
struct ScopedMidiSystem
{
    ScopedMidiSystem()
    {
        brisalto::platform::midi::MidiSystem::setStandard (system);
        brisalto::platform::UserDefaults::setStandard (defaults);
    }
    ~ScopedMidiSystem()
    {
        brisalto::platform::midi::MidiSystem::setStandard (nullptr);
        brisalto::platform::UserDefaults::setStandard (nullptr);
    }

    std::shared_ptr<brisalto::platform::midi::InProcessMidiSystem> system =
        std::make_shared<brisalto::platform::midi::InProcessMidiSystem>();
    std::shared_ptr<brisalto::platform::InMemoryUserDefaults> defaults =
        std::make_shared<brisalto::platform::InMemoryUserDefaults>();
};

inline brisalto::platform::midi::Packet programChange (int channel, int program)
{
    return { 0xC0, channel, program, 0 };
}
inline brisalto::platform::midi::Packet noteOn (int channel, int note, int velocity)
{
    return { 0x90, channel, note, velocity };
}
