#pragma once

namespace MIDI_WRAPPER
{
    // The processor's own MIDI client.
    class midi_wrapper
    {
    public:
        virtual ~midi_wrapper() = default;
    };
}
