#include "editor/widgets/Tiny_VU.h"

Tiny_VU::Tiny_VU()
    : thresholds { -60.0f, -24.0f, -12.0f, -3.0f }
    , level (-144.0f)
    , overlayColour (0xff1c1c1c)
{
    for (int i = 0; i < 4; ++i)
    {
        leds[i] = std::make_unique<BlinkingLed>();
        leds[i]->setVisible (true);
        addChildComponent (leds[i].get());
        leds[i]->setName ("new component");
        leds[i]->setBounds (designLedBounds (i));
    }

    leds[0]->setLedColor (BlinkingLed::ledCyan);
    leds[1]->setLedColor (BlinkingLed::ledCyan);
    leds[2]->setLedColor (BlinkingLed::ledAmber);
    leds[3]->setLedColor (BlinkingLed::ledRed);

    setSize (designWidth, designHeight);
    update_UI();
}

Tiny_VU::~Tiny_VU()
{
    for (auto& led : leds)
        led.reset();
}

void Tiny_VU::update_UI()
{
    // "Threshold above the level" rather than "level below the threshold": a NaN level lights all.
    int i = 0;

    for (; i < 4 && ! (thresholds[(size_t) i] > level); ++i)
        leds[i]->setLedState (BlinkingLed::ledOn);

    if (i < 4)
    {
        const auto dims = i < 3 && ! (thresholds[(size_t) i] - 6.0f > level);
        leds[i]->setLedState (dims ? BlinkingLed::ledDim : BlinkingLed::ledOff);

        while (++i < 4)
            leds[i]->setLedState (BlinkingLed::ledOff);
    }
}

void Tiny_VU::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xff2c2c30));
    g.fillAll (overlayColour.withAlpha ((juce::uint8) 0x99));
}

bool Tiny_VU::keyPressed (const juce::KeyPress&)
{
    return false;
}

void Tiny_VU::modifierKeysChanged (const juce::ModifierKeys&)
{
}

juce::Rectangle<int> Tiny_VU::designLedBounds (int i) noexcept
{
    return { ledSide * i, 1, ledSide, ledSide };
}

void Tiny_VU::resized()
{
    // The LEDs scale with the meter, so that all four show whole at any size the owner gives it.
    // Their edges are rounded one by one, so that neighbours meet and the design size keeps the
    // designed places exactly.
    const float sx = (float) getWidth() / (float) designWidth;
    const float sy = (float) getHeight() / (float) designHeight;
    for (int i = 0; i < 4; ++i)
    {
        const auto design = designLedBounds (i).toFloat();
        const int left = juce::roundToInt (design.getX() * sx), right = juce::roundToInt (design.getRight() * sx);
        const int top = juce::roundToInt (design.getY() * sy), bottom = juce::roundToInt (design.getBottom() * sy);
        leds[i]->setBounds (left, top, right - left, bottom - top);
    }
}
