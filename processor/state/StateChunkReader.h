#pragma once

#include "processor/common/ProcessorTypes.h"
#include "platform/JsonText.h"

#include <juce_core/juce_core.h>

#include <array>
#include <optional>

// Reads the JSON state text (host chunk, user preset file, default preset file) into checked
// values. Nothing is applied here: the result holds only values that are safe to store.
namespace brisalto::StateChunkReader
{
    // Input the reader refuses before any JSON parser sees it.
    constexpr size_t maxTextBytes = 1 << 20;
    constexpr int maxNestingDepth = brisalto::platform::json::maxNestingDepth;
    constexpr int maxIntegerDigits = brisalto::platform::json::maxIntegerDigits;
    constexpr int maxExponentDigits = brisalto::platform::json::maxExponentDigits;
    // The highest program index a text may name.
    constexpr int32_t maxProgramIndex = 127;

    enum class Status
    {
        ok,
        empty,  // no bytes, or a zero byte first
        tooLong,
        tooDeep,
        numberTooLong,
        badNumber,   // a '-' without a digit after it
        notParsed,   // not JSON
        notAnObject  // JSON, but not an object
    };

    const char* describe (Status status) noexcept;

    struct MidiKeys
    {
        int32_t midi_receive_from_DAW = 0;
        int32_t midi_progr_change_channel = 0;
        int32_t midi_progr_change_mode = 0;
        int32_t midi_CC_receive_mode = 0;
    };

    struct Result
    {
        // Header keys, with their defaults for missing keys.
        int32_t trackNumber = 0;  // 0-based slot, -1..7
        int32_t groupNumber = 1;
        int32_t grp_param_sync = 1;
        int32_t mixMode = 1;
        int32_t midiSideChan = -1;
        int32_t inputFormat = 0;

        std::optional<MidiKeys> midi;  // only when asked for

        int32_t pluginResizedW = 0;
        int32_t pluginResizedH = 0;

        std::optional<juce::String> currentUserPreset;                  // absent: keep
        std::array<std::optional<float>, NUM_PARAMETERS> params;        // absent: untouched
        std::array<std::optional<float>, MAX_CHANNELS> channelWeights;  // absent: keep

        // The factory program the state was saved with; absent in older texts, or when the
        // value is not a whole number 0..maxProgramIndex.
        std::optional<int32_t> currentProgram;
    };

    // Parses the bytes (up to the first zero byte). On any status but ok, `result` is left as
    // it was and nothing of the text may be applied.
    Status read (const void* data, int sizeInBytes, bool readMidiKeys, Result& result);

    //==============================================================================
    // The steps of read, for tests.

    // Length up to the first zero byte.
    size_t textLength (const char* bytes, size_t size) noexcept;

    using brisalto::platform::json::isValidUtf8;
    using brisalto::platform::json::decodeText;

    // Joins UTF-16 surrogate pairs (as \u escapes leave them) into one character; a lone
    // surrogate becomes U+FFFD.
    juce::String joinSurrogates (const juce::String& text);

    // A JSON value as a finite number: numbers, booleans, and strings that hold exactly one
    // number. Anything else (objects, arrays, null, other strings, infinities) gives nothing.
    std::optional<double> numberOf (const juce::var& value);
}
