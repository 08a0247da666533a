#include "processor/PluginProcessor.h"

// MIDI that arrives with the host's audio blocks. Only the first message of each event is
// looked at.
void BrisaltoAudioProcessor::takeHostMidi (const juce::MidiBuffer& midi) noexcept
{
    for (const auto metadata : midi)
    {
        const int size = metadata.numBytes;
        if (size <= 0)
            continue;

        const auto* bytes = metadata.data;
        const int status = bytes[0] & 0xF0;
        const int channel = bytes[0] & 0x0F;
        const int data1 = size >= 2 ? bytes[1] : 0;
        const int data2 = size >= 3 ? bytes[2] : 0;
        filterMidiMessage (status, channel, data1, data2);
    }
}

// The side-MIDI part of the MIDI filter: a note-on on the side-MIDI channel (any channel
// while it is -1) sets the velocity the next block's side detector starts with. Program
// changes are handed to the message thread by the MIDI remote control, which is not built yet.
void BrisaltoAudioProcessor::filterMidiMessage (int status, int channel, int, int data2) noexcept
{
    if (status != 0x90)
        return;

    const int wanted = midiSideChan;
    if (wanted != -1 && wanted != channel)
        return;

    mMidiSideVelocity = (int32_t) data2;
}
