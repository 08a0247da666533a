#include "UserDefaults.h"
#include "FileAccess.h"
#include "Folders.h"
#include "JsonText.h"
#include "Log.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace brisalto::platform
{
    namespace
    {
        std::mutex backendMutex;
        std::shared_ptr<UserDefaults> backend;
    }

    UserDefaults& UserDefaults::standard()
    {
        std::lock_guard<std::mutex> lock (backendMutex);
        if (backend == nullptr)
            backend = std::make_shared<FileUserDefaults> (folders::configFolder().getChildFile ("user-defaults.json"));
        return *backend;
    }

    void UserDefaults::setStandard (std::shared_ptr<UserDefaults> newBackend)
    {
        std::lock_guard<std::mutex> lock (backendMutex);
        backend = std::move (newBackend);
    }

    FileUserDefaults::FileUserDefaults (juce::File f)
        : file (std::move (f))
    {
    }

    FileUserDefaults::Contents FileUserDefaults::readAll()
    {
        Contents contents;
        contents.object = juce::var (new juce::DynamicObject());

        juce::MemoryBlock data;
        const auto status = files::readRegularFile (file, 0, maxFileBytes, data);
        if (status == files::ReadStatus::missing)
            return contents;
        if (status != files::ReadStatus::ok)
        {
            contents.readable = false;
            logBrokenOnce (files::describe (status));
            return contents;
        }

        auto* bytes = static_cast<const char*> (data.getData());
        auto size = data.getSize();
        // Editors may put a byte order mark before hand-edited text.
        if (size >= 3 && std::memcmp (bytes, "\xef\xbb\xbf", 3) == 0)
        {
            bytes += 3;
            size -= 3;
        }
        if (std::all_of (bytes, bytes + size, [] (char c) { return c == ' ' || (c >= 9 && c <= 13); }))
            return contents;  // nothing in it to keep

        juce::var parsed;
        auto check = json::Check::ok;
        const auto parseStatus = json::parse (bytes, size, parsed, check);
        if (parseStatus != json::ParseStatus::ok || ! parsed.isObject())
        {
            contents.readable = false;
            logBrokenOnce (parseStatus == json::ParseStatus::rejected        ? json::describe (check)
                               : parseStatus == json::ParseStatus::notParsed ? "not JSON"
                                                                             : "not a JSON object");
            return contents;
        }
        brokenLogged = false;
        contents.object = parsed;
        return contents;
    }

    void FileUserDefaults::logBrokenOnce (const char* why)
    {
        if (std::exchange (brokenLogged, true))
            return;
        log::write (log::warning, "Brisalto user defaults : %s ignored (%s), left as it is until a setting changes !!!!",
                    file.getFullPathName().toRawUTF8(), why);
    }

    int64_t FileUserDefaults::integerForKey (const juce::String& key)
    {
        std::lock_guard<std::mutex> lock (mutex);
        const auto value = readAll().object.getProperty (juce::Identifier (key), juce::var());
        if (value.isInt() || value.isInt64() || value.isBool())
            return (int64_t) static_cast<juce::int64> (value);
        if (value.isDouble())
        {
            const auto d = (double) value;
            if (std::isfinite (d) && d > -9.2e18 && d < 9.2e18)
                return (int64_t) d;
        }
        return 0;
    }

    std::optional<int64_t> FileUserDefaults::lookUpInteger (const juce::String& key)
    {
        std::lock_guard<std::mutex> lock (mutex);
        const auto all = readAll().object;
        const juce::Identifier id (key);
        const auto* object = all.getDynamicObject();
        if (object == nullptr || ! object->hasProperty (id))
            return std::nullopt;

        const auto value = object->getProperty (id);
        if (value.isInt() || value.isInt64())
            return (int64_t) static_cast<juce::int64> (value);
        if (value.isBool())
            return (bool) value ? 1 : 0;
        if (value.isDouble())
        {
            // Whole numbers only, and only where they fit 64 bits exactly.
            const auto d = (double) value;
            if (std::isfinite (d) && d == std::floor (d) && d >= -9.0e18 && d <= 9.0e18)
                return (int64_t) d;
        }
        return std::nullopt;
    }

    void FileUserDefaults::setInteger (const juce::String& key, int64_t value)
    {
        std::lock_guard<std::mutex> lock (mutex);
        writeValue (key, (juce::int64) value, Write::userChoice);
    }

    void FileUserDefaults::writeBackInteger (const juce::String& key, int64_t value)
    {
        std::lock_guard<std::mutex> lock (mutex);
        writeValue (key, (juce::int64) value, Write::writeBack);
    }

    juce::String FileUserDefaults::stringForKey (const juce::String& key)
    {
        std::lock_guard<std::mutex> lock (mutex);
        const auto value = readAll().object.getProperty (juce::Identifier (key), juce::var());
        return value.isString() ? value.toString() : juce::String();
    }

    void FileUserDefaults::setString (const juce::String& key, const juce::String& value)
    {
        std::lock_guard<std::mutex> lock (mutex);
        writeValue (key, value, Write::userChoice);
    }

    void FileUserDefaults::writeValue (const juce::String& key, const juce::var& value, Write kind)
    {
        const juce::Identifier id (key);
        auto contents = readAll();
        auto* object = contents.object.getDynamicObject();
        if (kind == Write::writeBack)
        {
            // What the user wrote by hand is not lost by merely loading the plug-in.
            if (! contents.readable)
                return;
            if (object->hasProperty (id) && object->getProperty (id) == value)
                return;
        }
        object->setProperty (id, value);

        const auto folder = file.getParentDirectory();
        if (! folder.isDirectory() && ! folder.createDirectory())
        {
            log::write (log::notice, "Brisalto user defaults : %s could NOT be created !!!!",
                        folder.getFullPathName().toRawUTF8());
            return;
        }
        // Written beside the file and renamed over it: a crash never leaves half a file.
        const auto text = juce::JSON::toString (contents.object);
        if (! files::replaceWholeFile (file, text.toRawUTF8(), text.getNumBytesAsUTF8()))
            log::write (log::notice, "Brisalto user defaults : %s could NOT be written !!!!", file.getFullPathName().toRawUTF8());
    }
}
