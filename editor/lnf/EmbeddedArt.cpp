#include "editor/lnf/EmbeddedArt.h"

#include <BrisaltoArt.h>

#include <cstring>

namespace brisalto::EmbeddedArt
{
    Data file (const char* fileName) noexcept
    {
        for (int i = 0; i < BrisaltoArt::namedResourceListSize; ++i)
        {
            if (std::strcmp (BrisaltoArt::originalFilenames[i], fileName) == 0)
            {
                Data data;
                data.bytes = BrisaltoArt::getNamedResource (BrisaltoArt::namedResourceList[i], data.size);
                return data;
            }
        }

        return {};
    }

    juce::Image image (const char* fileName)
    {
        const auto data = file (fileName);
        return data.bytes != nullptr ? juce::ImageCache::getFromMemory (data.bytes, data.size) : juce::Image();
    }

    Data robotoMedium() noexcept
    {
        return file ("Roboto-Medium.ttf");
    }
}
