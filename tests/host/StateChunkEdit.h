#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <utility>
#include <vector>

namespace brisalto::host::test
{

    // Mix mode, slots, groups and host MIDI are settings of the state chunk, not parameters:
    // rewrites their one-digit values inside the chunk the format wrapper carries (lengths stay the
    // same) and restores the plug-in from it.
    void setStateDigits (juce::AudioPluginInstance& plugin, const std::vector<std::pair<const char*, int>>& keys);

}  // namespace brisalto::host::test
