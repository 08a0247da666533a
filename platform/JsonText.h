#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>

// Every JSON text the plug-in reads (host state, preset files, the user-defaults file) comes
// from outside. JUCE's parser recurses once per bracket and accumulates integers in 64 bits
// without a check, so a text reaches it only after its depth and its numbers passed here.
namespace brisalto::platform::json
{
    constexpr int maxNestingDepth = 32;
    constexpr int maxIntegerDigits = 18;  // more overflows a 64-bit accumulator
    constexpr int maxFractionDigits = 64;
    constexpr int maxExponentDigits = 8;  // more overflows the int that holds the exponent

    enum class Check
    {
        ok,
        tooDeep,
        numberTooLong,
        badNumber  // a '-' that no digit follows: JUCE would take any character as one
    };

    const char* describe (Check) noexcept;

    // Depth and number limits on the raw bytes (outside strings): a text that passes cannot
    // make JUCE's parser overflow its stack or an integer.
    Check checkText (const char* bytes, size_t size) noexcept;

    // Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values above
    // U+10FFFF).
    bool isValidUtf8 (const char* bytes, size_t size) noexcept;

    // UTF-8 when the bytes are valid UTF-8, else one character per byte.
    juce::String decodeText (const char* bytes, size_t size);

    enum class ParseStatus
    {
        ok,
        rejected,  // refused by checkText
        notParsed
    };

    // checkText, then juce::JSON::parse of the decoded text; `check` tells why a text was
    // rejected. `result` is set only on ok.
    ParseStatus parse (const char* bytes, size_t size, juce::var& result, Check& check);
}
