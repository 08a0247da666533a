// What the main panel's controls do, its refresh from the processor and its meter timer.

#include "editor/panels/ControlPanel.h"

#include "processor/PluginProcessor.h"

void ControlPanel::update_UI()
{
    ++refreshCount;
}

void ControlPanel::update_dependant_UI() {}

void ControlPanel::timerCallback()
{
    // Threads other than the message thread never reach the editor: their refresh requests
    // wait in the processor until this tick takes them.
    if (processor.takeEditorRefreshRequest())
        update_UI();
}

void ControlPanel::sliderValueChanged (juce::Slider*) {}

void ControlPanel::sliderDragStarted (juce::Slider*) {}

void ControlPanel::sliderDragEnded (juce::Slider*) {}

void ControlPanel::comboBoxChanged (juce::ComboBox*) {}

void ControlPanel::buttonClicked (juce::Button*) {}
