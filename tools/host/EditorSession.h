#pragma once

#include "PluginHost.h"

namespace brisalto::host
{

struct EditorSessionReport
{
    int cyclesCompleted = 0;            // editors opened, shown and closed
    juce::Rectangle<int> editorBounds;  // the size the first editor opened at
    juce::Image snapshot;               // what the screen showed of the first editor
    juce::int64 blocksRendered = 0;     // by the render thread meanwhile
    juce::String error;                 // why the session stopped early; empty when it did not
};

/** Opens the instance's editor in a window of its own as a DAW does, pumps the host's messages,
    takes what the screen shows of the first one, and closes it again, `cycles` times. Another
    thread renders blocks through the instance all the while. The instance must have been
    prepared; needs an X display. */
EditorSessionReport runEditorSession (PluginHost&, juce::AudioPluginInstance&, int cycles, int pumpMilliseconds);

/** What the X server shows in a component's area on screen, the plug-in's own windows inside
    it included; a null image without a display or a window. */
juce::Image grabScreenArea (juce::Component&);

/** What the X server shows of the first mapped top-level window with this title (another
    process's, such as a Standalone application's); a null image when there is none. */
juce::Image grabWindowNamed (const juce::String& title);

bool writePng (const juce::Image&, const juce::File&);

} // namespace brisalto::host
