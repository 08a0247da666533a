#include "UserDefaults.h"
#include "Folders.h"
#include "Log.h"

#include <cmath>

namespace platform
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

FileUserDefaults::FileUserDefaults (juce::File f) : file (std::move (f)) {}

juce::var FileUserDefaults::readAll() const
{
    if (! file.existsAsFile() || file.getSize() > 65536)
        return {};
    auto parsed = juce::JSON::parse (file.loadFileAsString());
    return parsed.isObject() ? parsed : juce::var();
}

int64_t FileUserDefaults::integerForKey (const juce::String& key)
{
    std::lock_guard<std::mutex> lock (mutex);
    const auto all = readAll();
    const auto value = all.getProperty (juce::Identifier (key), juce::var());
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
    const auto all = readAll();
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
    writeValue (key, (juce::int64) value);
}

juce::String FileUserDefaults::stringForKey (const juce::String& key)
{
    std::lock_guard<std::mutex> lock (mutex);
    const auto value = readAll().getProperty (juce::Identifier (key), juce::var());
    return value.isString() ? value.toString() : juce::String();
}

void FileUserDefaults::setString (const juce::String& key, const juce::String& value)
{
    std::lock_guard<std::mutex> lock (mutex);
    writeValue (key, value);
}

void FileUserDefaults::writeValue (const juce::String& key, const juce::var& value)
{
    auto all = readAll();
    auto* object = all.getDynamicObject();
    juce::DynamicObject::Ptr fresh;
    if (object == nullptr)
    {
        fresh = new juce::DynamicObject();
        object = fresh.get();
        all = juce::var (object);
    }
    object->setProperty (juce::Identifier (key), value);

    const auto folder = file.getParentDirectory();
    if (! folder.isDirectory() && ! folder.createDirectory())
    {
        log::write (log::notice, "Brisalto user defaults : %s could NOT be created !!!!", folder.getFullPathName().toRawUTF8());
        return;
    }
    // Write a sibling and move it into place, so a crash never leaves half a file.
    const auto temp = file.getSiblingFile (file.getFileName() + ".tmp");
    if (! temp.replaceWithText (juce::JSON::toString (all)) || ! temp.moveFileTo (file))
        log::write (log::notice, "Brisalto user defaults : %s could NOT be written !!!!", file.getFullPathName().toRawUTF8());
}

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
