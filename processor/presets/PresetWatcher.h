#pragma once

#include "processor/presets/CloudPass.h"

#include <juce_core/juce_core.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

// The cloud preset watcher: one per plug-in library, shared by every instance. While at least
// one client is registered, a thread of its own lists the cloud documents folder every
// interval (2 s), runs the pass logic of CloudPass on the listing and, when the set of current
// files changed, hands the new set to the message thread, where every registered client's
// callback is called with it. Clients come and go from any thread (a processor leaves from the
// thread that destroys it); callbacks run only on the message thread.
//
// The thread is joined when the last client leaves and, at the latest, when the library's
// static objects are destroyed. A stopped watcher starts again with the next client.
class PresetWatcher
{
public:
    using Docs = std::set<std::string>;
    using Callback = std::function<void (const Docs&)>;

    static PresetWatcher& shared();

    PresetWatcher();
    ~PresetWatcher();

    //==============================================================================
    // Any thread.

    // Registers a client under a key that is never reused (a processor's instance id; its
    // callback reaches the processor through its lifetime handle). A key already registered
    // keeps its first callback. Starts the watcher on the folder when it is stopped. Returns
    // the current set when the watcher has one, for an immediate rebuild; nothing when the key
    // was already registered or no listing has been made yet (the set then arrives as a delivery).
    std::optional<Docs> addClient (int64_t key, const void* callerForLog, const juce::File& folder, Callback callback);

    // Unregisters a client; when none is left the watcher stops and its thread is joined.
    void removeClient (int64_t key, const void* callerForLog);

    bool isRunning() const;
    size_t clientCount() const;
    Docs currentDocs() const;

    // A file this process has just written: the next listing counts it as current when it is
    // still the file that was written.
    void noteOwnWrite (const juce::File& file);

    // Makes a pass now and waits until a pass that began after this call has ended (its
    // delivery, if any, is then queued for the message thread). False when the watcher is
    // stopped or the time ran out.
    bool scanNowAndWait (int timeoutMs = 5000);

    // The time between two listings (2000 ms unless a test sets another).
    void setInterval (int milliseconds);

    // Stops the thread (joined) without touching the clients; for tests and the library's end.
    void stop();

    struct Core;

private:
    void stopLocked();

    std::shared_ptr<Core> core;
    JUCE_DECLARE_NON_COPYABLE (PresetWatcher)
};
