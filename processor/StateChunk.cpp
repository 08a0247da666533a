#include "PluginProcessor.h"

void BrisaltoAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    destData.reset();
}

void BrisaltoAudioProcessor::setStateInformation (const void*, int) {}
