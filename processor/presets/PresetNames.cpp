#include "processor/presets/PresetNames.h"
#include "processor/state/StateChunkReader.h"

namespace brisalto::presets
{
    namespace
    {
        // File names hold 255 bytes; a write goes through a hidden temporary sibling named
        // "." + stem + "_temp" + up to 8 hex digits (+ a number when taken) + ".json".
        constexpr int maxStemBytes = 255 - 25;

        bool isControl (juce::juce_wchar c) noexcept
        {
            return c < 0x20 || c == 0x7f || (c >= 0x80 && c <= 0x9f);
        }

        bool endsWithJson (const std::string& name)
        {
            return name.size() > 5 && name.compare (name.size() - 5, 5, ".json") == 0;
        }

        bool isValidUtf8 (const std::string& bytes)
        {
            return brisalto::StateChunkReader::isValidUtf8 (bytes.data(), bytes.size());
        }
    }

    bool isAcceptableStem (const juce::String& stem)
    {
        if (stem.isEmpty() || stem == "." || stem == ".." || stem.startsWithChar ('.') || stem == defaultPresetName)
            return false;

        const std::string bytes (stem.toRawUTF8(), stem.getNumBytesAsUTF8());
        if (! isValidUtf8 (bytes) || (int) bytes.size() > maxStemBytes)
            return false;

        for (auto p = stem.getCharPointer(); ! p.isEmpty(); ++p)
        {
            const auto c = *p;
            if (c == '/' || c == '\\' || isControl (c))
                return false;
        }
        return true;
    }

    std::optional<Location> locate (const juce::String& name, bool cloudInUse)
    {
        Location location;
        if (name.endsWith (localSuffix))
        {
            // Local names carry the suffix only while the cloud is in use.
            if (! cloudInUse)
                return std::nullopt;
            location.inLocalFolder = true;
            location.stem = name.substring (0, name.lastIndexOfIgnoreCase (localSuffix));
        }
        else
        {
            location.inLocalFolder = ! cloudInUse;
            location.stem = name;
        }

        if (! isAcceptableStem (location.stem))
            return std::nullopt;
        // Files whose stem ends in ".local" are listed only in the local folder while the cloud is in
        // use (as "<stem>.local"); anywhere else they could not be listed again.
        if (location.stem.endsWith (localSuffix) && ! (cloudInUse && location.inLocalFolder))
            return std::nullopt;
        return location;
    }

    std::optional<Location> locateForWriting (const juce::String& name, bool cloudInUse)
    {
        auto location = locate (name, cloudInUse);
        if (location && location->stem.endsWith (localSuffix))
            return std::nullopt;
        return location;
    }

    bool isCandidateFileName (const std::string& fileName)
    {
        return endsWithJson (fileName) && fileName[0] != '.' && isValidUtf8 (fileName);
    }

    std::optional<juce::String> listedName (const std::string& fileName, bool inCloudFolder, bool cloudInUse)
    {
        if (! isCandidateFileName (fileName))
            return std::nullopt;

        const auto stem = juce::String::fromUTF8 (fileName.data(), (int) fileName.size() - 5);
        if (! isAcceptableStem (stem))
            return std::nullopt;

        const bool stemIsLocalLike = stem.endsWith (localSuffix);
        if (inCloudFolder)
            return stemIsLocalLike ? std::nullopt : std::optional<juce::String> (stem);
        if (cloudInUse)
            return stem + localSuffix;
        return stemIsLocalLike ? std::nullopt : std::optional<juce::String> (stem);
    }
}
