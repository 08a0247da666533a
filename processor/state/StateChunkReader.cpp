#include "processor/state/StateChunkReader.h"
#include "processor/state/ParameterTable.h"

#include <cmath>
#include <cstring>

namespace brisalto::StateChunkReader
{
    namespace
    {
        bool isSurrogate (juce::juce_wchar c) noexcept
        {
            return c >= 0xd800 && c <= 0xdfff;
        }
        bool isHighSurrogate (juce::juce_wchar c) noexcept
        {
            return c >= 0xd800 && c <= 0xdbff;
        }
        bool isLowSurrogate (juce::juce_wchar c) noexcept
        {
            return c >= 0xdc00 && c <= 0xdfff;
        }

        // Exactly one JSON-style number, optionally signed and surrounded by blanks, with the
        // same digit limits as the text itself.
        bool holdsOneNumber (const juce::String& text)
        {
            const auto trimmed = text.trim();
            if (trimmed.isEmpty() || trimmed.length() > 64)
                return false;

            auto p = trimmed.getCharPointer();
            if (*p == '-' || *p == '+')
                ++p;

            const auto countDigits = [&p]
            {
                int n = 0;
                while (*p >= '0' && *p <= '9')
                {
                    ++p;
                    ++n;
                }
                return n;
            };

            const int integerDigits = countDigits();
            int fractionDigits = 0;
            if (*p == '.')
            {
                ++p;
                fractionDigits = countDigits();
            }
            if (integerDigits + fractionDigits == 0 || integerDigits > maxIntegerDigits)
                return false;

            if (*p == 'e' || *p == 'E')
            {
                ++p;
                if (*p == '-' || *p == '+')
                    ++p;
                const int exponentDigits = countDigits();
                if (exponentDigits == 0 || exponentDigits > maxExponentDigits)
                    return false;
            }
            return p.isEmpty();
        }

        std::optional<double> finiteNumberOf (const juce::var& object, const char* key)
        {
            if (auto* dynamicObject = object.getDynamicObject())
                if (const auto* value = dynamicObject->getProperties().getVarPointer (key))
                    return numberOf (*value);
            return std::nullopt;
        }

        bool hasKey (const juce::var& object, const char* key)
        {
            if (auto* dynamicObject = object.getDynamicObject())
                return dynamicObject->hasProperty (key);
            return false;
        }

        // An integer key: missing or unusable -> fallback; otherwise truncated toward zero and
        // clamped to lo..hi.
        int32_t clampedInt (const juce::var& object, const char* key, int32_t fallback, int32_t lo, int32_t hi)
        {
            const auto number = finiteNumberOf (object, key);
            if (! number)
                return fallback;
            return (int32_t) std::trunc (juce::jlimit ((double) lo, (double) hi, *number));
        }

        // An integer key whose value must be one of a few: anything else takes the fallback.
        template <size_t N>
        int32_t oneOf (const juce::var& object, const char* key, int32_t fallback, const int32_t (&allowed)[N])
        {
            const auto number = finiteNumberOf (object, key);
            if (! number)
                return fallback;
            for (const auto candidate : allowed)
                if (*number == (double) candidate)
                    return candidate;
            return fallback;
        }

        std::optional<float> unitValue (const juce::var& value)
        {
            if (const auto number = numberOf (value))
                return (float) (juce::jlimit (0.0, 1.0, *number) + 0.0);  // + 0.0: no negative zero
            return std::nullopt;
        }

        std::optional<int32_t> programOf (const juce::var& object)
        {
            const auto number = finiteNumberOf (object, "currentProgram");
            if (number && *number >= 0.0 && *number <= (double) maxProgramIndex && *number == std::trunc (*number))
                return (int32_t) *number;
            return std::nullopt;
        }

        void readHeader (const juce::var& object, Result& out)
        {
            // The text holds the slot 1-based; 0 and below mean "no slot" (-1).
            out.trackNumber = clampedInt (object, "trackNumber", 1, 0, NUM_EXT_SIDECHAIN_SLOTS) - 1;
            out.groupNumber = clampedInt (object, "groupNumber", 1, 0, 15);
            out.grp_param_sync = clampedInt (object, "grp_param_sync", 1, 0, 1);
            out.mixMode = oneOf (object, "mixMode", 1, { 1, 2, 3, 4, 5, 6 });
            out.midiSideChan = oneOf (object, "midiSideChan", -1, { -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15 });
            out.inputFormat = oneOf (object, "inputFormat", 0, { 0, 13, 14 });
        }

        MidiKeys readMidiKeys (const juce::var& object)
        {
            MidiKeys keys;
            keys.midi_receive_from_DAW = clampedInt (object, "midi_receive_from_DAW", 0, 0, 1);
            keys.midi_progr_change_channel =
                oneOf (object, "midi_progr_change_channel", 0, { -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15 });
            keys.midi_progr_change_mode = oneOf (object, "midi_progr_change_mode", 0, { 0, 1, 2 });
            keys.midi_CC_receive_mode = clampedInt (object, "midi_CC_receive_mode", 0, 0, 127);
            return keys;
        }

