#pragma once

#include <string>
#include <vector>

// JSON texts that make JUCE's parser overflow its stack or a 64-bit integer unless they are
// refused first; every reader of outside JSON must refuse each of them.
struct HostileJson
{
    const char* what;
    std::string text;
};

inline std::vector<HostileJson> hostileJsonTexts()
{
    return {
        { "65000 brackets", std::string (65000, '[') },
        { "13000 objects",
          []
          {
              std::string s;
              for (int i = 0; i < 13000; ++i)
                  s += "{\"a\":";
              return s;
          }() },
        { "letter after minus", "{\"kAppPrefMidiProgChangeMode\": -x999999999999999999}" },
        { "high character after minus",
          "{\"kAppPrefMidiProgChangeMode\": -\xf4\x8f\xbf\xbf"
          "9999999999999}" },
        { "quote after minus", "{\"kAppPrefMidiProgChangeMode\": -\"999999999999999999\"}" },
        { "minus at the end", "{\"kAppPrefMidiProgChangeMode\": -" },
        { "minus before a wide blank",
          "{\"kAppPrefMidiProgChangeMode\": -\xe2\x80\x83"
          "999999999999999999}" },
        { "23-digit integer", "{\"kAppPrefMidiProgChangeMode\": 12345678901234567890123}" },
        { "10-digit exponent", "{\"kAppPrefMidiProgChangeMode\": 1e1234567890}" },
    };
}
