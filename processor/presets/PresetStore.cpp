#include "processor/PluginProcessor.h"
#include "processor/presets/CloudContainerLookup.h"
#include "processor/presets/PresetNames.h"
#include "processor/presets/PresetWatcher.h"
#include "processor/state/StateChunkReader.h"

#include "platform/CloudDocuments.h"
#include "platform/FileAccess.h"
#include "platform/Folders.h"
#include "platform/Log.h"

#include <sys/stat.h>
#include <unistd.h>

namespace
{
    bool cloudInUse (const BrisaltoAudioProcessor& p)
    {
        return p.mICloudEnabled != 0;
    }

    // An existing file without its owner's write permission, or one this process may not write
    // (the permission bit counts even where the process could write anyway, as root can).
    bool isWriteProtected (const juce::File& file)
    {
        struct stat info
        {
        };
        const auto path = file.getFullPathName().toStdString();
        if (::stat (path.c_str(), &info) != 0)
            return false;
        return (info.st_mode & S_IWUSR) == 0 || ::access (path.c_str(), W_OK) != 0;
    }
}

//==============================================================================
juce::File BrisaltoAudioProcessor::getPresetDir (int local)
{
    {
        const juce::ScopedLock lock (mPresetLock);
        if (local == 0 && mICloudContainerPath.size() >= 2)
            return juce::File (juce::String (juce::CharPointer_UTF8 (mICloudContainerPath.c_str())));
    }

    if (local != 0 || mICloudEnabled == 0)
        return brisalto::platform::folders::localPresetFolder();

    // The document store is in use but its container is not known yet.
    const auto path = brisalto::platform::CloudDocuments::standard().mobileDocumentsPath();
    if (path.isEmpty() || ! juce::File::isAbsolutePath (path))
        return {};
    const juce::File folder (path);
    if (! folder.isDirectory())
        folder.createDirectory();
    return folder;
}

juce::String BrisaltoAudioProcessor::getFullPathOfPreset (juce::String name)
{
    const auto location = brisalto::presets::locate (name, cloudInUse (*this));
    if (! location)
        return {};
    const auto folder = getPresetDir (location->inLocalFolder ? 1 : 0).getFullPathName();
    if (folder.isEmpty())
        return {};
    return folder + "/" + location->stem + ".json";
}

//==============================================================================
int BrisaltoAudioProcessor::indexOfPresetLocked (const juce::String& name) const
{
    int position = 0;
    for (const auto& entry : mUserPresetNames)
    {
        if (entry == name)
            return position;
        ++position;
    }
    return -1;
}

int BrisaltoAudioProcessor::getUserPresetIndx (const juce::String& name)
{
    const juce::ScopedLock lock (mPresetLock);
    return indexOfPresetLocked (name);
}

juce::String BrisaltoAudioProcessor::getUserPresetName (int index)
{
    const juce::ScopedLock lock (mPresetLock);
    if (index < 0 || index >= (int) mUserPresetNames.size())
        return {};
    return *std::next (mUserPresetNames.begin(), index);
}

std::set<juce::String> BrisaltoAudioProcessor::getUserPresetNames() const
{
    const juce::ScopedLock lock (mPresetLock);
    return mUserPresetNames;
}

juce::String BrisaltoAudioProcessor::getCurrentUserPreset() const
{
    const juce::ScopedLock lock (mPresetLock);
    return currentUserPreset;
}

int BrisaltoAudioProcessor::getCurrentUserPresetIndex() const
{
    const juce::ScopedLock lock (mPresetLock);
    return mCurrentUserPresetIndex;
}

void BrisaltoAudioProcessor::clearCurrentUserPreset()
{
    const juce::ScopedLock lock (mPresetLock);
    currentUserPreset.clear();
    mCurrentUserPresetIndex = -1;
}

