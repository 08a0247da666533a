#include "PluginProcessor.h"
#include "MidiWrapper.h"

void BrisaltoAudioProcessor::enableMidiReceive() {}
