// "Copy factory presets": the state chunks shipped in the plug-in's resources folder and the
// factory programs become user presets, for names the store does not hold yet.

#include "processor/PluginProcessor.h"
#include "processor/presets/PresetNames.h"
#include "processor/presets/PresetWatcher.h"
#include "processor/state/StateChunkReader.h"

#include "platform/FileAccess.h"
#include "platform/Log.h"

#include <algorithm>

namespace
{
    constexpr const char* factoryProgramPrefix = "factory:";
    constexpr const char* unlistedProgramName = "default";

    struct FactoryFile
    {
        juce::String name;
        juce::File file;
    };

    // The "*.json" regular files directly in the folder, by name, as the presets they stand for,
    // leaving out names the store refuses. The default preset's file is not one of them: it
    // would replace the user's default.
    std::vector<FactoryFile> factoryFiles (const juce::File& folder, bool cloudInUse)
    {
        std::vector<FactoryFile> found;
        std::vector<brisalto::platform::files::DirectoryEntry> entries;
        if (brisalto::platform::files::listFolder (folder, entries) != brisalto::platform::files::ListStatus::ok)
            return found;

        for (const auto& entry : entries)
        {
            if (! entry.isRegularFile || ! brisalto::presets::isCandidateFileName (entry.name)
                || entry.name == brisalto::presets::defaultPresetFileName)
                continue;
            const auto fileName = juce::String::fromUTF8 (entry.name.data(), (int) entry.name.size());
            const auto name = fileName.dropLastCharacters (5);
            if (brisalto::presets::locate (name, cloudInUse))
                found.push_back ({ name, folder.getChildFile (fileName) });
        }
        std::sort (found.begin(), found.end(), [] (const auto& a, const auto& b) { return a.name < b.name; });
        return found;
    }

    bool readChunk (const juce::File& file, juce::MemoryBlock& chunk)
    {
        if (brisalto::platform::files::readRegularFile (file, brisalto::presets::minPresetBytes,
                                                        brisalto::StateChunkReader::maxTextBytes, chunk)
            != brisalto::platform::files::ReadStatus::ok)
            return false;
        brisalto::StateChunkReader::Result ignored;
        return brisalto::StateChunkReader::read (chunk.getData(), (int) chunk.getSize(), true, ignored)
            == brisalto::StateChunkReader::Status::ok;
    }
}

bool BrisaltoAudioProcessor::hasFactoryPresetsToCopy (const juce::File& resourcesFolder)
{
    const auto names = getUserPresetNames();
    const auto missing = [&names] (const juce::String& name) { return names.count (name) == 0; };

    // Only files whose names are missing are read: once copied, the listing is all it takes.
    juce::MemoryBlock chunk;
    for (const auto& factory : factoryFiles (resourcesFolder, mICloudEnabled != 0))
        if (missing (factory.name) && readChunk (factory.file, chunk))
            return true;

    for (int program = 0; program < getNumPrograms(); ++program)
        if (getProgramName (program) != unlistedProgramName && missing (factoryProgramPrefix + getProgramName (program)))
            return true;
    return false;
}

int BrisaltoAudioProcessor::copyFactoryPresets (const juce::File& resourcesFolder)
{
    int added = 0;
    for (const auto& factory : factoryFiles (resourcesFolder, mICloudEnabled != 0))
    {
        if (getUserPresetIndx (factory.name) >= 0)
            continue;
        juce::MemoryBlock chunk;
        if (! readChunk (factory.file, chunk))
        {
            brisalto::platform::log::write (brisalto::platform::log::notice,
                                            "Brisalto factory preset %s is not a state chunk !!!!",
                                            factory.file.getFullPathName().toRawUTF8());
            continue;
        }
        added += addFactoryPreset (factory.name, chunk) ? 1 : 0;
    }

    for (int program = 0; program < getNumPrograms(); ++program)
    {
        const auto name = factoryProgramPrefix + getProgramName (program);
        if (getProgramName (program) == unlistedProgramName || getUserPresetIndx (name) >= 0)
            continue;
        float values[NUM_PARAMETERS];
        getProgramParameters (program, values);
        juce::MemoryBlock chunk;
        getStateInformationWith (values, name, chunk);
        added += addFactoryPreset (name, chunk) ? 1 : 0;
    }
    return added;
}

bool BrisaltoAudioProcessor::addFactoryPreset (const juce::String& name, const juce::MemoryBlock& chunk)
{
    const auto path = getFullPathOfPreset (name);
    if (path.isEmpty())
    {
        brisalto::platform::log::write (brisalto::platform::log::notice, "Brisalto preset name refused : \"%s\" !!!!",
                                        name.toRawUTF8());
        return false;
    }

    // A file the store does not list yet is the user's: it is listed, never replaced.
    const juce::File file (path);
    brisalto::platform::files::DirectoryEntry existing;
    const bool present = brisalto::platform::files::describeFile (file, existing);
    if (present ? ! existing.isRegularFile : ! writeChunkTo (file, chunk))
        return false;

    {
        const juce::ScopedLock lock (mPresetLock);
        mUserPresetNames.insert (name);
        if (mCurrentUserPresetIndex >= 0)
            mCurrentUserPresetIndex = indexOfPresetLocked (currentUserPreset);
    }

    if (! present && mCloudClientRegistered && ! name.endsWith (brisalto::presets::localSuffix))
        PresetWatcher::shared().noteOwnWrite (file);
    return true;
}
