#pragma once

#include "editor/panels/ControlPanel.h"
#include "processor/state/ParameterTable.h"

// The main panel's knobs and switches with the parameters they drive, shared by the listeners
// and the refresh.
namespace brisalto::ControlPanelTables
{
    struct Knob
    {
        std::unique_ptr<juce::Slider> ControlPanel::*slider;
        ParamIndex index;
    };

    // In the order the listeners look for a sender.
    inline const Knob knobs[] = {
        { &ControlPanel::distortAmountSlider, DistortAmount },
        { &ControlPanel::thresholdSlider, Threshold },
        { &ControlPanel::releaseSlider, Release },
        { &ControlPanel::attackSlider, Attack },
        { &ControlPanel::classAAmountSlider, TubeClassA_Amount },
        { &ControlPanel::ratioSlider, Ratio },
        { &ControlPanel::makeupGainSlider, MakeupGain },
        { &ControlPanel::mixSlider, Mix },
        { &ControlPanel::classABAmountSlider, TubeClassAB_Amount },
        { &ControlPanel::filterFreqSlider, BPFilterFreq },
    };

    struct Toggle
    {
        std::unique_ptr<juce::ToggleButton> ControlPanel::*button;
        ParamIndex index;
        int excludes;        // the switch that this one turns off when it goes on, or -1
        bool enablesOthers;  // other controls follow it (update_dependant_UI)
    };

    inline const Toggle toggles[] = {
        { &ControlPanel::autoGainToggle, AutoGainMakeupOn, MaxMakeupOn, true },
        { &ControlPanel::maxMakeupToggle, MaxMakeupOn, AutoGainMakeupOn, true },
        { &ControlPanel::nonLinReleaseToggle, Non_Lin_Release_On, -1, true },
        { &ControlPanel::adaptiveToggle, Adpative_Thresh_On, -1, true },
        { &ControlPanel::tubeDistortToggle, Tube_Distort_On, -1, true },
        { &ControlPanel::smoothToggle, Smooth_Orig, -1, false },
        { &ControlPanel::softLimiterToggle, SoftLimiterOn, -1, false },
        { &ControlPanel::bpFilterToggle, BPFilterOn, -1, true },
        { &ControlPanel::listenToggle, BPFilterListenOn, -1, false },
        { &ControlPanel::hardLimiterToggle, HardLimiterOn, -1, false },
    };

    // One rule for every switch, as the signal path reads them: on above 0.5.
    inline bool isOn (float normalised) noexcept
    {
        return normalised > 0.5f;
    }

    // A double-click (or Alt-click) swaps MIX between its ends: at 0 it returns to 100, at 100
    // to 0; elsewhere the last target stays.
    inline void retargetMixDoubleClick (juce::Slider& mix, double value)
    {
        if (value == 0.0)
            mix.setDoubleClickReturnValue (true, 100.0, juce::ModifierKeys::altModifier);
        else if (value == 100.0)
            mix.setDoubleClickReturnValue (true, 0.0, juce::ModifierKeys::altModifier);
    }
}
