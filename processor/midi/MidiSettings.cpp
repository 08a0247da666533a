#include "processor/midi/MidiSettings.h"

namespace brisalto::midi_remote
{
    int32_t progChangeModeFrom (std::optional<int64_t> stored) noexcept
    {
        if (! stored || *stored < 0 || *stored > 2)
            return 0;
        return (int32_t) *stored;
    }

    int32_t channelFrom (std::optional<int64_t> stored) noexcept
    {
        if (! stored || *stored < -1 || *stored > 15)
            return -1;
        return (int32_t) *stored;
    }

    StoredSettings readStoredSettings (brisalto::platform::UserDefaults& defaults)
    {
        StoredSettings s;
        s.progChangeMode = progChangeModeFrom (defaults.lookUpInteger (progChangeModeKey));
        s.channel = channelFrom (defaults.lookUpInteger (channelKey));
        return s;
    }
}
