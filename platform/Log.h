#pragma once

#include <string>

// Diagnostics to the system log. Writing never blocks and never allocates, so the render
// thread may log too: messages are formatted into a fixed-size slot of a lock-free queue and
// written out by a background thread.
namespace brisalto::platform::log
{
    enum Priority : int
    {
        warning = 4,
        notice = 5
    };

    // syslog at the given priority.
    void write (int priority, const char* format, ...) __attribute__ ((format (printf, 2, 3)));

    // A diagnostic line for standard output.
    void print (const char* format, ...) __attribute__ ((format (printf, 1, 2)));

    // Where drained messages go. The default writes to syslog and standard output.
    struct Sink
    {
        virtual ~Sink() = default;
        virtual void write (int priority, const char* text, bool toStandardOutput) = 0;
    };

    // Builds the queue and starts its drain thread (the processor's constructor calls it, so
    // that no render thread is ever the first to log). Later calls do nothing.
    void start();

    // Messages the queue holds before it drops new ones.
    unsigned long capacity() noexcept;

    // Replaces the sink (nullptr restores the default); waits for queued messages first.
    void setSink (Sink* sink);

    // Writes out everything queued so far, on the calling thread.
    void flush();

    // Messages lost because the queue was full.
    unsigned long droppedCount() noexcept;
}
