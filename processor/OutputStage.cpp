#include "PluginProcessor.h"

void BrisaltoAudioProcessor::input_2_ringbuf (int, int, const float*, int) {}

void BrisaltoAudioProcessor::apply_gain_to_ringbuf (channelComprStateT&, int, int, float*, int) {}

void BrisaltoAudioProcessor::prepareSignalPath() {}