//==============================================================================
int BrisaltoAudioProcessor::loadUserPreset (juce::String name)
{
    if (getUserPresetIndx (name) < 0)
        return -1;

    const juce::File file (getFullPathOfPreset (name));
    juce::MemoryBlock data;
    const auto status = brisalto::platform::files::readRegularFile (file, brisalto::presets::minPresetBytes,
                                                                    brisalto::StateChunkReader::maxTextBytes, data);
    if (status == brisalto::platform::files::ReadStatus::missing)
    {
        brisalto::platform::log::write (brisalto::platform::log::notice, "\nBrisalto : selected preset %s does NOT exists !\n",
                                        name.toRawUTF8());
        return -1;
    }
    if (status != brisalto::platform::files::ReadStatus::ok)
    {
        brisalto::platform::log::write (brisalto::platform::log::notice, "Brisalto : selected preset %s NOT loaded (%s) !!!!",
                                        name.toRawUTF8(), brisalto::platform::files::describe (status));
        return -1;
    }

    // A plug-in instance keeps its program-change settings whatever the preset holds, and
    // "MIDI from the host" too (the scope tells the restore).
    const int32_t progChangeMode = midi_progr_change_mode;
    const int32_t progChangeChannel = midi_progr_change_channel;
    const UserPresetLoadScope keepMidiFromHost (*this);
    if (! applyStateChunk (data.getData(), (int) data.getSize()))
    {
        brisalto::platform::log::write (brisalto::platform::log::notice,
                                        "Brisalto : selected preset %s NOT loaded (not a state chunk) !!!!", name.toRawUTF8());
        return -1;
    }

    {
        const juce::ScopedLock lock (mPresetLock);
        currentUserPreset = name;
        mCurrentUserPresetIndex = indexOfPresetLocked (name);
    }

    if (wrapperType != wrapperType_Standalone)
    {
        midi_progr_change_mode = progChangeMode;
        midi_progr_change_channel = progChangeChannel;
    }
    mUserPresetModified = 0;
    return 0;
}

bool BrisaltoAudioProcessor::writeStateTo (const juce::File& file)
{
    juce::MemoryBlock state;
    getStateInformation (state);
    return writeChunkTo (file, state);
}

bool BrisaltoAudioProcessor::writeChunkTo (const juce::File& file, const juce::MemoryBlock& chunk)
{
    const auto folder = file.getParentDirectory();
    if (! folder.isDirectory() && ! folder.createDirectory())
    {
        brisalto::platform::log::write (brisalto::platform::log::notice,
                                        "\nBrisalot preset file : %s could NOT be created !!!!\n",
                                        file.getFullPathName().toRawUTF8());
        return false;
    }

    // A file the user made read-only keeps its content and its protection.
    if (isWriteProtected (file))
    {
        brisalto::platform::log::write (brisalto::platform::log::notice,
                                        "\nBrisalto preset file : %s is read-only, NOT overwritten !!!!\n",
                                        file.getFullPathName().toRawUTF8());
        return false;
    }

    // A hidden temporary file beside the target, renamed over it: the target is whole or untouched.
    if (! brisalto::platform::files::replaceWholeFile (file, chunk.getData(), chunk.getSize()))
    {
        brisalto::platform::log::write (brisalto::platform::log::notice,
                                        "\nBrisalto preset file : %s could NOT be written !!!!\n",
                                        file.getFullPathName().toRawUTF8());
        return false;
    }
    return true;
}

bool BrisaltoAudioProcessor::writeUserPreset (juce::String name)
{
    const auto path =
        brisalto::presets::locateForWriting (name, cloudInUse (*this)) ? getFullPathOfPreset (name) : juce::String();
    if (path.isEmpty())
    {
        if (brisalto::presets::locateForWriting (name, cloudInUse (*this)))
            brisalto::platform::log::write (brisalto::platform::log::notice,
                                            "\nBrisalot preset file : %s could NOT be created !!!!\n", name.toRawUTF8());
        else
            brisalto::platform::log::write (brisalto::platform::log::notice, "Brisalto preset name refused : \"%s\" !!!!",
                                            name.toRawUTF8());
        return false;
    }

    const juce::File file (path);
    if (! writeStateTo (file))
        return false;

    {
        const juce::ScopedLock lock (mPresetLock);
        mUserPresetNames.insert (name);
        currentUserPreset = name;
        mCurrentUserPresetIndex = indexOfPresetLocked (name);
    }
    mUserPresetModified = 0;

    if (mCloudClientRegistered && ! name.endsWith (brisalto::presets::localSuffix))
        PresetWatcher::shared().noteOwnWrite (file);
    return true;
}

bool BrisaltoAudioProcessor::writeDefaultPreset()
{
    const auto folder = getPresetDir (0);
    if (folder.getFullPathName().isEmpty())
        return false;
    return writeStateTo (folder.getChildFile (brisalto::presets::defaultPresetFileName));
}

