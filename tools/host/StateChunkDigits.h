#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <utility>
#include <vector>

namespace brisalto::host
{

    /** Mix mode, slots, groups and host MIDI are settings of the plug-in's state chunk, not
    parameters: rewrites their one-digit values inside the chunk the format wrapper carries
    (lengths stay the same) and restores the plug-in from it. Fails, changing nothing, when the
    state is not one of ours or a key is missing or not followed by a digit. */
    juce::Result setStateDigits (juce::AudioPluginInstance& plugin, const std::vector<std::pair<const char*, int>>& keys);

}  // namespace brisalto::host
