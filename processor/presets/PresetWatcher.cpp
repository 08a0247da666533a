#include "processor/presets/PresetWatcher.h"
#include "processor/presets/PresetNames.h"

#include "platform/FileAccess.h"
#include "platform/Log.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace
{
    unsigned lowBitsOf (const void* p) noexcept
    {
        return (unsigned) (uintptr_t) p;
    }

    // Own writes not seen by this many listings are forgotten.
    constexpr uint64_t ownWriteLifetimePasses = 3;
}

struct PresetWatcher::Core
{
    // Under the registry mutex: a processor leaves from whichever thread destroys it, while
    // deliveries run on the message thread. The watcher thread never takes it.
    std::mutex registryMutex;
    std::map<int64_t, Callback> clients;
    Docs published;
    bool hasPublished = false;
    bool running = false;
    uint64_t generation = 0;
    juce::File folder;
    std::thread thread;

    // The watcher thread only, while it runs.
    brisalto::presets::CloudPass pass;

    // Shared, under the mutex.
    std::mutex mutex;
    std::condition_variable wake, passDone;
    bool threadAlive = false;
    bool stopRequested = false;
    bool scanRequested = false;
    bool intervalChanged = false;
    int intervalMs = 2000;
    uint64_t passesStarted = 0, passesCompleted = 0;
    struct OwnWrite
    {
        brisalto::presets::FileStamp stamp;
        uint64_t pass;
    };
    std::map<std::string, OwnWrite> ownWrites;

    static void run (std::shared_ptr<Core> core, uint64_t generation, juce::File folder);
    static void deliver (const std::shared_ptr<Core>& core, uint64_t generation, Docs docs);
    std::vector<brisalto::presets::ListedDocument> listDocuments (const juce::File& folder, bool& ok) const;
};

std::vector<brisalto::presets::ListedDocument> PresetWatcher::Core::listDocuments (const juce::File& dir, bool& ok) const
{
    std::vector<brisalto::platform::files::DirectoryEntry> entries;
    const auto status = brisalto::platform::files::listFolder (dir, entries);
    // A folder that cannot be read this time changes nothing; a missing one is empty.
    ok = status != brisalto::platform::files::ListStatus::failed;

    std::vector<brisalto::presets::ListedDocument> listing;
    const auto base = dir.getFullPathName().toStdString();
    for (const auto& entry : entries)
        if (entry.isRegularFile && brisalto::presets::isCandidateFileName (entry.name))
            listing.push_back ({ base + "/" + entry.name, { entry.size, entry.modifiedNs } });

    std::sort (listing.begin(), listing.end(), [] (const auto& a, const auto& b) { return a.path < b.path; });
    return listing;
}

void PresetWatcher::Core::run (std::shared_ptr<Core> core, uint64_t generation, juce::File folder)
{
    bool first = true;
    for (;;)
    {
        std::map<std::string, brisalto::presets::FileStamp> ownWrites;
        uint64_t passNumber = 0;
        {
            std::unique_lock<std::mutex> lock (core->mutex);
            // Waits one interval, or less when asked; a new interval applies at once.
            while (! first)
            {
                core->intervalChanged = false;
                const bool asked =
                    core->wake.wait_for (lock, std::chrono::milliseconds (core->intervalMs),
                                         [&] { return core->stopRequested || core->scanRequested || core->intervalChanged; });
                if (! asked || core->stopRequested || core->scanRequested)
                    break;
            }
            first = false;
            if (core->stopRequested)
                return;
            core->scanRequested = false;
            passNumber = ++core->passesStarted;
            for (const auto& [path, write] : core->ownWrites)
                ownWrites[path] = write.stamp;
        }

        bool ok = true;
        const auto listing = core->listDocuments (folder, ok);
        if (ok)
        {
            const auto result = core->pass.run (listing, ownWrites);
            if (result.gathering)
                brisalto::platform::log::write (brisalto::platform::log::notice, "Brisalto Found %d iCloud files\n",
                                                result.found);
            for (const auto& name : result.downloaded)
                brisalto::platform::log::print ("\tpreset downloaded %s\n", name.c_str());
            if (result.docsChanged)
                deliver (core, generation, core->pass.docs());
        }

        {
            std::lock_guard<std::mutex> lock (core->mutex);
            for (auto it = core->ownWrites.begin(); it != core->ownWrites.end();)
            {
                const bool listed =
                    ok && std::any_of (listing.begin(), listing.end(), [&] (const auto& d) { return d.path == it->first; });
                if (listed || passNumber > it->second.pass + ownWriteLifetimePasses)
                    it = core->ownWrites.erase (it);
                else
                    ++it;
            }
            core->passesCompleted = passNumber;
        }
        core->passDone.notify_all();
    }
}

