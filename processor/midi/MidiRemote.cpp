#include "processor/PluginProcessor.h"
#include "processor/midi/MidiWrapper.h"

void BrisaltoAudioProcessor::enableMidiReceive() {}
void BrisaltoAudioProcessor::disconnectOwnMidiSources() {}
