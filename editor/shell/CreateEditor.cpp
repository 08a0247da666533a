#include "editor/shell/BrisaltoAudioProcessorEditor.h"
#include "processor/PluginProcessor.h"

// Defined with the editor, so that the processor's own code links without any of it.
juce::AudioProcessorEditor* BrisaltoAudioProcessor::createEditor()
{
    mParamNotifyGate++;
    return new BrisaltoAudioProcessorEditor (*this);
}
