#pragma once

#include "platform/UserDefaults.h"

#include <cstdint>
#include <optional>

// The two user-defaults keys of MIDI remote control.
namespace brisalto::midi_remote
{
    constexpr const char* progChangeModeKey = "kAppPrefMidiProgChangeMode";  // 0 off, 1 by index, 2 by name tag
    constexpr const char* channelKey = "kAppPrefMidiChannel";                // -1 all channels, else 0..15

    // A missing mode, or one outside 0..2, means off.
    int32_t progChangeModeFrom (std::optional<int64_t> stored) noexcept;

    // A missing channel, or one outside -1..15, means all channels, as the member starts.
    int32_t channelFrom (std::optional<int64_t> stored) noexcept;

    struct StoredSettings
    {
        int32_t progChangeMode = 0;
        int32_t channel = -1;
    };

    StoredSettings readStoredSettings (brisalto::platform::UserDefaults& defaults);
}
