#include "Log.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include <syslog.h>

namespace brisalto::platform::log
{
    namespace
    {
        constexpr size_t slotCount = 512;
        constexpr size_t textSize = 480;

        struct Slot
        {
            std::atomic<size_t> sequence { 0 };
            int priority = notice;
            bool toStandardOutput = false;
            char text[textSize] {};
        };

        struct DefaultSink final : Sink
        {
            void write (int priority, const char* text, bool toStandardOutput) override
            {
                if (toStandardOutput)
                {
                    std::fputs (text, stdout);
                    std::fflush (stdout);
                }
                else
                {
                    ::syslog (priority, "%s", text);
                }
            }
        };

        // A bounded multi-producer queue (sequence-numbered slots); one consumer at a time,
        // serialised by the drain mutex.
        class Queue
        {
        public:
            Queue()
            {
                for (size_t i = 0; i < slotCount; ++i)
                    slots[i].sequence.store (i, std::memory_order_relaxed);
                startThread();
            }

            ~Queue()
            {
                {
                    std::lock_guard<std::mutex> lock (threadMutex);
                    stopping = true;
                }
                wake.notify_all();
                if (drainThread.joinable())
                    drainThread.join();
                drain();
            }

            void push (int priority, bool toStdout, const char* format, va_list args) noexcept
            {
                auto pos = head.load (std::memory_order_relaxed);
                for (;;)
                {
                    auto& slot = slots[pos % slotCount];
                    const auto seq = slot.sequence.load (std::memory_order_acquire);
                    const auto diff = (intptr_t) seq - (intptr_t) pos;
                    if (diff == 0)
                    {
                        if (head.compare_exchange_weak (pos, pos + 1, std::memory_order_relaxed))
                        {
                            slot.priority = priority;
                            slot.toStandardOutput = toStdout;
                            std::vsnprintf (slot.text, textSize, format, args);
                            slot.sequence.store (pos + 1, std::memory_order_release);
                            return;
                        }
                    }
                    else if (diff < 0)
                    {
                        dropped.fetch_add (1, std::memory_order_relaxed);
                        return;
                    }
                    else
                    {
                        pos = head.load (std::memory_order_relaxed);
                    }
                }
            }

            void drain()
            {
                std::lock_guard<std::mutex> lock (drainMutex);
                for (;;)
                {
                    auto& slot = slots[tail % slotCount];
                    if (slot.sequence.load (std::memory_order_acquire) != tail + 1)
                        return;
                    currentSink()->write (slot.priority, slot.text, slot.toStandardOutput);
                    slot.sequence.store (tail + slotCount, std::memory_order_release);
                    ++tail;
                }
            }

            void setSink (Sink* s)
            {
                drain();
                std::lock_guard<std::mutex> lock (drainMutex);
                sink = s;
            }

            unsigned long droppedCount() const noexcept { return dropped.load (std::memory_order_relaxed); }

        private:
            Sink* currentSink() noexcept { return sink != nullptr ? sink : &defaultSink; }

            // Once, when the queue is built (first by a processor's constructor): a writer never
            // starts it, so a render thread's first message costs no thread creation.
            void startThread() noexcept
            {
                std::lock_guard<std::mutex> lock (threadMutex);
                try
                {
                    drainThread = std::thread ([this] { run(); });
                }
                catch (...)
                {
                }
            }

            void run()
            {
                std::unique_lock<std::mutex> lock (threadMutex);
                while (! stopping)
                {
                    lock.unlock();
                    drain();
                    lock.lock();
                    wake.wait_for (lock, std::chrono::milliseconds (50));
                }
            }

            std::array<Slot, slotCount> slots;
            std::atomic<size_t> head { 0 };
            size_t tail = 0;
            std::atomic<unsigned long> dropped { 0 };

            std::mutex drainMutex;
            Sink* sink = nullptr;
            DefaultSink defaultSink;

            std::mutex threadMutex;
            std::condition_variable wake;
            std::thread drainThread;
            bool stopping = false;
        };

        Queue& queue()
        {
            static Queue q;
            return q;
        }
    }

    void write (int priority, const char* format, ...)
    {
        va_list args;
        va_start (args, format);
        queue().push (priority, false, format, args);
        va_end (args);
    }

    void print (const char* format, ...)
    {
        va_list args;
        va_start (args, format);
        queue().push (notice, true, format, args);
        va_end (args);
    }

    void start()
    {
        (void) queue();
    }
    unsigned long capacity() noexcept
    {
        return (unsigned long) slotCount;
    }
    void setSink (Sink* sink)
    {
        queue().setSink (sink);
    }
    void flush()
    {
        queue().drain();
    }
    unsigned long droppedCount() noexcept
    {
        return queue().droppedCount();
    }
}
