#pragma once

#include "PluginHost.h"

#include <functional>

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
    and closes it again, `cycles` times; of the first one it takes what the screen shows, once
    `isShown` accepts it (or after 20 s). Another thread renders blocks through the instance all
    the while. The instance must have been prepared; needs an X display. */
    EditorSessionReport runEditorSession (PluginHost&, juce::AudioPluginInstance&, int cycles, int pumpMilliseconds,
                                          const std::function<bool (const juce::Image&)>& isShown);

    /** What the X server shows in a component's area on screen, the plug-in's own windows inside
    it included; a null image without a display or a window. */
    juce::Image grabScreenArea (juce::Component&);

    /** What the X server shows of the first mapped top-level window with this title (another
    process's, such as a Standalone application's); a null image when there is none. */
    juce::Image grabWindowNamed (const juce::String& title);

    bool writePng (const juce::Image&, const juce::File&);

}  // namespace brisalto::host
