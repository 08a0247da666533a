#pragma once

#include "editor/panels/PanelLayout.h"
#include "editor/widgets/Tiny_VU.h"

#include <array>
#include <memory>
#include <vector>

class BrisaltoAudioProcessor;

// The detector weights of the first 16 input channels in the summing mix modes: one knob (dB)
// per channel with a level meter above it and the channel's speaker role under it, ALL OFF and
// ALL ON, and the layout selector for the channel counts that have two layouts. Designed at
// 720 × 400: children and label fonts scale with the panel as the advanced panel's do. Writes
// the processor's members directly.
class WeightPanel : public juce::Component,
                    public juce::Timer,
                    public juce::Slider::Listener,
                    public juce::ComboBox::Listener,
                    public juce::Button::Listener
{
public:
    static constexpr int numKnobs = 16;
    static constexpr int designWidth = 720, designHeight = 400;

    explicit WeightPanel (BrisaltoAudioProcessor&);
    ~WeightPanel() override;

    // Shows the layout, the speaker roles and the weights the processor holds.
    void update_UI();

    void paint (juce::Graphics&) override;
    void resized() override;
    bool keyPressed (const juce::KeyPress&) override;
    void modifierKeysChanged (const juce::ModifierKeys&) override;
    void timerCallback() override;
    void sliderValueChanged (juce::Slider*) override;
    void comboBoxChanged (juce::ComboBox*) override;
    void buttonClicked (juce::Button*) override;

    // The name of a speaker role code, "??" for a code without one.
    static juce::String getSpeakerNameForSpkrRole (int role);

    BrisaltoAudioProcessor& processor;
    std::array<juce::Slider*, numKnobs> weightSliders {};
    std::array<juce::Label*, numKnobs> channelLabels {};
    std::array<Tiny_VU*, numKnobs> channelMeters {};
    bool shiftDown = false;

    juce::Label* hiddenLabel = nullptr;
    juce::Label* titleLabel = nullptr;
    juce::ComboBox* formatCombo = nullptr;
    juce::TextButton* allOffButton = nullptr;
    juce::TextButton* allOnButton = nullptr;
    juce::Label* formatLabel = nullptr;

    // The 54 children in the order of their creation (and deletion).
    const std::vector<std::unique_ptr<juce::Component>>& children() const noexcept { return ownedChildren; }

private:
    template <typename ComponentType>
    ComponentType* own (std::unique_ptr<ComponentType>, juce::Rectangle<int> bounds);
    juce::Label* makeLabel (const juce::String& text, juce::Justification, juce::Rectangle<int> bounds);
    juce::Slider* makeKnob (juce::Rectangle<int> bounds);
    juce::TextButton* makeButton (const juce::String& text, juce::Rectangle<int> bounds);
    void fillFormatItems (int numChannels);
    void setAllWeights (float weight);

    std::vector<std::unique_ptr<juce::Component>> ownedChildren;
    std::vector<brisalto::PanelLayout::Fractions> childPlaces;  // parallel to ownedChildren
    brisalto::PanelLayout::LabelFontHeights labelFontHeights;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WeightPanel)
};
