#include "HostedParameters.h"

namespace brisalto::host
{

    bool isWrapperParameter (juce::AudioPluginInstance& instance, const juce::AudioProcessorParameter& parameter)
    {
        if (&parameter == instance.getBypassParameter())
            return true;

        if (instance.getPluginDescription().pluginFormatName == "VST3")
        {
            const auto name = parameter.getName (1024);
            return name == "Program" || name.startsWith ("MIDI CC ");
        }
        return false;
    }

    juce::Array<juce::AudioProcessorParameter*> pluginParameters (juce::AudioPluginInstance& instance)
    {
        juce::Array<juce::AudioProcessorParameter*> result;

        for (auto* parameter : instance.getParameters())
            if (! isWrapperParameter (instance, *parameter))
                result.add (parameter);

        return result;
    }

    juce::String parameterIdOf (const juce::AudioProcessorParameter& parameter)
    {
        if (const auto* hosted = dynamic_cast<const juce::HostedAudioProcessorParameter*> (&parameter))
            return hosted->getParameterID();
        return juce::String (parameter.getParameterIndex());
    }

    juce::AudioProcessorParameter* findParameter (juce::AudioPluginInstance& instance, const juce::String& nameOrId)
    {
        for (auto* parameter : instance.getParameters())
            if (parameter->getName (1024) == nameOrId)
                return parameter;

        for (auto* parameter : instance.getParameters())
            if (parameterIdOf (*parameter) == nameOrId)
                return parameter;

        return nullptr;
    }

    void setParameterAsHost (juce::AudioProcessorParameter& parameter, float normalisedValue)
    {
        parameter.beginChangeGesture();
        parameter.setValueNotifyingHost (normalisedValue);
        parameter.endChangeGesture();
    }

}  // namespace brisalto::host
