#pragma once

#include <chrono>
#include <functional>
#include <thread>

// Checks the condition until it holds or the time runs out; returns the condition. For what
// other threads and processes do while this thread dispatches nothing (pumpMessagesUntil
// dispatches the message thread's messages meanwhile).
inline bool waitUntil (const std::function<bool()>& condition, int timeoutMs = 10000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
    while (! condition())
    {
        if (std::chrono::steady_clock::now() > end)
            return condition();
        std::this_thread::sleep_for (std::chrono::milliseconds (1));
    }
    return true;
}
