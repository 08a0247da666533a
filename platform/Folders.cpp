#include "Folders.h"

#include <cstdlib>

namespace brisalto::platform::folders
{
    namespace
    {
        juce::File baseFolder (const char* variable, const char* fallbackBelowHome)
        {
            if (const char* value = std::getenv (variable))
            {
                const auto path = juce::String::fromUTF8 (value);
                // The variables must hold absolute paths; anything else is ignored.
                if (path.startsWithChar ('/'))
                    return juce::File (path);
            }
            return juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile (fallbackBelowHome);
        }
    }

    juce::File configFolder()
    {
        return baseFolder ("XDG_CONFIG_HOME", ".config").getChildFile ("Brisalto");
    }
    juce::File dataFolder()
    {
        return baseFolder ("XDG_DATA_HOME", ".local/share").getChildFile ("Brisalto");
    }
    juce::File localPresetFolder()
    {
        return dataFolder().getChildFile ("userPresets");
    }
}
