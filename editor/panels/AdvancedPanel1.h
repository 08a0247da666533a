#pragma once

#include "editor/lnf/ForcePopupsInParentWindow.h"
#include "editor/panels/PanelLayout.h"

#include <memory>

class BrisaltoAudioProcessor;

// The settings that do not fit on the main panel: adaptive threshold, look-ahead, makeup limit
// and auto-gain amount, the detector filter's type and Q, non-linear release, the hard
// limiter's release and the MIDI remote-control options. Knobs reach the host as parameter
// changes inside gestures, the filter type as a change without one; the MIDI options are written
// into the processor and, for the two selectors, into the user defaults.
class AdvancedPanel1 : public juce::Component,
                       public juce::Slider::Listener,
                       public juce::ComboBox::Listener,
                       public juce::Button::Listener
{
public:
    static constexpr int designWidth = 700, designHeight = 380;

    explicit AdvancedPanel1 (BrisaltoAudioProcessor&);
    ~AdvancedPanel1() override;

    // Shows what the processor holds; the knobs and the filter type without notification.
    void update_UI();

    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;
    bool keyPressed (const juce::KeyPress&) override;
    void modifierKeysChanged (const juce::ModifierKeys&) override;
    void resized() override;
    void sliderDragStarted (juce::Slider*) override;
    void sliderDragEnded (juce::Slider*) override;
    void sliderValueChanged (juce::Slider*) override;
    void comboBoxChanged (juce::ComboBox*) override;
    void buttonClicked (juce::Button*) override;

protected:
    // The processor's own MIDI input: made and connected, or its sources disconnected.
    virtual void enableMidiReceive();
    virtual void disconnectOwnMidiSources();

public:
    BrisaltoAudioProcessor& processor;
    brisalto::PanelLayout::LabelFontHeights labelFontHeights;
    std::unique_ptr<ForcePopupsInParentWindow> filterTypeLookAndFeel;

    std::unique_ptr<juce::Label> versionLabel;
    std::unique_ptr<juce::Slider> maxGainLevelSlider;
    std::unique_ptr<juce::Slider> autoGainAmountSlider;
    std::unique_ptr<juce::Label> maxMakeupLabel;
    std::unique_ptr<juce::Label> autoGainLabel;
    std::unique_ptr<juce::Label> gainLabel;
    std::unique_ptr<juce::Label> amountLabel;
    std::unique_ptr<juce::Slider> adaptiveAmountSlider;
    std::unique_ptr<juce::Label> lookaheadLabel;
    std::unique_ptr<juce::Slider> adaptiveGainSlider;
    std::unique_ptr<juce::Slider> lookaheadSlider;
    std::unique_ptr<juce::ComboBox> filterTypeCombo;
    std::unique_ptr<juce::Label> filterLabel;
    std::unique_ptr<juce::Label> adaptiveLabel;
    std::unique_ptr<juce::Label> makeupLabel;
    std::unique_ptr<juce::Slider> filterQSlider;
    std::unique_ptr<juce::Label> qLabel;
    std::unique_ptr<juce::Slider> nonLinReleaseSlider;
    std::unique_ptr<juce::Label> nonLinReleaseLabel;
    std::unique_ptr<juce::Label> madeWithLabel;
    std::unique_ptr<juce::ComboBox> progChangeModeCombo;
    std::unique_ptr<juce::Label> progChangeModeLabel;
    std::unique_ptr<juce::Label> midiChannelLabel;
    std::unique_ptr<juce::ComboBox> midiChannelCombo;
    std::unique_ptr<juce::Slider> limiterReleaseSlider;
    std::unique_ptr<juce::Label> limiterReleaseLabel;
    std::unique_ptr<juce::ToggleButton> midiFromDawToggle;
    std::unique_ptr<juce::Label> midiFromDawLabel;

    // The 28 children in the order of their creation (and deletion).
    std::vector<juce::Component*> children() const;

private:
    struct KnobSettings;
    std::unique_ptr<juce::Label> makeLabel (const juce::String& text, float fontHeight, juce::Justification);
    std::unique_ptr<juce::Slider> makeKnob (const KnobSettings&);
    std::unique_ptr<juce::ComboBox> makeCombo (const juce::StringArray& items, int firstId);

    // The parameter a knob drives, or -1.
    int parameterOf (const juce::Slider*) const noexcept;
    void setFilterType (int selectedId);
    void setProgramChangeMode (int selectedId);
    void setProgramChangeChannel (int selectedId);
    void setMidiFromDaw (bool on);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AdvancedPanel1)
};
