#pragma once

#include "MidiSystem.h"

#include <alsa/asoundlib.h>

namespace brisalto::platform::midi
{
    // A sequencer event as the read procedure sees it: note-on as (0x90, channel, note,
    // velocity), program change as (0xC0, channel, program, 0), and so on for the other channel
    // messages; false for events that are no channel message. The values are passed on as the
    // event carries them: any program can fill them, and the reader checks their ranges.
    bool packetOfEvent (const snd_seq_event_t& event, Packet& packet) noexcept;
}
