#include "FileAccess.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brisalto::platform::files
{
    namespace
    {
        int64_t modifiedNsOf (const struct stat& info)
        {
            return (int64_t) info.st_mtim.tv_sec * 1000000000 + (int64_t) info.st_mtim.tv_nsec;
        }

        // The file a chain of symbolic links ends at (relative links count from their own
        // folder), or an empty File when the chain loops or runs deeper than the kernel follows.
        juce::File endOfLinks (juce::File file)
        {
            constexpr int maxLinks = 40;
            for (int followed = 0; followed <= maxLinks; ++followed)
            {
                const auto target = file.getNativeLinkedTarget();
                if (target.isEmpty())
                    return file;
                file = file.getParentDirectory().getChildFile (target);
            }
            return {};
        }

        // Where a write lands: a plain path as it is, a symbolic link at the end of its chain,
        // which must be a regular file or be missing in a folder that exists. A link never
        // becomes a file of its own, a folder is never replaced, and no folder is made for a
        // link's end. regularFileMode is the permissions of the regular file that stands there,
        // or 0.
        juce::File whereToWrite (const juce::File& file, mode_t& regularFileMode)
        {
            regularFileMode = 0;
            const bool link = file.isSymbolicLink();
            const auto end = link ? endOfLinks (file) : file;
            if (end == juce::File())
                return {};
            struct stat info
            {
            };
            if (::stat (end.getFullPathName().toRawUTF8(), &info) != 0)
                return end.getParentDirectory().isDirectory() ? end : juce::File();
            if (S_ISDIR (info.st_mode) || (link && ! S_ISREG (info.st_mode)))
                return {};
            if (S_ISREG (info.st_mode))
                regularFileMode = info.st_mode & 07777;
            return end;
        }
    }

    ListStatus listFolder (const juce::File& folder, std::vector<DirectoryEntry>& entries)
    {
        entries.clear();
        const auto path = folder.getFullPathName();
        if (path.isEmpty())
            return ListStatus::missing;

        const int dirFd = ::open (path.toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd < 0)
            return (errno == ENOENT || errno == ENOTDIR) ? ListStatus::missing : ListStatus::failed;

        DIR* dir = ::fdopendir (dirFd);
        if (dir == nullptr)
        {
            ::close (dirFd);
            return ListStatus::failed;
        }

        errno = 0;
        while (const auto* entry = ::readdir (dir))
        {
            const std::string name (entry->d_name);
            if (name == "." || name == "..")
                continue;

            DirectoryEntry e;
            e.name = name;
            struct stat info
            {
            };
            if (::fstatat (dirFd, entry->d_name, &info, 0) == 0)
            {
                e.isRegularFile = S_ISREG (info.st_mode);
                e.size = (int64_t) info.st_size;
                e.modifiedNs = modifiedNsOf (info);
            }
            entries.push_back (std::move (e));
            errno = 0;
        }
        const bool readFailed = errno != 0;
        ::closedir (dir);
        return readFailed ? ListStatus::failed : ListStatus::ok;
    }

    const char* describe (ReadStatus status) noexcept
    {
        switch (status)
        {
            case ReadStatus::ok: return "ok";
            case ReadStatus::missing: return "missing";
            case ReadStatus::notRegular: return "not a regular file";
            case ReadStatus::tooSmall: return "too small";
            case ReadStatus::tooLarge: return "too large";
            case ReadStatus::failed: return "unreadable";
        }
        return "unreadable";
    }

    ReadStatus readRegularFile (const juce::File& file, size_t minBytes, size_t maxBytes, juce::MemoryBlock& data)
    {
        data.reset();
        const auto path = file.getFullPathName();
        if (path.isEmpty())
            return ReadStatus::missing;

        // O_NONBLOCK: opening a FIFO for reading must not wait for a writer. The type is checked
        // on the open descriptor, so a file swapped for a FIFO after a check cannot slip through.
        const int fd = ::open (path.toRawUTF8(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return errno == ENOENT ? ReadStatus::missing : ReadStatus::failed;

        struct stat info
        {
        };
        auto status = ReadStatus::ok;
        if (::fstat (fd, &info) != 0)
            status = ReadStatus::failed;
        else if (! S_ISREG (info.st_mode))
            status = ReadStatus::notRegular;
        else if ((uint64_t) info.st_size > (uint64_t) maxBytes)
            status = ReadStatus::tooLarge;
        else if ((size_t) info.st_size < minBytes)
            status = ReadStatus::tooSmall;

        if (status == ReadStatus::ok)
        {
            // The file may change while it is read: never take more than the limit.
            std::vector<char> buffer (maxBytes + 1);
            size_t total = 0;
            for (;;)
            {
                const auto n = ::read (fd, buffer.data() + total, buffer.size() - total);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                {
                    status = ReadStatus::failed;
                    break;
                }
                if (n == 0)
                    break;
                total += (size_t) n;
                if (total > maxBytes)
                {
                    status = ReadStatus::tooLarge;
                    break;
                }
            }
            if (status == ReadStatus::ok && total < minBytes)
                status = ReadStatus::tooSmall;
            if (status == ReadStatus::ok)
                data.replaceAll (buffer.data(), total);
        }

        ::close (fd);
        return status;
    }

    bool describeFile (const juce::File& file, DirectoryEntry& entry)
    {
        struct stat info
        {
        };
        const auto path = file.getFullPathName();
        if (path.isEmpty() || ::stat (path.toRawUTF8(), &info) != 0)
            return false;
        entry.name = file.getFileName().toStdString();
        entry.isRegularFile = S_ISREG (info.st_mode);
        entry.size = (int64_t) info.st_size;
        entry.modifiedNs = modifiedNsOf (info);
        return true;
    }
    bool replaceWholeFile (const juce::File& file, const void* data, size_t size)
    {
        if (size == 0 || file.getFullPathName().isEmpty())
            return false;
        mode_t regularFileMode = 0;
        const auto target = whereToWrite (file, regularFileMode);
        if (target == juce::File())
            return false;

        juce::TemporaryFile temp (target, juce::TemporaryFile::useHiddenFile);
        {
            juce::FileOutputStream out (temp.getFile());
            if (! out.openedOk() || ! out.write (data, size))
                return false;
            out.flush();
            if (out.getStatus().failed())
                return false;
        }
        // The new content keeps the old file's permissions (a private file stays private).
        if (regularFileMode != 0)
            ::chmod (temp.getFile().getFullPathName().toRawUTF8(), regularFileMode);
        return temp.overwriteTargetFileWithTemporary();
    }
}
