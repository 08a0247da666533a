#pragma once

#include "editor/widgets/EditorTooltipWindow.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

class BrisaltoAudioProcessor;
class ControlPanel;

// The window of one plug-in instance: a thin shell around the main panel. It fits the panel into
// the window at an aspect ratio between 4:3 and 1.6:1, centred on black, keeps the panel's size
// in the processor for the next editor, names the parameter each knob drives, and turns the
// processor's refresh requests into one panel refresh. Only the message thread enters it.
class BrisaltoAudioProcessorEditor : public juce::AudioProcessorEditor, public juce::AsyncUpdater
{
public:
    explicit BrisaltoAudioProcessorEditor (BrisaltoAudioProcessor&);
    ~BrisaltoAudioProcessorEditor() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    // The parameter index the knob drives, or -1 (combo boxes, buttons, weight knobs, strangers).
    int getControlParameterIndex (juce::Component&) override;

    // Refreshes the main panel from the processor.
    void handleAsyncUpdate() override;

    // The panel's place in a window of the given size: the largest rectangle of an aspect ratio
    // clamped to 4:3 .. 1.6:1 that fits, centred.
    static juce::Rectangle<int> panelBoundsIn (int width, int height) noexcept;

    // The smallest window keeps the panel's 4:3 design aspect at the size where every caption
    // is still legible and whole.
    static constexpr int minimumWidth = 640, minimumHeight = 480, maximumWidth = 1600;
    static constexpr int tooltipDelayMs = 700;

    BrisaltoAudioProcessor& audioProcessor;
    std::unique_ptr<ControlPanel> controlPanel;
    juce::int32 designHeight = 0;
    juce::int32 designWidth = 0;

    // Shows the controls' tooltips inside the editor for as long as it is open.
    std::unique_ptr<EditorTooltipWindow> tooltipWindow;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BrisaltoAudioProcessorEditor)
};
