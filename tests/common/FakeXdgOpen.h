#pragma once

#include "common/WaitUntil.h"

#include <juce_core/juce_core.h>

#include <cstdlib>
#include <string>

// An `xdg-open` of the test's own, first on PATH for the lifetime of the object, that records
// its arguments (their count, then one per line) and its open file descriptors instead of
// opening anything, and ends with `exitCode` (3: no program for the document); or, when not
// `installed`, a PATH without any xdg-open.
class FakeXdgOpen
{
public:
    explicit FakeXdgOpen (bool installed = true, int exitCode = 0)
        : root (juce::File::createTempFile ("brisalto-xdg-open"))
    {
        bin().createDirectory();
        if (const char* path = std::getenv ("PATH"))
            savedPath = path;
        ::setenv ("PATH", (bin().getFullPathName() + (installed ? ":/usr/bin:/bin" : "")).toRawUTF8(), 1);
        if (! installed)
            return;

        const auto script = bin().getChildFile ("xdg-open");
        script.replaceWithText ("#!/bin/sh\n"
                                "ls /proc/$$/fd > \""
                                    + record().getFullPathName()
                                    + ".fds\"\n"
                                      "printf '%s\\n' \"$#\" \"$@\" > \""
                                    + record().getFullPathName()
                                    + ".part\"\n"
                                      "mv \""
                                    + record().getFullPathName() + ".part\" \"" + record().getFullPathName()
                                    + "\"\n"
                                      "exit "
                                    + juce::String (exitCode) + "\n",
                                false, false, "\n");
        script.setExecutePermission (true);
    }

    ~FakeXdgOpen()
    {
        ::setenv ("PATH", savedPath.c_str(), 1);
        root.deleteRecursively();
    }

    // What the program recorded: waits for it, as it runs detached ("" when it never ran).
    juce::String waitForArguments() const
    {
        waitUntil ([this] { return record().existsAsFile(); }, 30000);
        return record().loadFileAsString();
    }

    // The program's open file descriptors, once waitForArguments has returned.
    juce::StringArray descriptors() const
    {
        return juce::StringArray::fromTokens (record().getSiblingFile ("arguments.fds").loadFileAsString(), false);
    }

    juce::File root;

private:
    juce::File bin() const { return root.getChildFile ("bin"); }
    juce::File record() const { return root.getChildFile ("arguments"); }

    std::string savedPath;
};
