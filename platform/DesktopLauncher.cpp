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

namespace brisalto::platform::desktop
{
    namespace
    {
        bool isExecutableFile (const std::string& path)
        {
            struct stat info
            {
            };
            return ::stat (path.c_str(), &info) == 0 && S_ISREG (info.st_mode) && ::access (path.c_str(), X_OK) == 0;
        }

        // Runs `program` with the single argument `argument` in a grandchild and waits only for the
        // child, which exits as soon as it has forked. Between fork and exec only async-signal-safe
        // calls are made (the host is multithreaded). A close-on-exec pipe tells whether the exec
        // happened: it closes without data then, and carries errno when exec failed.
        [[noreturn]] void execProgram (const std::string& program, char* const argv[], int reportDescriptor)
        {
            // The program gets none of the host's files (its X connection, audio devices, sockets)
            // and no blocked signals; the report pipe closes at the exec.
            ::close_range (3, ~0u, CLOSE_RANGE_CLOEXEC);
            sigset_t none;
            ::sigemptyset (&none);
            ::sigprocmask (SIG_SETMASK, &none, nullptr);
            ::execv (program.c_str(), argv);
            const int error = errno;
            [[maybe_unused]] const auto written = ::write (reportDescriptor, &error, sizeof (error));
            ::_exit (127);
        }

        // Runs in the detached grandchild when the outcome is watched: starts the program in a
        // child of its own, keeps no descriptor but the status pipe, waits for the program and
        // writes its exit status (one byte) into the pipe.
        [[noreturn]] void watchProgram (const std::string& program, char* const argv[], int reportDescriptor,
                                        int statusDescriptor)
        {
            struct sigaction defaultAction
            {
            };
            defaultAction.sa_handler = SIG_DFL;
            ::sigaction (SIGCHLD, &defaultAction, nullptr);  // a host may ignore it: waitpid would fail

            const pid_t launched = ::fork();
            if (launched == 0)
                execProgram (program, argv, reportDescriptor);
            if (launched < 0)
            {
                const int error = errno;
                [[maybe_unused]] const auto written = ::write (reportDescriptor, &error, sizeof (error));
                ::_exit (1);
            }

            if (statusDescriptor > 3)
                ::close_range (3, (unsigned) statusDescriptor - 1, 0);
            ::close_range ((unsigned) statusDescriptor + 1, ~0u, 0);

            int status = 0;
            pid_t waited;
            while ((waited = ::waitpid (launched, &status, 0)) < 0 && errno == EINTR) {}
            if (waited == launched)
            {
                const unsigned char code = WIFEXITED (status) ? (unsigned char) WEXITSTATUS (status) : 255;
                [[maybe_unused]] const auto written = ::write (statusDescriptor, &code, 1);
            }
            ::_exit (0);
        }

        // statusDescriptor: the write end of the status pipe when the outcome is watched, else -1.
        bool spawnDetached (const std::string& program, const std::string& argument, int statusDescriptor = -1)
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
                    ::setsid();
                    if (statusDescriptor >= 0)
                        watchProgram (program, argv, report[1], statusDescriptor);
                    execProgram (program, argv, report[1]);
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

    namespace
    {
        bool launch (const juce::String& pathOrAddress, int statusDescriptor)
        {
            const auto program = findXdgOpen();
            if (program.empty())
            {
                log::write (log::notice, "Brisalto : cannot open %s : xdg-open is not installed", pathOrAddress.toRawUTF8());
                return false;
            }

            if (! spawnDetached (program, pathOrAddress.toStdString(), statusDescriptor))
            {
                log::write (log::notice, "Brisalto : cannot open %s : %s did not start", pathOrAddress.toRawUTF8(),
                            program.c_str());
                return false;
            }
            return true;
        }
    }

    bool open (const juce::String& pathOrAddress)
    {
        return launch (pathOrAddress, -1);
    }

    std::unique_ptr<Outcome> openWatched (const juce::String& pathOrAddress)
    {
        // The read end never blocks and stays out of other programs; the write end goes only to the
        // watching process (it is closed here once that one has been forked).
        int status[2];
        if (::pipe2 (status, O_CLOEXEC | O_NONBLOCK) != 0)
            return launch (pathOrAddress, -1) ? std::make_unique<Outcome> (-1) : nullptr;

        const bool started = launch (pathOrAddress, status[1]);
        ::close (status[1]);
        if (! started)
        {
            ::close (status[0]);
            return nullptr;
        }
        return std::make_unique<Outcome> (status[0]);
    }

    Outcome::~Outcome()
    {
        if (descriptor >= 0)
            ::close (descriptor);
    }

    Outcome::State Outcome::poll() noexcept
    {
        if (state != State::pending)
            return state;
        if (descriptor < 0)
            return state = State::unknown;

        unsigned char code = 0;
        const auto got = ::read (descriptor, &code, 1);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return state;

        state = got == 1 ? (code == 0 ? State::opened : State::failed) : State::unknown;
        ::close (descriptor);
        descriptor = -1;
        return state;
    }
}
