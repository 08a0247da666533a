#include "editor/widgets/BlinkingLed.h"

#include "editor/lnf/EmbeddedArt.h"

namespace
{
    // Lit, half-lit and unlit image per colour; "" where a colour has no half-lit image.
    // Blue, cyan, violet, magenta and light blue share one half-lit and one unlit image.
    struct LedArt
    {
        const char* on;
        const char* dim;
        const char* off;
    };

    constexpr LedArt ledArt[] = {
        { "led_green_on.png", "", "led_green_off.png" },
        { "led_red_on.png", "", "led_red_off.png" },
        { "led_amber_on.png", "led_amber_dim.png", "led_amber_off.png" },
        { "led_blue_on.png", "led_shared_dim.png", "led_shared_off.png" },
        { "led_cyan_on.png", "led_shared_dim.png", "led_shared_off.png" },
        { "led_violet_on.png", "led_shared_dim.png", "led_shared_off.png" },
        { "led_magenta_on.png", "led_shared_dim.png", "led_shared_off.png" },
        { "led_lightblue_on.png", "led_shared_dim.png", "led_shared_off.png" },
    };
}

BlinkingLed::BlinkingLed()
    : juce::ImageComponent ("BlinkingLed")
{
    for (int c = 0; c < colourCount; ++c)
    {
        onImages[c] = brisalto::EmbeddedArt::image (ledArt[c].on);
        dimImages[c] = brisalto::EmbeddedArt::image (ledArt[c].dim);
        offImages[c] = brisalto::EmbeddedArt::image (ledArt[c].off);
    }

    greyImage = brisalto::EmbeddedArt::image ("led_grey.png");
    onImage = onImages[ledColor];
    dimImage = dimImages[ledColor];
    offImage = offImages[ledColor];
    showCurrentState();
}

BlinkingLed::~BlinkingLed()
{
    stopTimer();
}

void BlinkingLed::setLedColor (LedColors colour)
{
    if (colour < 0 || colour >= colourCount)
        return;

    ledColor = colour;
    onImage = onImages[colour];
    dimImage = dimImages[colour];
    offImage = offImages[colour];

    if (ledState != ledBlinking && ledState >= ledOff && ledState <= ledDim)
        showCurrentState();
}

void BlinkingLed::setLedState (LedStates state)
{
    if (state == ledState)
        return;

    ledState = state;

    if (state == ledBlinking)
        startTimer (blinkPeriodMs);
    else
        showCurrentState();
}

void BlinkingLed::timerCallback()
{
    if (ledState != ledBlinking)
    {
        stopTimer();
        return;
    }

    setImage (blinkPhase <= 0 ? onImage : offImage);
    blinkPhase = blinkPhase <= 0 ? 1 : 0;
}

// ImageComponent repaints only when the image differs from the one it holds.
void BlinkingLed::showCurrentState()
{
    switch (ledState)
    {
        case ledOff: setImage (offImage); break;
        case ledGrey: setImage (greyImage); break;
        case ledDim: setImage (dimImage); break;
        case ledBlinking: break;
        case ledOn:
        default: setImage (onImage); break;
    }
}
