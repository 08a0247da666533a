#pragma once

#include <juce_core/juce_core.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>

// Small preferences shared by every instance of a user: integers such as the MIDI
// program-change settings, and strings such as the cloud sync folder.
namespace brisalto::platform
{
    class UserDefaults
    {
    public:
        virtual ~UserDefaults() = default;

        // The stored integer, or 0 when the key is missing or unreadable.
        virtual int64_t integerForKey (const juce::String& key) = 0;
        // The user's own choice: stored, and a file that could not be read is replaced.
        virtual void setInteger (const juce::String& key, int64_t value) = 0;
        // A value the plug-in mirrors on its own (a restored mode, a start-up value): a file
        // that could not be read is left as it is, and an unchanged value is not written again.
        virtual void writeBackInteger (const juce::String& key, int64_t value) { setInteger (key, value); }

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

    // Keeps the values in a small JSON file, by default in the configuration folder. The file
    // is anyone's to edit: it is read as a regular file of at most maxFileBytes, never waiting
    // on a FIFO, and parsed only after the checks every JSON text gets. A file that fails any
    // of that reads as empty, is logged once, and stays as it is until the user changes a
    // setting.
    class FileUserDefaults final : public UserDefaults
    {
    public:
        static constexpr size_t maxFileBytes = 65536;

        explicit FileUserDefaults (juce::File file);
        int64_t integerForKey (const juce::String& key) override;
        void setInteger (const juce::String& key, int64_t value) override;
        void writeBackInteger (const juce::String& key, int64_t value) override;
        std::optional<int64_t> lookUpInteger (const juce::String& key) override;
        juce::String stringForKey (const juce::String& key) override;
        void setString (const juce::String& key, const juce::String& value) override;

    private:
        struct Contents
        {
            juce::var object;      // an object, possibly empty
            bool readable = true;  // false: the file is there but broken or unreadable
        };
        Contents readAll();
        enum class Write
        {
            userChoice,
            writeBack
        };
        void writeValue (const juce::String& key, const juce::var& value, Write kind);
        void logBrokenOnce (const char* why);

        juce::File file;
        std::mutex mutex;
        bool brokenLogged = false;
    };
}
