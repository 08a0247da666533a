#include "JsonText.h"

namespace brisalto::platform::json
{
    namespace
    {
        bool isDigit (char c) noexcept
        {
            return c >= '0' && c <= '9';
        }

        // The blanks JUCE skips between '-' and the number's first digit, as far as they are ASCII.
        // Any other character there (wide blanks included) makes the number bad.
        bool isAsciiBlank (char c) noexcept
        {
            return c == ' ' || (c >= 9 && c <= 13);
        }

        bool isSurrogate (uint32_t c) noexcept
        {
            return c >= 0xd800 && c <= 0xdfff;
        }

        // JUCE reads the character after '-' (and blanks) as a digit, whatever it is, then keeps
        // multiplying: a '-' outside strings must lead to a digit.
        bool digitFollowsMinus (const char* bytes, size_t size, size_t minus) noexcept
        {
            size_t i = minus + 1;
            while (i < size && isAsciiBlank (bytes[i]))
                ++i;
            return i < size && isDigit (bytes[i]);
        }
    }

    const char* describe (Check check) noexcept
    {
        switch (check)
        {
            case Check::ok: return "ok";
            case Check::tooDeep: return "nested too deeply";
            case Check::numberTooLong: return "number too long";
            case Check::badNumber: return "malformed number";
        }
        return "?";
    }

    Check checkText (const char* bytes, size_t size) noexcept
    {
        enum class Run
        {
            none,
            integer,
            fraction,
            exponent
        };

        int depth = 0;
        char quote = 0;
        bool escaped = false;
        Run run = Run::none;
        int digits = 0;
        char previous = 0;

        for (size_t i = 0; i < size; ++i)
        {
            const char c = bytes[i];

            if (quote != 0)
            {
                if (escaped)
                    escaped = false;
                else if (c == '\\')
                    escaped = true;
                else if (c == quote)
                    quote = 0;
                previous = c;
                continue;
            }

            if (isDigit (c))
            {
                if (run == Run::none)
                    run = Run::integer;
                ++digits;
                const int limit = run == Run::exponent ? maxExponentDigits
                    : run == Run::fraction             ? maxFractionDigits
                                                       : maxIntegerDigits;
                if (digits > limit)
                    return Check::numberTooLong;
                previous = c;
                continue;
            }

            const bool signOfExponent = (c == '-' || c == '+') && (previous == 'e' || previous == 'E');
            if (! signOfExponent)
            {
                digits = 0;
                run = c == '.' ? Run::fraction : (c == 'e' || c == 'E') ? Run::exponent : Run::none;
            }

            switch (c)
            {
                case '"':
                case '\'': quote = c; break;

                case '-':
                    if (! signOfExponent && ! digitFollowsMinus (bytes, size, i))
                        return Check::badNumber;
                    break;

                case '{':
                case '[':
                    if (++depth > maxNestingDepth)
                        return Check::tooDeep;
                    break;

                case '}':
                case ']': depth = juce::jmax (0, depth - 1); break;

                default: break;
            }
            previous = c;
        }
        return Check::ok;
    }

    bool isValidUtf8 (const char* bytes, size_t size) noexcept
    {
        const auto* s = reinterpret_cast<const unsigned char*> (bytes);
        size_t i = 0;

        while (i < size)
        {
            const unsigned c = s[i];
            if (c < 0x80)
            {
                ++i;
                continue;
            }

            int extra;
            uint32_t codePoint, minimum;
            if ((c & 0xe0) == 0xc0)
            {
                extra = 1;
                codePoint = c & 0x1f;
                minimum = 0x80;
            }
            else if ((c & 0xf0) == 0xe0)
            {
                extra = 2;
                codePoint = c & 0x0f;
                minimum = 0x800;
            }
            else if ((c & 0xf8) == 0xf0)
            {
                extra = 3;
                codePoint = c & 0x07;
                minimum = 0x10000;
            }
            else
                return false;

            if (size - i <= (size_t) extra)
                return false;

            for (int k = 1; k <= extra; ++k)
            {
                const unsigned next = s[i + (size_t) k];
                if ((next & 0xc0) != 0x80)
                    return false;
                codePoint = (codePoint << 6) | (next & 0x3f);
            }

            if (codePoint < minimum || codePoint > 0x10ffff || isSurrogate (codePoint))
                return false;

            i += (size_t) extra + 1;
        }
        return true;
    }

    juce::String decodeText (const char* bytes, size_t size)
    {
        if (bytes == nullptr || size == 0)
            return {};

        if (isValidUtf8 (bytes, size))
            return juce::String::fromUTF8 (bytes, (int) size);

        // Not UTF-8: each byte is one character (Latin-1).
        juce::MemoryOutputStream text (size * 2);
        for (size_t i = 0; i < size; ++i)
            text.appendUTF8Char ((juce::juce_wchar) (unsigned char) bytes[i]);
        return text.toUTF8();
    }

    ParseStatus parse (const char* bytes, size_t size, juce::var& result, Check& check)
    {
        check = checkText (bytes, size);
        if (check != Check::ok)
            return ParseStatus::rejected;

        juce::var parsed;
        if (juce::JSON::parse (decodeText (bytes, size), parsed).failed())
            return ParseStatus::notParsed;
        result = std::move (parsed);
        return ParseStatus::ok;
    }
}
