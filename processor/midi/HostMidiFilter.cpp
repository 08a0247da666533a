#include "processor/PluginProcessor.h"
#include "processor/midi/MidiWrapper.h"

// MIDI that arrives with the host's audio blocks, render thread. Only the
// first message of each event is looked at. The filter is the one the own MIDI client uses.
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
        midiReceiveCallback (status, channel, data1, data2);
    }
}

// The MIDI filter, shared by the own client's receive thread and the render thread. A program
// change is never posted from here (posting allocates and locks): it goes
// into the lock-free slot, which the message thread takes (the own client's callback posts a
// step for it, the timer takes what the host's MIDI left).
void BrisaltoAudioProcessor::midiReceiveCallback (int status, int channel, int dataByte1, int dataByte2) noexcept
{
    if (! MIDI_WRAPPER::isValidMessage (status, channel, dataByte1, dataByte2))
        return;

    if (status == 0xC0 && midi_progr_change_mode != 0)
    {
        const int wanted = midi_progr_change_channel;
        if (wanted == -1 || wanted == channel)
        {
            mProgramChangeSlot.put (channel, dataByte1);
            return;
        }
    }

    if (status == 0x90)
    {
        // Whatever the mix mode; a velocity of 0 is stored as 0.
        const int wanted = midiSideChan;
        if (wanted == -1 || wanted == channel)
            mMidiSideVelocity = (int32_t) dataByte2;
    }
}
