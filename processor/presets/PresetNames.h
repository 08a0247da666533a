#pragma once

#include <juce_core/juce_core.h>

#include <optional>
#include <string>

// Which preset names are accepted, which files are listed, and how a listed name maps to its
// file and back. One set of rules for writing, the folder scans and the watcher, so that every
// name that can be written is listed again, and every listed name reads the file it came from.
//
// A name stands for a file "<stem>.json". While the cloud folder is in use, a name ending in
// ".local" stands for the file <name without ".local">.json in the local folder and every other
// name for a file in the cloud folder; otherwise every name stands for a file in the local folder.
namespace brisalto::presets
{
    constexpr const char* defaultPresetName = "BrisaltoDefault";
    constexpr const char* defaultPresetFileName = "BrisaltoDefault.json";
    constexpr const char* localSuffix = ".local";

    // Preset files are state chunks: the same limits as the state reader.
    constexpr size_t minPresetBytes = 2;

    // A file stem that may be written and listed: not empty, not "." or "..", not starting with
    // '.', without '/', '\\', NUL or control characters, valid UTF-8, not the default preset's
    // name, and short enough for its file and the temporary file a write goes through.
    bool isAcceptableStem (const juce::String& stem);

    struct Location
    {
        bool inLocalFolder = true;
        juce::String stem;
    };

    // Where a name's file lies, or nothing when the name is refused.
    std::optional<Location> locate (const juce::String& name, bool cloudInUse);

    // Where a new preset of this name is written, or nothing when it is refused: as `locate`,
    // and a file stem that itself ends in ".local" is refused too, since such a file is listed
    // only while the cloud folder is in use and would be lost from the menu without it.
    std::optional<Location> locateForWriting (const juce::String& name, bool cloudInUse);

    // The name a file directly in a preset folder is listed under (fileName: the raw bytes of
    // the file's name), or nothing when it is not listed. Whether the entry is a regular file is
    // the caller's question.
    std::optional<juce::String> listedName (const std::string& fileName, bool inCloudFolder, bool cloudInUse);

    // Whether a file name is one the cloud watcher lists at all: valid UTF-8, ends in ".json",
    // does not start with '.'.
    bool isCandidateFileName (const std::string& fileName);
}
