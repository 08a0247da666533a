#pragma once

#include <juce_core/juce_core.h>

#include <cstdlib>
#include <string>

// Points the XDG folders at a fresh temporary folder for the lifetime of the object.
class ScopedXdgFolders
{
public:
    ScopedXdgFolders()
        : root (juce::File::createTempFile ("brisalto-xdg"))
    {
        root.createDirectory();
        remember ("XDG_CONFIG_HOME", savedConfig, hadConfig);
        remember ("XDG_DATA_HOME", savedData, hadData);
        ::setenv ("XDG_CONFIG_HOME", config().getFullPathName().toRawUTF8(), 1);
        ::setenv ("XDG_DATA_HOME", data().getFullPathName().toRawUTF8(), 1);
    }

    ~ScopedXdgFolders()
    {
        restore ("XDG_CONFIG_HOME", savedConfig, hadConfig);
        restore ("XDG_DATA_HOME", savedData, hadData);
        root.deleteRecursively();
    }

    juce::File config() const { return root.getChildFile ("config"); }
    juce::File data() const { return root.getChildFile ("data"); }
    juce::File presetFolder() const { return data().getChildFile ("Brisalto/userPresets"); }

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

    juce::File root;
    std::string savedConfig, savedData;
    bool hadConfig = false, hadData = false;
};
