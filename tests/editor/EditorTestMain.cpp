// The editor tests run on JUCE's message thread: main() makes the test thread that thread.
// Timers are driven by calling timerCallback() and asynchronous work by dispatching the pending
// messages, so nothing here needs a running message loop. Debug builds log JUCE's assertions,
// and a logged assertion fails the test that caused it.

#include "common/TestSupport.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

void ignoreXErrors();

namespace
{
    struct FailOnAssertionLogger final : juce::Logger
    {
        void logMessage (const juce::String& message) override
        {
            if (message.contains ("JUCE Assertion failure"))
                ADD_FAILURE() << message;
        }
    };
}

int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);

    ignoreXErrors();
    ScopedXdgFolders folders;
    juce::ScopedJuceInitialiser_GUI juce;
    FailOnAssertionLogger logger;
    juce::Logger::setCurrentLogger (&logger);

    const auto result = RUN_ALL_TESTS();

    juce::Logger::setCurrentLogger (nullptr);
    return result;
}
