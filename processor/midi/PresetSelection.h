#pragma once

#include <juce_core/juce_core.h>

#include <iterator>

// Which user preset a MIDI program change selects, as
// pure functions over the name list in set order.
namespace brisalto::midi_remote
{
    // The longest tag number: a tag of more digits matches nothing (no overflow, whatever the name).
    constexpr int maxTagDigits = 3;

    // The program number a name's ".midi" tag gives, or -1 when it gives none:
    // - the name must contain ".midi" in exactly that case ("Lead.MIDI3" has no tag);
    // - the tag is the text after the last ".midi" found without regard to (ASCII) case
    //   ("a.midi1.MIDI3" gives 3);
    // - the tag must start with a digit ("x.midi" and "Pad.midiX" give none); its leading ASCII
    //   digits are read, at most three of them ("Kick.midi7b" gives 7, "Hard.midi0012" none).
    int midiTagNumber (const juce::String& name);

    // The name a program change selects from names (in set order), or an empty string.
    // mode 0 (off): nothing. mode 1 (by index): the name at position program, when the list is
    // longer than that. Any other mode (by name tag): the first name whose tag is program.
    // A negative program selects nothing.
    template <typename Names>
    juce::String selectPresetForProgramChange (int mode, int program, const Names& names)
    {
        if (mode == 0 || program < 0)
            return {};

        if (mode == 1)
        {
            if ((size_t) program >= (size_t) std::size (names))
                return {};
            auto it = std::begin (names);
            std::advance (it, program);
            return juce::String (*it);
        }

        for (const auto& name : names)
            if (midiTagNumber (name) == program)
                return juce::String (name);
        return {};
    }
}
