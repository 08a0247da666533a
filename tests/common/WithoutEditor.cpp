// The processor's test programs link no editor. The processor still says it has one, as the
// product does; asked for it, it makes none.

#include "processor/PluginProcessor.h"

juce::AudioProcessorEditor* BrisaltoAudioProcessor::createEditor()
{
    return nullptr;
}
