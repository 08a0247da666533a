#pragma once

#include <juce_core/juce_core.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>

// Small preferences shared by every instance of a user: integers such as the MIDI
// program-change settings, and strings such as the cloud sync folder.
namespace platform
{
    class UserDefaults
    {
    public:
        virtual ~UserDefaults() = default;

        // The stored integer, or 0 when the key is missing or unreadable.
        virtual int64_t integerForKey (const juce::String& key) = 0;
        virtual void setInteger (const juce::String& key, int64_t value) = 0;

        // The stored integer, or nothing when the key is missing or its value is not a whole
        // number (a text, a fraction, a number beyond 64 bits), so a caller can tell a missing
        // key apart from a stored 0.
        virtual std::optional<int64_t> lookUpInteger (const juce::String& key) = 0;
        // The stored string, or an empty string when the key is missing or not a string.
        // (A backend without strings answers empty and ignores writes.)
        virtual juce::String stringForKey (const juce::String&) { return {}; }
        virtual void setString (const juce::String&, const juce::String&) {}

        // The backend in use (the file backend unless a test installed another).
        static UserDefaults& standard();
        static void setStandard (std::shared_ptr<UserDefaults> backend);
    };

    // Keeps the values in a small JSON file, by default in the configuration folder.
    class FileUserDefaults final : public UserDefaults
    {
    public:
        explicit FileUserDefaults (juce::File file);
        int64_t integerForKey (const juce::String& key) override;
        void setInteger (const juce::String& key, int64_t value) override;
        std::optional<int64_t> lookUpInteger (const juce::String& key) override;
        juce::String stringForKey (const juce::String& key) override;
        void setString (const juce::String& key, const juce::String& value) override;

    private:
        juce::var readAll() const;
        void writeValue (const juce::String& key, const juce::var& value);
        juce::File file;
        std::mutex mutex;
    };

    // Keeps the values in memory, for tests.
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
