#include "PluginProcessor.h"

int BrisaltoAudioProcessor::getNumPrograms() { return 7; }

void BrisaltoAudioProcessor::setCurrentProgram (int) {}

const juce::String BrisaltoAudioProcessor::getProgramName (int) { return "User Set"; }

void BrisaltoAudioProcessor::changeProgramName (int, const juce::String&) {}
