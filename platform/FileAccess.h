#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>
#include <string>
#include <vector>

// File-system questions that JUCE's File answers too loosely for preset files: JUCE counts a
// FIFO or a device as a file, reads a FIFO until a writer appears and lists hidden files.
namespace brisalto::platform::files
{
    struct DirectoryEntry
    {
        std::string name;            // the raw bytes of the entry's name
        bool isRegularFile = false;  // after following symbolic links
        int64_t size = 0;
        int64_t modifiedNs = 0;  // modification time in nanoseconds
    };

    enum class ListStatus
    {
        ok,
        missing,  // the folder does not exist (or is not a folder)
        failed    // it exists but could not be read
    };

    // The entries directly in a folder ("." and ".." left out), unsorted.
    ListStatus listFolder (const juce::File& folder, std::vector<DirectoryEntry>& entries);

    enum class ReadStatus
    {
        ok,
        missing,
        notRegular,  // a folder, FIFO, socket or device
        tooSmall,
        tooLarge,
        failed
    };

    const char* describe (ReadStatus) noexcept;

    // Reads a whole regular file of minBytes..maxBytes without ever blocking on a FIFO or
    // reading more than maxBytes + 1 bytes.
    ReadStatus readRegularFile (const juce::File& file, size_t minBytes, size_t maxBytes, juce::MemoryBlock& data);

    // The entry of one path (after following symbolic links); false when it does not exist.
    bool describeFile (const juce::File& file, DirectoryEntry& entry);

    // Writes the bytes to a hidden temporary file beside the target and renames it over the
    // target only when every byte was written: the target is whole, or as it was before. A
    // symbolic link is written through to the regular file it names (or creates that file
    // where its folder exists) and stays a link; the old file's permissions are kept.
    bool replaceWholeFile (const juce::File& file, const void* data, size_t size);
}
