#pragma once

#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

#include <chrono>
#include <functional>
#include <limits>

// Tests drive JUCE's message thread by hand: the test's thread is the message thread, and these
// dispatch what has been posted to it, so no test needs a running message loop.
namespace juce
{
    // JUCE's Linux message queue (juce_events, not in its public headers): dispatches one
    // pending message, or returns false when there is none.
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

// Dispatches the messages already queued, at most `maxMessages` of them (a bound for queues
// that refill themselves, such as repainting components).
inline void pumpPendingMessages (int maxMessages = std::numeric_limits<int>::max())
{
    juce::MessageManager::getInstance();
    for (int i = 0; i < maxMessages && juce::dispatchNextMessageOnSystemQueue (true); ++i) {}
}

// Dispatches messages as they arrive until the condition holds or the time runs out; returns
// the condition.
inline bool pumpMessagesUntil (const std::function<bool()>& condition, int timeoutMs = 10000)
{
    juce::MessageManager::getInstance();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
    while (! condition())
    {
        if (std::chrono::steady_clock::now() > end)
            return condition();
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
    }
    return true;
}

// Dispatches messages as they arrive for the given time.
inline void pumpMessagesFor (int milliseconds)
{
    pumpMessagesUntil ([] { return false; }, milliseconds);
}
