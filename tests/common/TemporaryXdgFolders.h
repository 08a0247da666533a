#pragma once

// Test programs run directly (not through CTest) must not touch the user's real configuration,
// data and sync folders: main points XDG_CONFIG_HOME and XDG_DATA_HOME (and, when asked, HOME)
// at a fresh temporary folder for the whole run, removes it afterwards, and names no sync folder.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

namespace brisalto::test
{

class TemporaryXdgFolders
{
public:
    explicit TemporaryXdgFolders (bool alsoHome = false)
    {
        const char* base = std::getenv ("TMPDIR");
        std::string pattern = std::string (base != nullptr && *base != '\0' ? base : "/tmp") + "/brisalto-test-XXXXXX";
        if (::mkdtemp (pattern.data()) == nullptr)
        {
            std::perror ("brisalto tests: cannot create a temporary XDG folder");
            std::exit (1);
        }
        root = pattern;
        const auto config = root / "config";
        const auto data = root / "data";
        std::filesystem::create_directories (config);
        std::filesystem::create_directories (data);
        ::setenv ("XDG_CONFIG_HOME", config.c_str(), 1);
        ::setenv ("XDG_DATA_HOME", data.c_str(), 1);
        // No sync folder either, unless a test names one of its own.
        ::setenv ("BRISALTO_SYNC_ROOT", "", 1);
        if (alsoHome)
        {
            const auto home = root / "home";
            std::filesystem::create_directories (home);
            ::setenv ("HOME", home.c_str(), 1);
        }
    }

    ~TemporaryXdgFolders()
    {
        std::error_code ignored;
        std::filesystem::remove_all (root, ignored);
    }

    TemporaryXdgFolders (const TemporaryXdgFolders&) = delete;
    TemporaryXdgFolders& operator= (const TemporaryXdgFolders&) = delete;

    const std::filesystem::path& folder() const noexcept { return root; }

private:
    std::filesystem::path root;
};

} // namespace brisalto::test
