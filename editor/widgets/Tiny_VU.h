#pragma once

#include "editor/widgets/BlinkingLed.h"

#include <memory>
#include <vector>

// A four-LED level meter, designed at 56x16: cyan, cyan, amber and red, lit from the left as the
// level reaches -60, -24, -12 and -3 dB, with a dim step in the 6 dB below each of the first
// three. At 56x16 the LEDs are 14x14 side by side with one pixel free above and below; at any
// other size they scale with the meter. The owner writes `level` and then calls update_UI; only
// LEDs whose state changes repaint.
class Tiny_VU : public juce::Component
{
public:
    static constexpr int designWidth = 56, designHeight = 16;

    Tiny_VU();
    ~Tiny_VU() override;

    void update_UI();

    void paint (juce::Graphics&) override;
    bool keyPressed (const juce::KeyPress&) override;
    void modifierKeysChanged (const juce::ModifierKeys&) override;
    void resized() override;

private:
    static constexpr int ledSide = 14;
    static juce::Rectangle<int> designLedBounds (int i) noexcept;

    std::vector<float> thresholds;

public:
    float level;  // dB; -144 stands for silence

private:
    juce::Colour overlayColour;
    std::unique_ptr<BlinkingLed> leds[4];

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Tiny_VU)
};
