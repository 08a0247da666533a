#pragma once

#include <juce_core/juce_core.h>

// Where the plug-in keeps its files, following the XDG base-directory variables so that a
// user (or a test) can move them.
namespace brisalto::platform::folders
{
    // $XDG_CONFIG_HOME/Brisalto (default ~/.config/Brisalto): user defaults.
    juce::File configFolder();

    // $XDG_DATA_HOME/Brisalto (default ~/.local/share/Brisalto): the local preset store.
    juce::File dataFolder();

    // The local folder of user presets.
    juce::File localPresetFolder();
}