void PresetWatcher::Core::deliver (const std::shared_ptr<Core>& core, uint64_t generation, Docs docs)
{
    juce::MessageManager::callAsync (
        [core, generation, docs = std::move (docs)]
        {
            std::vector<int64_t> keys;
            {
                std::lock_guard<std::mutex> registry (core->registryMutex);
                // A delivery from an earlier run of the watcher is stale.
                if (generation != core->generation)
                    return;
                core->published = docs;
                core->hasPublished = true;
                for (const auto& client : core->clients)
                    keys.push_back (client.first);
            }
            for (const auto key : keys)
            {
                // Callbacks run unlocked and may end up removing clients: call only those still
                // registered.
                Callback callback;
                {
                    std::lock_guard<std::mutex> registry (core->registryMutex);
                    const auto it = core->clients.find (key);
                    if (it == core->clients.end())
                        continue;
                    callback = it->second;
                }
                callback (docs);
            }
        });
}

//==============================================================================
PresetWatcher& PresetWatcher::shared()
{
    static PresetWatcher watcher;
    return watcher;
}

PresetWatcher::PresetWatcher()
    : core (std::make_shared<Core>())
{
    // The log outlives the watcher: its queue is made first, so it is destroyed after.
    brisalto::platform::log::flush();
}

PresetWatcher::~PresetWatcher()
{
    stop();
}

std::optional<PresetWatcher::Docs> PresetWatcher::addClient (int64_t key, const void* callerForLog, const juce::File& folder,
                                                             Callback callback)
{
    auto& c = *core;
    std::lock_guard<std::mutex> registry (c.registryMutex);
    if (c.clients.count (key) != 0)
        return std::nullopt;
    c.clients.emplace (key, std::move (callback));
    brisalto::platform::log::write (brisalto::platform::log::notice, "Brisalto added CloudClient : %x", lowBitsOf (callerForLog));

    if (! c.running)
    {
        if (folder != c.folder)
        {
            c.pass.reset();
            c.published.clear();
            c.hasPublished = false;
            c.folder = folder;
        }
        else
        {
            c.pass.restart();
        }

        ++c.generation;
        {
            std::lock_guard<std::mutex> lock (c.mutex);
            c.stopRequested = false;
            c.scanRequested = false;
            c.threadAlive = true;
        }
        c.thread = std::thread (&Core::run, core, c.generation, c.folder);
        c.running = true;
    }

    if (! c.hasPublished)
        return std::nullopt;
    return c.published;
}

void PresetWatcher::removeClient (int64_t key, const void* callerForLog)
{
    auto& c = *core;
    std::lock_guard<std::mutex> registry (c.registryMutex);
    if (c.clients.erase (key) != 0)
        brisalto::platform::log::write (brisalto::platform::log::notice, "Brisalto removed CloudClient : %x",
                                        lowBitsOf (callerForLog));
    if (c.clients.empty())
        stopLocked();
}

void PresetWatcher::stop()
{
    std::lock_guard<std::mutex> registry (core->registryMutex);
    stopLocked();
}

void PresetWatcher::stopLocked()
{
    auto& c = *core;
    if (c.thread.joinable())
    {
        {
            std::lock_guard<std::mutex> lock (c.mutex);
            c.stopRequested = true;
        }
        c.wake.notify_all();
        c.thread.join();
        brisalto::platform::log::print ("No longer watching iCloud dir...\n");
    }
    {
        std::lock_guard<std::mutex> lock (c.mutex);
        c.threadAlive = false;
    }
    c.passDone.notify_all();
    c.running = false;
}

bool PresetWatcher::isRunning() const
{
    std::lock_guard<std::mutex> registry (core->registryMutex);
    return core->running;
}

size_t PresetWatcher::clientCount() const
{
    std::lock_guard<std::mutex> registry (core->registryMutex);
    return core->clients.size();
}

PresetWatcher::Docs PresetWatcher::currentDocs() const
{
    std::lock_guard<std::mutex> registry (core->registryMutex);
    return core->published;
}

void PresetWatcher::noteOwnWrite (const juce::File& file)
{
    brisalto::platform::files::DirectoryEntry entry;
    if (! brisalto::platform::files::describeFile (file, entry) || ! entry.isRegularFile)
        return;
    std::lock_guard<std::mutex> lock (core->mutex);
    core->ownWrites[file.getFullPathName().toStdString()] = { { entry.size, entry.modifiedNs }, core->passesStarted };
    core->scanRequested = true;
    core->wake.notify_all();
}

bool PresetWatcher::scanNowAndWait (int timeoutMs)
{
    auto& c = *core;
    std::unique_lock<std::mutex> lock (c.mutex);
    if (! c.threadAlive)
        return false;
    const auto target = c.passesStarted + 1;
    c.scanRequested = true;
    c.wake.notify_all();
    c.passDone.wait_for (lock, std::chrono::milliseconds (timeoutMs),
                         [&] { return c.passesCompleted >= target || ! c.threadAlive; });
    return c.passesCompleted >= target;
}

void PresetWatcher::setInterval (int milliseconds)
{
    {
        std::lock_guard<std::mutex> lock (core->mutex);
        core->intervalMs = juce::jmax (1, milliseconds);
        core->intervalChanged = true;
    }
    core->wake.notify_all();
}
