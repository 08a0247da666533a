#pragma once

#include <juce_core/juce_core.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// Points XDG_CONFIG_HOME and XDG_DATA_HOME at a fresh temporary folder for the lifetime of the
// object and names no cloud sync folder (the variable set empty), unless `withSyncFolder` asks
// for a fresh temporary one; `alsoHome` moves HOME there too. A developer's own configuration,
// data and sync folders are never touched; the variables are restored and the folder removed
// afterwards. Test programs' main() holds one for the whole run, tests hold their own.
class ScopedXdgFolders
{
public:
    enum class Home
    {
        keep,
        temporary
    };

    explicit ScopedXdgFolders (bool withSyncFolder = false, Home home = Home::keep)
        : root (juce::File::createTempFile ("brisalto-xdg"))
    {
        if (! root.createDirectory())
        {
            std::perror ("brisalto tests: cannot create a temporary XDG folder");
            std::exit (1);
        }
        redirect (configVar, "XDG_CONFIG_HOME", config().getFullPathName().toStdString());
        redirect (dataVar, "XDG_DATA_HOME", data().getFullPathName().toStdString());
        if (withSyncFolder)
            syncRoot().createDirectory();
        redirect (sync, "BRISALTO_SYNC_ROOT", withSyncFolder ? syncRoot().getFullPathName().toStdString() : std::string());
        if (home == Home::temporary)
        {
            this->home().createDirectory();
            redirect (homeVar, "HOME", this->home().getFullPathName().toStdString());
        }
    }

    ~ScopedXdgFolders()
    {
        for (auto* saved : { &homeVar, &sync, &dataVar, &configVar })
            saved->restore();
        root.deleteRecursively();
    }

    ScopedXdgFolders (const ScopedXdgFolders&) = delete;
    ScopedXdgFolders& operator= (const ScopedXdgFolders&) = delete;

    juce::File root;

    juce::File config() const { return root.getChildFile ("config"); }
    juce::File data() const { return root.getChildFile ("data"); }
    juce::File home() const { return root.getChildFile ("home"); }
    juce::File presetFolder() const { return data().getChildFile ("Brisalto/userPresets"); }
    juce::File syncRoot() const { return root.getChildFile ("sync"); }
    juce::File cloudDocuments() const { return syncRoot().getChildFile ("Kestrom Brisalto/Documents"); }

private:
    // One variable's value before the redirection.
    struct Saved
    {
        const char* name = nullptr;
        std::string value;
        bool had = false;

        void restore() const
        {
            if (name == nullptr)
                return;
            if (had)
                ::setenv (name, value.c_str(), 1);
            else
                ::unsetenv (name);
        }
    };

    static void redirect (Saved& saved, const char* name, const std::string& value)
    {
        const char* old = std::getenv (name);
        saved = { name, old != nullptr ? old : "", old != nullptr };
        ::setenv (name, value.c_str(), 1);
    }

    Saved configVar, dataVar, sync, homeVar;
};
