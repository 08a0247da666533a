#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The editor's tooltip window. JUCE shows a tip only while its own process holds the system's
// keyboard focus, which on Linux a plug-in window embedded in a host's window may never get:
// here a tip shows whenever the mouse rests on a control that has one, no button held.
class EditorTooltipWindow : public juce::TooltipWindow
{
public:
    using juce::TooltipWindow::TooltipWindow;

    juce::String getTipFor (juce::Component&) override;
};
