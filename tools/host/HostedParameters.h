#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

namespace brisalto::host
{

    /** True for the controls a format wrapper adds beside the plug-in's own parameters: the bypass
    (LV2 lists its "enabled" port first as "Bypass"), and the VST3 wrapper's "Program" list and
    its "MIDI CC channel|controller" stand-ins that follow the plug-in's parameters. */
    bool isWrapperParameter (juce::AudioPluginInstance& instance, const juce::AudioProcessorParameter& parameter);

    /** The parameters the plug-in declares, in the plug-in's index order. */
    juce::Array<juce::AudioProcessorParameter*> pluginParameters (juce::AudioPluginInstance& instance);

    /** The parameter whose name (or, failing that, whose host id) is the given text; nullptr if none. */
    juce::AudioProcessorParameter* findParameter (juce::AudioPluginInstance& instance, const juce::String& nameOrId);

    /** The id under which the format addresses the parameter (the VST3 parameter id, the LV2 URI). */
    juce::String parameterIdOf (const juce::AudioProcessorParameter& parameter);

    /** Sets a parameter the way a host's automation does: normalised value, host notified. */
    void setParameterAsHost (juce::AudioProcessorParameter& parameter, float normalisedValue);

}  // namespace brisalto::host
