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
        leds[i]->setBounds (14 * i, 1, 14, 14);
    }

    leds[0]->setLedColor (BlinkingLed::ledCyan);
    leds[1]->setLedColor (BlinkingLed::ledCyan);
    leds[2]->setLedColor (BlinkingLed::ledAmber);
    leds[3]->setLedColor (BlinkingLed::ledRed);

    setSize (56, 16);
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

void Tiny_VU::resized()
{
}
