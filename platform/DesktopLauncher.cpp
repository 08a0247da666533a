#include "DesktopLauncher.h"

#include "Log.h"

#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform::desktop
{
namespace
{
    bool isExecutableFile (const std::string& path)
    {
        struct stat info {};
        return ::stat (path.c_str(), &info) == 0 && S_ISREG (info.st_mode) && ::access (path.c_str(), X_OK) == 0;
    }

    // Runs `program` with the single argument `argument` in a grandchild and waits only for the
    // child, which exits as soon as it has forked. Between fork and exec only async-signal-safe
    // calls are made (the host is multithreaded). A close-on-exec pipe tells whether the exec
    // happened: it closes without data then, and carries errno when exec failed.
    bool spawnDetached (const std::string& program, const std::string& argument)
    {
        int report[2];
        if (::pipe2 (report, O_CLOEXEC) != 0)
            return false;

        char* const argv[] = { const_cast<char*> ("xdg-open"), const_cast<char*> (argument.c_str()), nullptr };

        const pid_t child = ::fork();
        if (child == 0)
        {
            const pid_t grandchild = ::fork();
            if (grandchild == 0)
            {
                // The program gets none of the host's files (its X connection, audio devices,
                // sockets) and no blocked signals; the report pipe closes at the exec.
                ::setsid();
                ::close_range (3, ~0u, CLOSE_RANGE_CLOEXEC);
                sigset_t none;
                ::sigemptyset (&none);
                ::sigprocmask (SIG_SETMASK, &none, nullptr);
                ::execv (program.c_str(), argv);
                const int error = errno;
                [[maybe_unused]] const auto written = ::write (report[1], &error, sizeof (error));
                ::_exit (127);
            }
            ::_exit (grandchild > 0 ? 0 : 1);
        }

        ::close (report[1]);
        int status = 0;
        bool forked = false;
        if (child > 0)
        {
            while (::waitpid (child, &status, 0) < 0 && errno == EINTR) {}
            forked = WIFEXITED (status) && WEXITSTATUS (status) == 0;
        }

        int execError = 0;
        ssize_t got = 0;
        if (forked)
            while ((got = ::read (report[0], &execError, sizeof (execError))) < 0 && errno == EINTR) {}
        ::close (report[0]);
        return forked && got == 0;
    }
}

std::string findXdgOpen()
{
    const char* path = std::getenv ("PATH");
    const std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";

    size_t start = 0;
    while (start <= folders.size())
    {
        const auto end = std::min (folders.find (':', start), folders.size());
        const auto folder = folders.substr (start, end - start);
        // An empty entry means the working folder, which is never searched for a program here.
        if (! folder.empty() && folder[0] == '/')
        {
            const auto candidate = folder + "/xdg-open";
            if (isExecutableFile (candidate))
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

bool open (const juce::String& pathOrAddress)
{
    const auto program = findXdgOpen();
    if (program.empty())
    {
        log::write (log::notice, "Brisalto : cannot open %s : xdg-open is not installed", pathOrAddress.toRawUTF8());
        return false;
    }

    if (! spawnDetached (program, pathOrAddress.toStdString()))
    {
        log::write (log::notice, "Brisalto : cannot open %s : %s did not start", pathOrAddress.toRawUTF8(), program.c_str());
        return false;
    }
    return true;
}
}
