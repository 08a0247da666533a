#pragma once

#include <juce_core/juce_core.h>

// Opens a document or a web page in the user's default application, through the desktop's
// `xdg-open` found on PATH. The path or address reaches it as one argument, without a shell in
// between, so no character in it is ever interpreted. The launched program is detached from the
// caller (started by a child that exits at once), so no process is left for the caller to reap.
namespace platform::desktop
{
    // True when xdg-open was started. False when it is not on PATH or could not be started:
    // nothing happens then but a notice in the log.
    bool open (const juce::String& pathOrAddress);

    // The xdg-open that `open` would start, or an empty string.
    std::string findXdgOpen();
}
