#pragma once

#include "platform/BundleResources.h"

#include <juce_audio_processors/juce_audio_processors.h>

// The bundle layout that holds the running plug-in, from the wrapper that loaded it.
inline brisalto::platform::bundle::Format bundleFormatOf (juce::AudioProcessor::WrapperType type) noexcept
{
    switch (type)
    {
        case juce::AudioProcessor::wrapperType_VST3: return brisalto::platform::bundle::Format::vst3;
        case juce::AudioProcessor::wrapperType_LV2: return brisalto::platform::bundle::Format::lv2;
        default: return brisalto::platform::bundle::Format::standalone;
    }
}
