#include "processor/midi/PresetSelection.h"

#include <vector>

namespace brisalto::midi_remote
{
    namespace
    {
        juce::juce_wchar asciiLower (juce::juce_wchar c) noexcept
        {
            return (c >= 'A' && c <= 'Z') ? (juce::juce_wchar) (c - 'A' + 'a') : c;
        }
    }

    int midiTagNumber (const juce::String& name)
    {
        if (! name.contains (".midi"))
            return -1;

        // The name's code points, to find the last ".midi" without regard to ASCII case (JUCE's own
        // case folding would also take, for example, a dotless i for an "i").
        std::vector<juce::juce_wchar> chars;
        for (auto p = name.getCharPointer(); ! p.isEmpty(); ++p)
            chars.push_back (*p);

        static constexpr juce::juce_wchar tag[] = { '.', 'm', 'i', 'd', 'i' };
        constexpr size_t tagLength = 5;
        if (chars.size() < tagLength)
            return -1;

        size_t start = 0;
        bool found = false;
        for (size_t i = chars.size() - tagLength + 1; i-- > 0;)
        {
            bool same = true;
            for (size_t k = 0; k < tagLength && same; ++k)
                same = asciiLower (chars[i + k]) == tag[k];
            if (same)
            {
                start = i + tagLength;
                found = true;
                break;
            }
        }
        if (! found)
            return -1;

        int value = 0, digits = 0;
        for (size_t i = start; i < chars.size(); ++i)
        {
            const auto c = chars[i];
            if (c < '0' || c > '9')
                break;
            if (++digits > maxTagDigits)
                return -1;
            value = value * 10 + (int) (c - '0');
        }
        return digits == 0 ? -1 : value;
    }
}
