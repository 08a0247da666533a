// Built only into the wide LV2, whose ports are fixed at 7.1.4 main input, side-chain and
// output: its instances start with that layout, so that they match the ports.

#include "processor/PluginProcessor.h"

namespace
{
    const bool wideDefaultBuses = (BrisaltoAudioProcessor::useWideDefaultBuses(), true);
}