bool BrisaltoAudioProcessor::removeUserPreset (juce::String name)
{
    if (getUserPresetIndx (name) < 0)
        return false;

    const auto path = getFullPathOfPreset (name);
    if (path.isEmpty())
        return false;
    const juce::File file (path);
    if (! file.exists())
        return false;

    file.deleteFile();
    if (file.exists())
    {
        brisalto::platform::log::write (brisalto::platform::log::notice, "Brisalto preset file : %s could NOT be deleted !!!!",
                                        path.toRawUTF8());
        return false;
    }

    {
        const juce::ScopedLock lock (mPresetLock);
        mUserPresetNames.erase (name);
        currentUserPreset.clear();
        mCurrentUserPresetIndex = -1;
    }
    mUserPresetModified = 0;
    return true;
}

//==============================================================================
void BrisaltoAudioProcessor::scanPresetFolders()
{
    const auto addFilesOf = [this] (const juce::File& dir, bool isCloudFolder)
    {
        std::vector<brisalto::platform::files::DirectoryEntry> entries;
        if (brisalto::platform::files::listFolder (dir, entries) != brisalto::platform::files::ListStatus::ok)
            return;
        const juce::ScopedLock lock (mPresetLock);
        for (const auto& entry : entries)
            if (entry.isRegularFile)
                if (const auto name = brisalto::presets::listedName (entry.name, isCloudFolder, cloudInUse (*this)))
                    mUserPresetNames.insert (*name);
    };

    if (wrapperType != wrapperType_Standalone)
    {
        mICloudEnabled = 1;
        const auto dir = getPresetDir (0);
        if (dir.getFullPathName().isEmpty() || ! dir.isDirectory())
            mICloudEnabled = 0;
        else
            addFilesOf (dir, true);
    }

    const auto local = getPresetDir (1);
    if (local.getFullPathName().isNotEmpty() && local.isDirectory())
        addFilesOf (local, false);
}

void BrisaltoAudioProcessor::loadDefaultPreset()
{
    juce::MemoryBlock data;
    const auto file = getPresetDir (0).getChildFile (brisalto::presets::defaultPresetFileName);
    if (brisalto::platform::files::readRegularFile (file, brisalto::presets::minPresetBytes,
                                                    brisalto::StateChunkReader::maxTextBytes, data)
        != brisalto::platform::files::ReadStatus::ok)
        return;

    applyStateChunk (data.getData(), (int) data.getSize());
    const juce::ScopedLock lock (mPresetLock);
    mCurrentUserPresetIndex = -1;
    currentUserPreset.clear();
}

//==============================================================================
void BrisaltoAudioProcessor::startCloudContainerLookup()
{
    requestCloudContainer ([self = mLifetime.handle()] (const std::string& path)
                           { self.call ([&] (BrisaltoAudioProcessor& p) { p.get_iCloudContainerCallback (path); }); });
}

void BrisaltoAudioProcessor::get_iCloudContainerCallback (std::string path)
{
    {
        const juce::ScopedLock lock (mPresetLock);
        mICloudContainerPath = path;
    }

    auto current =
        PresetWatcher::shared().addClient (mInstanceId, this, juce::File (juce::String::fromUTF8 (path.c_str())),
                                           [self = mLifetime.handle()] (const PresetWatcher::Docs& docs)
                                           { self.call ([&] (BrisaltoAudioProcessor& p) { p.rebuildUserPresetNames (docs); }); });
    mCloudClientRegistered = true;

    // A later instance gets the current list at once, without waiting for a change.
    if (current)
        rebuildUserPresetNames (*current);
    requestEditorRefresh();
}

void BrisaltoAudioProcessor::leaveCloudWatcher()
{
    if (mCloudClientRegistered)
        PresetWatcher::shared().removeClient (mInstanceId, this);
    mCloudClientRegistered = false;
}

void BrisaltoAudioProcessor::rebuildUserPresetNames (const std::set<std::string>& docs)
{
    {
        const juce::ScopedLock lock (mPresetLock);
        std::set<juce::String> names;
        for (const auto& name : mUserPresetNames)
            if (name.endsWith (brisalto::presets::localSuffix))
                names.insert (name);

        const auto container = juce::String::fromUTF8 (mICloudContainerPath.c_str());
        for (const auto& path : docs)
        {
            // Only files directly in the documents folder stand for cloud presets.
            const auto slash = path.find_last_of ('/');
            if (slash == std::string::npos || juce::String::fromUTF8 (path.data(), (int) slash) != container)
                continue;
            if (const auto name = brisalto::presets::listedName (path.substr (slash + 1), true, true))
                names.insert (*name);
        }

        mUserPresetNames.swap (names);
        mCurrentUserPresetIndex = indexOfPresetLocked (currentUserPreset);
    }
    requestEditorRefresh();
}
