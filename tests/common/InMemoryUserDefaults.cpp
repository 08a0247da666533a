#include "InMemoryUserDefaults.h"

namespace brisalto::platform
{
    int64_t InMemoryUserDefaults::integerForKey (const juce::String& key)
    {
        std::lock_guard<std::mutex> lock (mutex);
        const auto it = values.find (key);
        return it == values.end() ? 0 : it->second;
    }

    std::optional<int64_t> InMemoryUserDefaults::lookUpInteger (const juce::String& key)
    {
        std::lock_guard<std::mutex> lock (mutex);
        const auto it = values.find (key);
        if (it == values.end())
            return std::nullopt;
        return it->second;
    }

    void InMemoryUserDefaults::setInteger (const juce::String& key, int64_t value)
    {
        std::lock_guard<std::mutex> lock (mutex);
        values[key] = value;
    }

    juce::String InMemoryUserDefaults::stringForKey (const juce::String& key)
    {
        std::lock_guard<std::mutex> lock (mutex);
        const auto it = strings.find (key);
        return it == strings.end() ? juce::String() : it->second;
    }

    void InMemoryUserDefaults::setString (const juce::String& key, const juce::String& value)
    {
        std::lock_guard<std::mutex> lock (mutex);
        strings[key] = value;
    }
}
