// How the main panel shows the processor's state: the refresh of every control and the
// enablement of the controls that depend on switches.

#include "editor/panels/ControlPanel.h"

#include "editor/panels/ControlPanelTables.h"
#include "processor/PluginProcessor.h"

using namespace brisalto::ControlPanelTables;

namespace
{
    constexpr auto quietly = juce::dontSendNotification;

    // Refills the selector with `count` items (ids 1..count) when it holds other items.
    template <typename TextOfId>
    void refill (juce::ComboBox& combo, int count, TextOfId&& textOf)
    {
        bool same = combo.getNumItems() == count;
        for (int id = 1; same && id <= count; ++id)
            same = combo.getItemId (id - 1) == id && combo.getItemText (id - 1) == textOf (id);
        if (same)
            return;
        combo.clear (quietly);
        for (int id = 1; id <= count; ++id)
            combo.addItem (textOf (id), id);
    }

    void enable (std::initializer_list<juce::Component*> components, bool enabled)
    {
        for (auto* component : components)
            component->setEnabled (enabled);
    }

    const char* filterLabelText (FilterType type) noexcept
    {
        switch (type)
        {
            case FilterType::lowPass: return "LP FILTER";
            case FilterType::highPass: return "HP FILTER";
            case FilterType::notch: return "Nt FILTER";
            case FilterType::bandPass: break;
        }
        return "BP FILTER";
    }

    void showKnobValues (ControlPanel& p)
    {
        auto& params = p.processor.mParams;
        p.thresholdSlider->setValue (p.processor.mThresholdDb, quietly);
        p.releaseSlider->setValue (p.processor.mReleaseMs, quietly);
        p.attackSlider->setValue (params[Attack] * 50.0f, quietly);
        p.ratioSlider->setValue (p.processor.mRatio, quietly);
        p.makeupGainSlider->setValue (p.processor.mMakeupDb, quietly);
        p.classAAmountSlider->setValue (params[TubeClassA_Amount] * 100.0f, quietly);
        p.classABAmountSlider->setValue (params[TubeClassAB_Amount] * 100.0f, quietly);
        p.mixSlider->setValue ((params[Mix] - 0.5f) * 200.0f, quietly);
        retargetMixDoubleClick (*p.mixSlider, p.mixSlider->getValue());
        p.distortAmountSlider->setValue (params[DistortAmount] * 100.0f, quietly);
        p.filterFreqSlider->setValue (params[BPFilterFreq] * 20000.0f, quietly);
    }

    void showSwitches (ControlPanel& p)
    {
        for (const auto& toggle : toggles)
            (p.*toggle.button)->setToggleState (isOn (p.processor.getParameter (toggle.index)), quietly);
        p.syncParsToggle->setToggleState (p.processor.grp_param_sync != 0, quietly);
    }

    void showGroupSelector (ControlPanel& p)
    {
        // Selected without notification: showing the processor's state never writes it back.
        const int mode = p.processor.mixMode;
        const bool sideChain = mode == (int) MixMode::sideChainSend || mode == (int) MixMode::sideChainReceive;
        const bool sideMidi = mode == (int) MixMode::sideMidi;

        if (sideChain)
        {
            refill (*p.groupCombo, NUM_EXT_SIDECHAIN_SLOTS, [] (int id) { return juce::String (id); });
            p.groupLabel->setText (TRANS ("SIDE CH"), quietly);
            p.groupCombo->setSelectedId (p.processor.trackNumber + 1, quietly);
        }
        else if (sideMidi)
        {
            refill (*p.groupCombo, 17, [] (int id) { return id == 1 ? TRANS ("All") : juce::String (id - 1); });
            p.groupCombo->setSelectedId (p.processor.midiSideChan + 2, quietly);
        }
        else
        {
            refill (*p.groupCombo, 16, [] (int id) { return id == 1 ? TRANS ("OFF") : juce::String (id - 1); });
            p.groupLabel->setText (TRANS ("GROUP"), quietly);
            p.groupCombo->setSelectedId (juce::jmax ((int) p.processor.groupNumber, 0) + 1, quietly);
        }

        p.groupCombo->setVisible (true);
        p.groupLabel->setVisible (true);
        // Linked parameters belong to link groups only.
        enable ({ p.syncParsToggle.get(), p.syncParsLabel.get() }, ! sideChain && ! sideMidi);
    }
}

