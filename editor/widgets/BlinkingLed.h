#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// A round status lamp: one of a few prepared images (lit, half-lit, unlit, grey) in one of
// eight colours, scaled to fit its bounds. It can blink on its own timer and repaints only
// when the image it shows changes.
class BlinkingLed : public juce::ImageComponent, public juce::Timer
{
public:
    enum LedColors : juce::int32
    {
        ledGreen = 0,
        ledRed,
        ledAmber,
        ledBlue,
        ledCyan,
        ledViolet,
        ledMagenta,
        ledLightBlue
    };

    enum LedStates : juce::int32
    {
        ledOff = 0,   // the colour's unlit image
        ledOn,        // its lit image
        ledBlinking,  // lit and unlit in turn, one per timer tick
        ledGrey,      // the grey image shared by all colours
        ledDim        // the half-lit image (none for green and red)
    };

    BlinkingLed();
    ~BlinkingLed() override;

    // Takes the colour's images; shows the current state's image unless blinking. Values
    // outside the eight colours are ignored.
    void setLedColor (LedColors colour);

    // Does nothing for the current state. Blinking starts the timer and changes the image only
    // at its first tick; any other state shows its image at once (unknown values the lit one).
    void setLedState (LedStates state);

    void timerCallback() override;

    LedStates getLedState() const noexcept { return ledState; }
    LedColors getLedColor() const noexcept { return ledColor; }

private:
    static constexpr int colourCount = 8;

    void showCurrentState();

    LedStates ledState = ledOn;
    LedColors ledColor = ledBlue;
    juce::Image onImage, dimImage, offImage, greyImage;
    juce::Image onImages[colourCount], dimImages[colourCount], offImages[colourCount];
    juce::int32 blinkPhase = 0;
    juce::int32 blinkPeriodMs = 500;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BlinkingLed)
};
