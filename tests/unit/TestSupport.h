#pragma once

#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

namespace juce { bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages); }

// Points the XDG folders at a fresh temporary folder for the lifetime of the object, and names
// no cloud sync folder (the variable set empty), unless `withSyncFolder` asks for a fresh
// temporary one: a developer's own sync folder is never touched.
class ScopedXdgFolders
{
public:
    explicit ScopedXdgFolders (bool withSyncFolder = false)
        : root (juce::File::createTempFile ("brisalto-xdg"))
    {
        root.createDirectory();
        remember ("XDG_CONFIG_HOME", savedConfig, hadConfig);
        remember ("XDG_DATA_HOME", savedData, hadData);
        remember ("BRISALTO_SYNC_ROOT", savedSync, hadSync);
        ::setenv ("XDG_CONFIG_HOME", config().getFullPathName().toRawUTF8(), 1);
        ::setenv ("XDG_DATA_HOME", data().getFullPathName().toRawUTF8(), 1);
        if (withSyncFolder)
            syncRoot().createDirectory();
        ::setenv ("BRISALTO_SYNC_ROOT", withSyncFolder ? syncRoot().getFullPathName().toRawUTF8() : "", 1);
    }

    ~ScopedXdgFolders()
    {
        restore ("XDG_CONFIG_HOME", savedConfig, hadConfig);
        restore ("XDG_DATA_HOME", savedData, hadData);
        restore ("BRISALTO_SYNC_ROOT", savedSync, hadSync);
        root.deleteRecursively();
    }

    juce::File root;

    juce::File config() const { return root.getChildFile ("config"); }
    juce::File data() const { return root.getChildFile ("data"); }
    juce::File presetFolder() const { return data().getChildFile ("Brisalto/userPresets"); }
    juce::File syncRoot() const { return root.getChildFile ("sync"); }
    juce::File cloudDocuments() const { return syncRoot().getChildFile ("Kestrom Brisalto/Documents"); }

private:
    static void remember (const char* name, std::string& value, bool& had)
    {
        const char* v = std::getenv (name);
        had = v != nullptr;
        value = had ? v : "";
    }

    static void restore (const char* name, const std::string& value, bool had)
    {
        if (had)
            ::setenv (name, value.c_str(), 1);
        else
            ::unsetenv (name);
    }

    std::string savedConfig, savedData, savedSync;
    bool hadConfig = false, hadData = false, hadSync = false;
};

// Dispatches the message thread's pending messages (the test's thread becomes the message
// thread) until the condition holds or the time runs out; returns the condition.
inline bool pumpMessagesUntil (const std::function<bool()>& condition, int timeoutMs = 10000)
{
    juce::MessageManager::getInstance();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
    while (! condition())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
    }
    return true;
}

// Dispatches every message already queued.
inline void pumpPendingMessages()
{
    juce::MessageManager::getInstance();
    while (juce::dispatchNextMessageOnSystemQueue (true)) {}
}