        void readParameters (const juce::var& object, Result& out)
        {
            if (hasKey (object, brisalto::ParameterTable::name (0)))
            {
                for (int i = 0; i < NUM_PARAMETERS; ++i)
                {
                    const auto value = object.getProperty (brisalto::ParameterTable::name (i), {});
                    out.params[(size_t) i] = unitValue (value).value_or (brisalto::ParameterTable::defaultValue (i));
                }
                return;
            }

            const auto legacy = object.getProperty ("plugin_params", {});
            if (const auto* values = legacy.getArray())
            {
                const int n = juce::jmin (values->size(), NUM_PARAMETERS);
                for (int i = 0; i < n; ++i)
                    out.params[(size_t) i] =
                        unitValue (values->getReference (i)).value_or (brisalto::ParameterTable::defaultValue (i));
            }
        }

        void readWeights (const juce::var& object, Result& out)
        {
            const auto weights = object.getProperty ("channel_weights", {});
            if (const auto* values = weights.getArray())
            {
                const int n = juce::jmin (values->size(), MAX_CHANNELS);
                for (int i = 0; i < n; ++i)
                    out.channelWeights[(size_t) i] = unitValue (values->getReference (i));
            }
        }
    }

    //==============================================================================
    const char* describe (Status status) noexcept
    {
        switch (status)
        {
            case Status::ok: return "ok";
            case Status::empty: return "empty";
            case Status::tooLong: return "too long";
            // What the shared JSON check refused, in its words.
            case Status::tooDeep: return brisalto::platform::json::describe (brisalto::platform::json::Check::tooDeep);
            case Status::numberTooLong:
                return brisalto::platform::json::describe (brisalto::platform::json::Check::numberTooLong);
            case Status::badNumber: return brisalto::platform::json::describe (brisalto::platform::json::Check::badNumber);
            case Status::notParsed: return "not JSON";
            case Status::notAnObject: return "not a JSON object";
        }
        return "?";
    }

    size_t textLength (const char* bytes, size_t size) noexcept
    {
        if (bytes == nullptr)
            return 0;
        for (size_t i = 0; i < size; ++i)
            if (bytes[i] == 0)
                return i;
        return size;
    }

    juce::String joinSurrogates (const juce::String& text)
    {
        bool any = false;
        for (auto p = text.getCharPointer(); ! p.isEmpty(); ++p)
            if (isSurrogate (*p))
                any = true;
        if (! any)
            return text;

        juce::MemoryOutputStream joined;
        for (auto p = text.getCharPointer(); ! p.isEmpty();)
        {
            const auto c = p.getAndAdvance();
            if (isHighSurrogate (c) && isLowSurrogate (*p))
            {
                const auto low = p.getAndAdvance();
                joined.appendUTF8Char (0x10000 + (((c - 0xd800) << 10) | (low - 0xdc00)));
            }
            else
            {
                joined.appendUTF8Char (isSurrogate (c) ? (juce::juce_wchar) 0xfffd : c);
            }
        }
        return joined.toUTF8();
    }

    std::optional<double> numberOf (const juce::var& value)
    {
        double number;
        if (value.isInt() || value.isInt64() || value.isDouble() || value.isBool())
            number = (double) value;
        else if (value.isString() && holdsOneNumber (value.toString()))
            number = value.toString().trim().getDoubleValue();
        else
            return std::nullopt;

        if (! std::isfinite (number))
            return std::nullopt;
        return number;
    }

    //==============================================================================
    Status read (const void* data, int sizeInBytes, bool readMidiKeysToo, Result& result)
    {
        const auto* bytes = static_cast<const char*> (data);
        // Looking one byte past the limit is enough to know the text is too long.
        const size_t available = sizeInBytes > 0 ? (size_t) sizeInBytes : 0;
        size_t length = textLength (bytes, juce::jmin (available, maxTextBytes + 1));

        if (length == 0)
            return Status::empty;
        if (length > maxTextBytes)
            return Status::tooLong;

        // Editors may put a byte order mark before hand-edited text.
        if (length >= 3 && std::memcmp (bytes, "\xef\xbb\xbf", 3) == 0)
        {
            bytes += 3;
            length -= 3;
        }
        if (length == 0)
            return Status::empty;

        juce::var parsed;
        auto check = brisalto::platform::json::Check::ok;
        switch (brisalto::platform::json::parse (bytes, length, parsed, check))
        {
            case brisalto::platform::json::ParseStatus::ok: break;
            case brisalto::platform::json::ParseStatus::notParsed: return Status::notParsed;
            case brisalto::platform::json::ParseStatus::rejected:
                return check == brisalto::platform::json::Check::tooDeep      ? Status::tooDeep
                    : check == brisalto::platform::json::Check::numberTooLong ? Status::numberTooLong
                                                                              : Status::badNumber;
        }
        if (parsed.getDynamicObject() == nullptr)
            return Status::notAnObject;

        Result out;
        readHeader (parsed, out);
        if (readMidiKeysToo)
            out.midi = readMidiKeys (parsed);

        out.pluginResizedW = clampedInt (parsed, "pluginResizedW", 0, 0, 16384);
        out.pluginResizedH = clampedInt (parsed, "pluginResizedH", 0, 0, 16384);

        const auto preset = parsed.getProperty ("currentUserPreset", {});
        if (preset.isString())
            out.currentUserPreset = joinSurrogates (preset.toString());

        readParameters (parsed, out);
        readWeights (parsed, out);
        out.currentProgram = programOf (parsed);

        result = std::move (out);
        return Status::ok;
    }
}
