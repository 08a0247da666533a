#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The files compiled into the plug-in from resources/: the editor's PNG images, rendered at
// build time, and the Roboto Medium font.
namespace brisalto::EmbeddedArt
{
    struct Data
    {
        const char* bytes = nullptr;
        int size = 0;
    };

    // The embedded file with this name ("knob_large_00.png", "Roboto-Medium.ttf"), or no data.
    Data file (const char* fileName) noexcept;

    // The decoded image of an embedded PNG, through juce::ImageCache: every caller gets a handle
    // to the one image decoded from the array. A null image when there is no such file.
    juce::Image image (const char* fileName);

    // The embedded Roboto Medium TrueType file.
    Data robotoMedium() noexcept;
}
