#include "PluginProcessor.h"

void BrisaltoAudioProcessor::calc_gains (channelComprStateT& state, int, int, int n, int)
{
    if ((int) state.mGainPerSample.size() < n)
        state.mGainPerSample.resize ((size_t) n, 1.0f);
    if ((int) state.mGrPerSampleDb.size() < n)
        state.mGrPerSampleDb.resize ((size_t) n, 0.0f);
}
