#pragma once

#include "processor/common/ProcessorTypes.h"

#include <juce_core/juce_core.h>

#include <array>
#include <vector>

// The table of factory preset files (resources/presets/factory-presets.txt): one preset a line,
// "name | Parameter = value, ...", values in the editor's units, '#' starting a comment line.
namespace brisalto::FactoryPresetTable
{
    struct Entry
    {
        juce::String name;
        std::array<float, NUM_PARAMETERS> normalised {};  // every parameter, defaults filled in
    };

    // Parses the whole table; false with a message naming the line on the first error (an
    // unusable or repeated name, an unknown parameter, a value that is not a number or lies
    // outside the parameter's range). A name holds no ':', which make cannot take in a file name.
    bool parse (const juce::String& text, std::vector<Entry>& entries, juce::String& error);
}
