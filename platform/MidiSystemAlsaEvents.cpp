#include "MidiSystemAlsaEvents.h"

namespace brisalto::platform::midi
{
    bool packetOfEvent (const snd_seq_event_t& ev, Packet& out) noexcept
    {
        switch (ev.type)
        {
            case SND_SEQ_EVENT_NOTEON:
                out = { 0x90, ev.data.note.channel, ev.data.note.note, ev.data.note.velocity };
                return true;
            case SND_SEQ_EVENT_NOTEOFF:
                out = { 0x80, ev.data.note.channel, ev.data.note.note, ev.data.note.velocity };
                return true;
            case SND_SEQ_EVENT_KEYPRESS:
                out = { 0xA0, ev.data.note.channel, ev.data.note.note, ev.data.note.velocity };
                return true;
            case SND_SEQ_EVENT_CONTROLLER:
                out = { 0xB0, ev.data.control.channel, (int) ev.data.control.param, ev.data.control.value };
                return true;
            case SND_SEQ_EVENT_PGMCHANGE: out = { 0xC0, ev.data.control.channel, ev.data.control.value, 0 }; return true;
            case SND_SEQ_EVENT_CHANPRESS: out = { 0xD0, ev.data.control.channel, ev.data.control.value, 0 }; return true;
            case SND_SEQ_EVENT_PITCHBEND:
            {
                // -8192..8191 as the two 7-bit halves; anything outside stays out of range.
                const long v = (long) ev.data.control.value + 8192;
                if (v < 0 || v > 16383)
                    out = { 0xE0, ev.data.control.channel, -1, -1 };
                else
                    out = { 0xE0, ev.data.control.channel, (int) (v & 0x7F), (int) (v >> 7) };
                return true;
            }
            default: return false;
        }
    }
}
