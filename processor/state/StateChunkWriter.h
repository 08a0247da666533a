#pragma once

#include "processor/common/ProcessorTypes.h"

#include <juce_core/juce_core.h>

// Writes the processor's persistent state as the JSON text that the host stores with its song,
// that user preset files hold and that the default preset file holds: one object in printable
// ASCII, keys in a fixed order, CR LF line ends.
namespace brisalto::StateChunkWriter
{
    struct Values
    {
        int32_t trackNumber = 0;  // 0-based slot; the text holds it 1-based
        int32_t groupNumber = 0;
        int32_t grp_param_sync = 1;
        int32_t mixMode = 2;
        int32_t midiSideChan = -1;
        juce::String currentUserPreset;
        int32_t inputFormat = 0;
        float params[NUM_PARAMETERS] {};

        // Left out under the Standalone wrapper.
        bool withMidiKeys = true;
        int32_t midi_progr_change_channel = -1;
        int32_t midi_progr_change_mode = 0;
        int32_t midi_CC_receive_mode = 0;
        int32_t midi_receive_from_DAW = 0;

        int32_t pluginResizedW = 0;
        int32_t pluginResizedH = 0;
        float channel_weights[MAX_CHANNELS] {};

        // The factory program the values came from, written last and only when there is one
        // (-1: none, "User Set"); readers that do not know the key pass over it.
        int32_t currentProgram = -1;
    };

    // True when a weight is not exactly 1 (a NaN counts as differing).
    bool hasWeightsOtherThanOne (const float (&weights)[MAX_CHANNELS]) noexcept;

    juce::var toObject (const Values& values);
    juce::String toText (const Values& values);
}