//==============================================================================
void ControlPanel::update_UI()
{
    ++refreshCount;
    showKnobValues (*this);
    showSwitches (*this);

    advancedPanel->update_UI();
    weightPanel->update_UI();
    updateUserPresets();

    showWeightButton();
    showGroupSelector (*this);

    serverLabel->setVisible (false);
    mixModeCombo->setVisible (true);
    if (mixModeCombo->getSelectedId() != processor.mixMode)
        mixModeCombo->setSelectedId (processor.mixMode, quietly);

    const std::initializer_list<juce::Component*> signalPathKnobs { thresholdSlider.get(),  releaseSlider.get(),
                                                                    attackSlider.get(),     ratioSlider.get(),
                                                                    makeupGainSlider.get(), mixSlider.get() };
    const std::initializer_list<juce::Button*> signalPathSwitches { maxMakeupToggle.get(), softLimiterToggle.get(),
                                                                    autoGainToggle.get(),  nonLinReleaseToggle.get(),
                                                                    adaptiveToggle.get(),  tubeDistortToggle.get(),
                                                                    bpFilterToggle.get() };

    if (processor.mixMode == (int) MixMode::sideChainSend)
    {
        // The send mode passes its audio through unprocessed: the controls of the signal path
        // rest (shown only: nothing is sent). CLASS AB and BRICK LIMIT keep their state.
        thresholdSlider->setValue (0.0, quietly);
        enable (signalPathKnobs, false);
        enable ({ filterFreqSlider.get(), classAAmountSlider.get(), distortAmountSlider.get() }, false);
        for (auto* toggle : signalPathSwitches)
        {
            toggle->setEnabled (false);
            toggle->setToggleState (false, quietly);
        }
        listenToggle->setEnabled (false);
        listenToggle->setToggleState (false, quietly);
        return;
    }

    enable (signalPathKnobs, true);
    for (auto* toggle : signalPathSwitches)
        toggle->setEnabled (true);
    update_dependant_UI();
}

void ControlPanel::showWeightButton()
{
    // The weights count in the summed detector of more than two channels, and in a link group.
    weightButton->setVisible (processor.getMainBusNumInputChannels() > 2 || processor.groupNumber > 0);
}

//==============================================================================
int ControlPanel::dependencyState() const
{
    const auto parameterOn = [this] (int index) { return isOn (processor.getParameter (index)) ? 1 : 0; };
    return parameterOn (MaxMakeupOn) | parameterOn (Tube_Distort_On) << 1 | parameterOn (BPFilterOn) << 2
        | parameterOn (Adpative_Thresh_On) << 3 | parameterOn (Non_Lin_Release_On) << 4
        | (processor.mAutoGainOn != 0 ? 1 : 0) << 5 | (int) filterTypeFromParameter (processor.mParams[BPFilterType]) << 6;
}

void ControlPanel::followDependencies()
{
    // A change from the host or another panel asks for no refresh once the preset is marked
    // modified; the send mode rests these controls on purpose.
    if (processor.mixMode != (int) MixMode::sideChainSend && dependencyState() != shownDependencyState)
        update_dependant_UI();
}

void ControlPanel::update_dependant_UI()
{
    shownDependencyState = dependencyState();
    const auto parameterOn = [this] (int index) { return isOn (processor.getParameter (index)); };
    const bool maxMakeup = parameterOn (MaxMakeupOn);
    const bool tube = parameterOn (Tube_Distort_On);
    const bool filter = parameterOn (BPFilterOn);
    const bool adaptive = parameterOn (Adpative_Thresh_On);
    const auto filterType = filterTypeFromParameter (processor.mParams[BPFilterType]);

    makeupGainSlider->setEnabled (! maxMakeup);
    enable ({ distortAmountSlider.get(), classAAmountSlider.get(), classABAmountSlider.get() }, tube);
    bpFilterLabel->setText (TRANS (filterLabelText (filterType)), quietly);
    enable ({ filterFreqSlider.get(), listenToggle.get(), listenLabel.get() }, filter);

    auto& advanced = *advancedPanel;
    const bool autoGain = ! maxMakeup && processor.mAutoGainOn != 0;
    advanced.maxGainLevelSlider->setEnabled (maxMakeup);
    advanced.autoGainAmountSlider->setEnabled (autoGain);
    enable ({ advanced.lookaheadSlider.get(), advanced.adaptiveGainSlider.get(), advanced.adaptiveAmountSlider.get() }, adaptive);
    advanced.filterQSlider->setEnabled (filter && (filterType == FilterType::bandPass || filterType == FilterType::notch));
    advanced.filterTypeCombo->setEnabled (filter);
    advanced.nonLinReleaseSlider->setEnabled (parameterOn (Non_Lin_Release_On));
}
