// What the main panel's knobs, switches, buttons and selectors send to the processor.

#include "editor/panels/ControlPanel.h"
#include "editor/panels/BundleFormat.h"

#include "editor/panels/ControlPanelTables.h"
#include "editor/shell/BrisaltoAudioProcessorEditor.h"
#include "platform/BundleResources.h"
#include "platform/DesktopLauncher.h"
#include "processor/PluginProcessor.h"

using namespace brisalto::ControlPanelTables;

namespace
{
    const Knob* knobOf (const ControlPanel& panel, const juce::Slider* slider) noexcept
    {
        for (const auto& knob : knobs)
            if ((panel.*knob.slider).get() == slider)
                return &knob;
        return nullptr;
    }

    const Toggle* toggleOf (const ControlPanel& panel, const juce::Button* button) noexcept
    {
        for (const auto& toggle : toggles)
            if ((panel.*toggle.button).get() == button)
                return &toggle;
        return nullptr;
    }

    void selectMixMode (BrisaltoAudioProcessor& processor, int id)
    {
        // The Standalone has no other instance to exchange a side-chain with.
        const bool sideChainMode = id == (int) MixMode::sideChainSend || id == (int) MixMode::sideChainReceive;
        const int mode =
            sideChainMode && processor.wrapperType == juce::AudioProcessor::wrapperType_Standalone ? (int) MixMode::sum : id;
        processor.mixMode = mode;

        if (mode == (int) MixMode::sideChainSend)
            processor.startTimer (100);  // the rendering watchdog of the send mode's status
        if (mode == (int) MixMode::sideMidi)
            processor.enableMidiReceive();

        // The group selector changes meaning with the mode: rebuilt on the next message-loop turn.
        if (auto* editor = dynamic_cast<BrisaltoAudioProcessorEditor*> (processor.getActiveEditor()))
            editor->triggerAsyncUpdate();
    }
}

//==============================================================================
void ControlPanel::sliderValueChanged (juce::Slider* slider)
{
    // Every knob sends its display value: the processor writes the plain member it drives and
    // tells the host the normalised value, as one preset change.
    const auto* knob = knobOf (*this, slider);
    if (knob == nullptr)
        return;

    const double value = slider->getValue();
    processor.setParameterValue (knob->index, (float) value, 0);
    if (knob->index == Mix)
        retargetMixDoubleClick (*slider, value);
}

void ControlPanel::sliderDragStarted (juce::Slider* slider)
{
    if (const auto* knob = knobOf (*this, slider))
        processor.beginParameterChangeGesture (knob->index);
}

void ControlPanel::sliderDragEnded (juce::Slider* slider)
{
    if (const auto* knob = knobOf (*this, slider))
        processor.endParameterChangeGesture (knob->index);
}

//==============================================================================
void ControlPanel::buttonClicked (juce::Button* button)
{
    const bool on = button->getToggleState();

    if (const auto* toggle = toggleOf (*this, button))
    {
        processor.setParameterValue (toggle->index, on ? 1.0f : 0.0f, 0);
        // AUTO GAIN and MAX MAKEUP exclude each other: switching one on switches the other off.
        if (on && toggle->excludes >= 0)
        {
            processor.setParameterValue (toggle->excludes, 0.0f, 0);
            update_UI();
        }
        if (toggle->enablesOthers)
            update_dependant_UI();
    }
    else if (button == syncParsToggle.get())
    {
        processor.grp_param_sync = on ? 1 : 0;
    }
    else if (button == advancedButton.get())
    {
        showSettingsPanel (on ? advancedPanel.get() : nullptr);
    }
    else if (button == weightButton.get())
    {
        showSettingsPanel (on ? weightPanel.get() : nullptr);
    }
    else if (button == helpButton.get())
    {
        const auto help = brisalto::platform::bundle::helpDocument (bundleFormatOf (processor.wrapperType));
        if (! help.existsAsFile())
            showStatus (TRANS ("The help document is missing"));
        else if (! openWatched (help.getFullPathName(), TRANS ("No program could open the help (no PDF viewer?)")))
            showStatus (TRANS ("No program to open the help (xdg-open is missing)"));
    }
    else if (button == logoButton.get())
    {
        if (! openWatched (JucePlugin_ManufacturerWebsite, TRANS ("No program could open the web page (no browser?)")))
            showStatus (TRANS ("No program to open the web page (xdg-open is missing)"));
    }
    else if (button == clipResetButton.get())
    {
        processor.mClipCount = 0;
        processor.mOutputPeakDb = -144.0f;
    }
}

bool ControlPanel::openWatched (const juce::String& pathOrAddress, const juce::String& failure)
{
    launchOutcome = brisalto::platform::desktop::openWatched (pathOrAddress);
    launchFailure = failure;
    launchTicksLeft = launchTicks;
    return launchOutcome != nullptr;
}

void ControlPanel::followLaunch()
{
    const auto state = launchOutcome->poll();
    if (state == brisalto::platform::desktop::Outcome::State::pending && --launchTicksLeft > 0)
        return;
    if (state == brisalto::platform::desktop::Outcome::State::failed)
        showStatus (launchFailure);
    launchOutcome.reset();
}

//==============================================================================
void ControlPanel::comboBoxChanged (juce::ComboBox* combo)
{
    // Only a user's pick arrives here (refreshes select without notification). A selector
    // without a selection reads id 0 and changes nothing.
    const int id = combo->getSelectedId();
    if (id < 1)
        return;

    // The group selector's meaning follows the mix mode (the processor's groupSelectorChanged).
    if (combo == groupCombo.get())
    {
        processor.groupSelectorChanged (id);
        showWeightButton();  // W follows the group at once, not at the next refresh
    }
    else if (combo == mixModeCombo.get())
        selectMixMode (processor, id);
    else if (combo == presetsCombo.get())
        presetsComboChanged();
}
