#include "processor/state/StateChunkWriter.h"
#include "processor/state/ParameterTable.h"

#include <limits>

namespace brisalto::StateChunkWriter
{
    bool hasWeightsOtherThanOne (const float (&weights)[MAX_CHANNELS]) noexcept
    {
        for (const float weight : weights)
            if (! (weight == 1.0f))
                return true;
        return false;
    }

    juce::var toObject (const Values& values)
    {
        auto* object = new juce::DynamicObject();
        juce::var result (object);

        // The slot is written 1-based; keep the sum inside an int.
        const auto oneBasedTrack =
            (int) juce::jmin ((juce::int64) std::numeric_limits<int>::max(), (juce::int64) values.trackNumber + 1);

        object->setProperty ("trackNumber", oneBasedTrack);
        object->setProperty ("groupNumber", (int) values.groupNumber);
        object->setProperty ("grp_param_sync", (int) values.grp_param_sync);
        object->setProperty ("mixMode", (int) values.mixMode);
        object->setProperty ("midiSideChan", (int) values.midiSideChan);
        object->setProperty ("currentUserPreset", values.currentUserPreset);
        object->setProperty ("inputFormat", (int) values.inputFormat);

        for (int i = 0; i < NUM_PARAMETERS; ++i)
            object->setProperty (brisalto::ParameterTable::name (i), (double) values.params[i]);

        if (values.withMidiKeys)
        {
            object->setProperty ("midi_progr_change_channel", (int) values.midi_progr_change_channel);
            object->setProperty ("midi_progr_change_mode", (int) values.midi_progr_change_mode);
            object->setProperty ("midi_CC_receive_mode", (int) values.midi_CC_receive_mode);
            object->setProperty ("midi_receive_from_DAW", (int) values.midi_receive_from_DAW);
        }

        object->setProperty ("pluginResizedW", (int) values.pluginResizedW);
        object->setProperty ("pluginResizedH", (int) values.pluginResizedH);

        if (hasWeightsOtherThanOne (values.channel_weights))
        {
            juce::Array<juce::var> weights;
            for (const float weight : values.channel_weights)
                weights.add ((double) weight);
            object->setProperty ("channel_weights", weights);
        }

        if (values.currentProgram >= 0)
            object->setProperty ("currentProgram", (int) values.currentProgram);

        return result;
    }

    juce::String toText (const Values& values)
    {
        juce::MemoryOutputStream stream;
        juce::JSON::writeToStream (stream, toObject (values));
        return stream.toString();
    }
}
