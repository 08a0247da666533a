#pragma once

// Counts, per thread, what a render thread must never do: allocate, wait on a lock and post a
// message. Every test of this executable shares one set of counting hooks (RealTimeCounters.cpp):
//   - allocations: global operator new (always) and, outside sanitizer builds, malloc, calloc
//     and realloc (JUCE's heap blocks use the C allocator directly);
//   - lock waits, outside sanitizer builds: pthread_mutex_lock (std::mutex, juce::CriticalSection
//     and JUCE's listener locks), the read-write locks, sleeps and yields (juce::SpinLock yields
//     when it spins) — every call counts, contended or not, since any of them may wait;
//   - message posts, outside sanitizer builds: write and send (JUCE's message queue on Linux
//     wakes its loop by writing into a socket; a render thread has no file to write to).
// The sanitizers intercept the same functions: there only operator new is counted.
// BRISALTO_TRACE_WAITS=1 in the environment prints the stack of the first counted lock waits.

namespace brisalto::rtcheck
{
    struct Counts
    {
        long allocations = 0;
        long lockWaits = 0;
        long posts = 0;
    };

    // Starts counting on the calling thread from zero.
    void startCounting() noexcept;
    // Stops counting on the calling thread and returns what it counted.
    Counts stopCounting() noexcept;

    // Whether the C allocator, the locks and the posts are counted in this build.
    bool countsCAllocator() noexcept;
    bool countsLocksAndPosts() noexcept;

    // Counts the allocations made by `work` on the calling thread.
    template <typename Work>
    long allocationsDuring (Work&& work)
    {
        startCounting();
        work();
        return stopCounting().allocations;
    }
}
