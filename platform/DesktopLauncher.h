#pragma once

#include <juce_core/juce_core.h>

#include <memory>

// Opens a document or a web page in the user's default application, through the desktop's
// `xdg-open` found on PATH. The path or address reaches it as one argument, without a shell in
// between, so no character in it is ever interpreted. The launched program is detached from the
// caller (started by a child that exits at once), so no process is left for the caller to reap.
namespace brisalto::platform::desktop
{
    // True when xdg-open was started. False when it is not on PATH or could not be started:
    // nothing happens then but a notice in the log.
    bool open (const juce::String& pathOrAddress);

    // What became of an xdg-open that was started: it ends at once when no program could open
    // the document (its exit status is then not 0), or it may run as long as the program it
    // started. The answer is read without ever blocking.
    class Outcome
    {
    public:
        enum class State
        {
            pending,
            opened,
            failed,
            unknown
        };

        explicit Outcome (int statusDescriptor) noexcept
            : descriptor (statusDescriptor)
        {
        }
        ~Outcome();

        // pending while xdg-open runs; then opened (exit status 0), failed, or unknown (no
        // status came).
        State poll() noexcept;

    private:
        int descriptor;
        State state = State::pending;

        JUCE_DECLARE_NON_COPYABLE (Outcome)
    };

    // As `open`, watched: a process of its own waits for xdg-open and hands its exit status to
    // the Outcome. Null when xdg-open was not started (a notice is logged as by `open`).
    std::unique_ptr<Outcome> openWatched (const juce::String& pathOrAddress);

    // The xdg-open that `open` would start, or an empty string.
    std::string findXdgOpen();
}
