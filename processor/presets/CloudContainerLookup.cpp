#include "processor/presets/CloudContainerLookup.h"

#include "platform/CloudDocuments.h"
#include "platform/Log.h"

#include <juce_events/juce_events.h>

#include <deque>
#include <mutex>
#include <thread>

namespace
{
    // Holders of a CloudContainerAnswerGate; an answer is posted under the mutex, so none is
    // in flight once the last holder has gone.
    std::mutex answerGateMutex;
    int answerGateHolders = 0;

    // Work off the message thread on one thread that ends when it runs out of work; joined
    // at the next start and when the library's static objects are destroyed.
    class BackgroundJobs
    {
    public:
        static BackgroundJobs& shared()
        {
            static BackgroundJobs jobs;
            return jobs;
        }

        BackgroundJobs() { brisalto::platform::log::flush(); }

        ~BackgroundJobs()
        {
            std::unique_lock<std::mutex> lock (mutex);
            closing = true;
            queue.clear();
            lock.unlock();
            if (worker.joinable())
                worker.join();
        }

        void post (std::function<void()> job)
        {
            std::lock_guard<std::mutex> lock (mutex);
            if (closing)
                return;
            queue.push_back (std::move (job));
            if (busy)
                return;
            if (worker.joinable())
                worker.join();  // it has ended: busy is cleared only as its last step
            busy = true;
            worker = std::thread ([this] { run(); });
        }

    private:
        void run()
        {
            for (;;)
            {
                std::function<void()> job;
                {
                    std::lock_guard<std::mutex> lock (mutex);
                    if (queue.empty())
                    {
                        busy = false;
                        return;
                    }
                    job = std::move (queue.front());
                    queue.pop_front();
                }
                job();
            }
        }

        std::mutex mutex;
        std::deque<std::function<void()>> queue;
        std::thread worker;
        bool busy = false;
        bool closing = false;
    };
}

void requestCloudContainer (std::function<void (const std::string&)> answer)
{
    auto backend = brisalto::platform::CloudDocuments::standardShared();
    BackgroundJobs::shared().post (
        [backend, answer = std::move (answer)]
        {
            const auto path = backend->containerDocumentsPath();
            if (path.isEmpty())
                return;  // no store: never answers

            std::lock_guard<std::mutex> gate (answerGateMutex);
            if (answerGateHolders == 0)
                return;
            juce::MessageManager::callAsync (
                [answer, path]
                {
                    brisalto::platform::log::print ("Brisalto ubiURL = %s \n", path.toRawUTF8());
                    brisalto::platform::log::write (brisalto::platform::log::notice, "Brisalto ubiURL = %s \n", path.toRawUTF8());
                    answer (path.toStdString());
                });
        });
}

CloudContainerAnswerGate::CloudContainerAnswerGate()
{
    std::lock_guard<std::mutex> gate (answerGateMutex);
    ++answerGateHolders;
}

CloudContainerAnswerGate::~CloudContainerAnswerGate()
{
    std::lock_guard<std::mutex> gate (answerGateMutex);
    --answerGateHolders;
}
