#pragma once

#include "platform/UserDefaults.h"

namespace brisalto::platform
{
    // Keeps the values in memory, for tests: nothing reaches a file.
    class InMemoryUserDefaults final : public UserDefaults
    {
    public:
        int64_t integerForKey (const juce::String& key) override;
        void setInteger (const juce::String& key, int64_t value) override;
        std::optional<int64_t> lookUpInteger (const juce::String& key) override;
        juce::String stringForKey (const juce::String& key) override;
        void setString (const juce::String& key, const juce::String& value) override;

    private:
        std::mutex mutex;
        std::map<juce::String, int64_t> values;
        std::map<juce::String, juce::String> strings;
    };
}
